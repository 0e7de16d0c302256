#include "app/gui/Preferences.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include "app/DataPaths.h"
#include "app/MainState.h"
#include "app/gui/MainForm.h"
#include "app/gui/SecondaryForms.h"

namespace {

QSettings Store() { return QSettings(QStringLiteral("stepwright"), QStringLiteral("stepwright")); }

const QString kFolderKey = QStringLiteral("dialogs/folder");
const QString kComKey = QStringLiteral("com/choice");

}  // namespace

namespace Preferences {

QString DialogFolder() {
    const QString remembered = Store().value(kFolderKey).toString();
    if (!remembered.isEmpty() && QFileInfo(remembered).isDir()) return remembered;
    return QFile::decodeName(FindExamplesFolder(ExecutableDirectory()).c_str());
}

void SetDialogFolder(const QString& folder) {
    if (folder.isEmpty()) return;
    QSettings store = Store();
    store.setValue(kFolderKey, folder);
}

int ComChoice() {
    bool ok = false;
    const int choice = Store().value(kComKey, -1).toInt(&ok);
    return ok && choice >= 0 && choice <= 6 ? choice : -1;
}

void SetComChoice(int choice) {
    if (choice < 0 || choice > 6) return;
    QSettings store = Store();
    store.setValue(kComKey, choice);
}

void RememberComChoice(TMainForm& main) {
    const int choice = ComChoice();
    if (choice >= 0) main.state().com.choice = choice;
    TComForm* com = main.windows().com;
    if (!com) return;
    if (auto* set = com->findChild<QAbstractButton*>(QStringLiteral("SetButton")))
        QObject::connect(set, &QAbstractButton::clicked, &main,
                         [&main] { SetComChoice(main.state().com.choice); });
    main.syncAll();
}

}  // namespace Preferences
