#include "app/gui/QtPlatform.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include "app/Lifecycle.h"
#include "app/gui/Latin1.h"
#include "app/gui/MainForm.h"
#include "app/gui/Preferences.h"

void QtPlatform::beforeBlocking() {
    if (main_ && !main_->closed()) main_->syncAll();
}

Answer QtPlatform::showBox(const std::string& text, Box kind) {
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::Ok;
    QMessageBox::StandardButton escape = QMessageBox::Ok;
    if (kind == Box::YesNo) {
        buttons = QMessageBox::Yes | QMessageBox::No;
        defaultButton = escape = QMessageBox::No;
    } else if (kind == Box::YesNoCancel) {
        buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        defaultButton = QMessageBox::Yes;
        escape = QMessageBox::Cancel;
    }
    QMessageBox box(QMessageBox::NoIcon, QString(), toQ(text), buttons);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.setDefaultButton(defaultButton);
    box.setEscapeButton(escape);
    box.show();
    box.raise();
    box.activateWindow();
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    switch (clicked ? box.standardButton(clicked) : escape) {
        case QMessageBox::Yes: return Answer::Yes;
        case QMessageBox::No: return Answer::No;
        case QMessageBox::Cancel: return Answer::Cancel;
        default: return Answer::Ok;
    }
}

// The message box routine.  Every message and question of the system opens
// here, and while one is open its event loop runs only what cannot reach the
// master or the program:
// - drawing and the window system's own events;
// - no user input to other windows: the box is application-modal;
// - no timer tick: the poll timer is stopped and the start-up tick, should it
//   fall due, waits until the box has closed.  Without this a tick falling
//   while "Stepwright not responding" is up (the on-line flag is cleared
//   only after the box) polls the silent master and opens a second box on
//   top, and a tick falling while "Download complete" is up polls before the
//   loaded state is set.  The poll timer starts again when the handler that
//   showed the box ends, so the 250 ms count from there.
// Status windows and file dialogs are not message boxes: the poll runs on
// behind them.
Answer QtPlatform::boxed(const std::string& text, Box kind) {
    beforeBlocking();
    struct Hold {
        TMainForm* main;
        explicit Hold(TMainForm* m) : main(m) {
            if (main) main->holdTicksForBox();
        }
        ~Hold() {
            if (main) main->releaseTicksForBox();
        }
    } hold(main_ && !main_->closed() ? main_ : nullptr);
    return showBox(text, kind);
}

void QtPlatform::message(const std::string& text) { boxed(text, Box::Ok); }

Answer QtPlatform::askYesNo(const std::string& text) {
    return boxed(text, Box::YesNo) == Answer::Yes ? Answer::Yes : Answer::No;
}

Answer QtPlatform::askYesNoCancel(const std::string& text) {
    const Answer a = boxed(text, Box::YesNoCancel);
    return a == Answer::Yes || a == Answer::No ? a : Answer::Cancel;
}

void QtPlatform::wait(int ms) {
    beforeBlocking();
    if (ms > 0) QThread::msleep(static_cast<unsigned long>(ms));
}

void QtPlatform::setBusyCursor(bool busy) {
    if (busy == busy_) return;
    busy_ = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void QtPlatform::repaint() {
    if (main_ && !main_->closed()) main_->paintNow();
}

bool QtPlatform::showFileDialog(bool save, std::string& fileName) {
    QFileDialog dialog(main_);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The program file first (the default), the program text second; a name
    // typed without an extension takes the chosen type's.
    const QString fileFilter = QStringLiteral("Stepwright (*.stw)");
    const QString textFilter = QStringLiteral("Stepwright program text (*.sws)");
    dialog.setNameFilters({fileFilter, textFilter});
    dialog.setDefaultSuffix(QStringLiteral("stw"));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, textFilter](const QString& f) {
        dialog.setDefaultSuffix(f == textFilter ? QStringLiteral("sws") : QStringLiteral("stw"));
    });
    if (fileName.size() > 4 && QString::fromLatin1(fileName.c_str()).endsWith(QStringLiteral(".sws"), Qt::CaseInsensitive)) {
        dialog.selectNameFilter(textFilter);
        dialog.setDefaultSuffix(QStringLiteral("sws"));
    }
    // The core asks before replacing a file that is not the program's own:
    // one question, and none for the file the program came from.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setWindowModality(Qt::ApplicationModal);
    // The folder used last (remembered between runs), the first time the
    // examples; a proposed file name with a folder of its own wins.
    const QString startFolder = Preferences::DialogFolder();
    if (!startFolder.isEmpty()) dialog.setDirectory(startFolder);
    if (!fileName.empty()) {
        const QFileInfo proposed(QFile::decodeName(fileName.c_str()));
        if (proposed.fileName() != proposed.filePath()) dialog.setDirectory(proposed.absolutePath());
        dialog.selectFile(proposed.fileName());
    }
    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return false;
    Preferences::SetDialogFolder(QFileInfo(chosen.first()).absolutePath());
    // File names go to the file system as its own bytes.
    fileName = QFile::encodeName(QFileInfo(chosen.first()).absoluteFilePath()).toStdString();
    return true;
}

bool QtPlatform::saveDialog(std::string& fileName) {
    beforeBlocking();
    return showFileDialog(true, fileName);
}

bool QtPlatform::openDialog(std::string& fileName) {
    beforeBlocking();
    return showFileDialog(false, fileName);
}

bool QtPlatform::startOpener(const QString& file, const std::function<void(bool)>& finished) {
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
    // Its exit status tells whether a viewer took the file; it is waited for
    // from the event loop, so the window goes on answering meanwhile.
    auto* process = new QProcess();
    process->setStandardOutputFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::finished, process, [process, finished](int code, QProcess::ExitStatus how) {
        finished(how == QProcess::NormalExit && code == 0);
        process->deleteLater();
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [process, finished](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        finished(false);
        process->deleteLater();
    });
    process->start(opener, {file});
    return true;
}

bool QtPlatform::openDocument(const std::string& path) {
    const QString file = QFile::decodeName(path.c_str());
    return startOpener(file, [this, path](bool opened) {
        if (opened || !main_) return;
        // Reported as a handler of its own, never inside the one that started it.
        QTimer::singleShot(0, main_, [this, path] {
            if (main_ && !main_->closed()) main_->run([path](MainState& s) { HelpViewerFailed(s, path); });
        });
    });
}

void QtPlatform::closeMainWindow() {
    if (main_) main_->close();
}

void QtPlatform::showMasterDifferences() {
    if (main_) main_->showMasterDifferences();
}

void QtPlatform::showStatusWindow(StatusWindow which) {
    if (main_) main_->showStatusWindow(which);
}
