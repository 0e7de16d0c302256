#include "app/gui/QtPlatform.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QUrl>

#include "app/gui/Latin1.h"
#include "app/gui/MainForm.h"

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

void QtPlatform::message(const std::string& text) {
    beforeBlocking();
    showBox(text, Box::Ok);
}

Answer QtPlatform::askYesNo(const std::string& text) {
    beforeBlocking();
    return showBox(text, Box::YesNo) == Answer::Yes ? Answer::Yes : Answer::No;
}

Answer QtPlatform::askYesNoCancel(const std::string& text) {
    beforeBlocking();
    const Answer a = showBox(text, Box::YesNoCancel);
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
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setWindowModality(Qt::ApplicationModal);
    if (!fileName.empty()) {
        const QFileInfo proposed(QFile::decodeName(fileName.c_str()));
        if (proposed.fileName() != proposed.filePath()) dialog.setDirectory(proposed.absolutePath());
        dialog.selectFile(proposed.fileName());
    }
    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return false;
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

bool QtPlatform::openDocument(const std::string& name) {
    const QString path = QDir::current().absoluteFilePath(QFile::decodeName(name.c_str()));
    if (!QFileInfo(path).isFile()) return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void QtPlatform::closeMainWindow() {
    if (main_) main_->close();
}

void QtPlatform::showStatusWindow(StatusWindow which) {
    if (main_) main_->showStatusWindow(which);
}
