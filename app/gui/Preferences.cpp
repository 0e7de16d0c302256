#include "app/gui/Preferences.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QVariant>
#include <algorithm>
#include <memory>

#include "app/DataPaths.h"
#include "app/FileTie.h"
#include "app/MainState.h"
#include "app/gui/MainForm.h"
#include "app/gui/SecondaryForms.h"

namespace {

QSettings Store() { return QSettings(QStringLiteral("stepwright"), QStringLiteral("stepwright")); }

const QString kFolderKey = QStringLiteral("dialogs/folder");
const QString kRecentKey = QStringLiteral("dialogs/recent");
const QString kComKey = QStringLiteral("com/choice");
constexpr int kOffline = 6;

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

void ForgetComChoice() {
    QSettings store = Store();
    store.remove(kComKey);
}

std::vector<std::string> RecentFiles() {
    std::vector<std::string> files;
    // Kept as the file system's bytes, so that any name comes back the same.
    for (const QVariant& v : Store().value(kRecentKey).toList()) {
        const std::string path = v.toByteArray().toStdString();
        if (!path.empty() && path[0] == '/' && files.size() < kMaxRecentFiles &&
            std::find(files.begin(), files.end(), path) == files.end())
            files.push_back(path);
    }
    return files;
}

void SetRecentFiles(const std::vector<std::string>& files) {
    QVariantList list;
    for (const std::string& f : files) list.append(QByteArray::fromStdString(f));
    QSettings store = Store();
    store.setValue(kRecentKey, list);
}

void RememberRecentFiles(TMainForm& main) {
    auto stored = std::make_shared<std::vector<std::string>>(RecentFiles());
    main.state().recentFiles = *stored;
    main.addSyncHook([&main, stored] {
        if (main.state().recentFiles == *stored) return;
        *stored = main.state().recentFiles;
        SetRecentFiles(*stored);
    });
    main.syncAll();
}

void RememberComChoice(TMainForm& main, int preferred) {
    const int choice = preferred >= 0 ? preferred : ComChoice();
    if (choice >= 0) main.state().com.choice = choice;
    TComForm* com = main.windows().com;
    if (!com) return;
    // Runs after Set's own handler, which opened the port or failed.
    auto remember = [&main, preferred] {
        const ComState& c = main.state().com;
        if (c.choice == preferred) return;
        if (c.choice == kOffline || (main.state().port && c.openItem == c.choice))
            SetComChoice(c.choice);
        else if (ComChoice() == c.choice)
            ForgetComChoice();
    };
    if (auto* set = com->findChild<QAbstractButton*>(QStringLiteral("SetButton")))
        QObject::connect(set, &QAbstractButton::clicked, &main, remember);
    main.syncAll();
}

}  // namespace Preferences
