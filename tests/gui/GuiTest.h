#pragma once
// Helpers for the window tests: a desktop whose boxes and dialogs answer from
// a script instead of waiting for a person, the eight windows, and user input
// sent to widgets as real key and mouse events.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QEventLoop>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/MainState.h"
#include "app/gui/Application.h"
#include "app/gui/MainForm.h"
#include "app/gui/QtPlatform.h"
#include "app/gui/Widgets.h"

class ScriptedPlatform : public QtPlatform {
public:
    std::vector<std::string> boxes;       // every message and question, in order
    std::deque<Answer> answers;           // answers to questions; default: the default button
    std::deque<std::string> fileNames;    // dialog results; "" or none: cancelled
    std::vector<bool> pollTimerActiveAtBox;
    std::vector<int> waits;               // the fixed waits, skipped
    std::function<void()> onWait;         // looks at the windows while the core waits
    // > 0: every box stays open this long, running its own event loop as a
    // real box does; onBoxOpen and onBoxClose are called around it.
    int boxOpenMs = 0;
    std::function<void()> onBoxOpen, onBoxClose;
    // Help: where it looks, and the fake opener (never a real viewer).
    std::string executableDir, currentDir;
    enum class Opener { Opens, FailsLater, CannotStart } opener = Opener::Opens;
    std::vector<QString> opened;

    std::string executableDirectory() override { return executableDir; }
    std::string currentDirectory() override { return currentDir; }

    void wait(int ms) override {
        beforeBlocking();
        waits.push_back(ms);
        if (onWait) onWait();
    }

protected:
    Answer showBox(const std::string& text, Box kind) override {
        boxes.push_back(text);
        pollTimerActiveAtBox.push_back(main_ && main_->pollTimerObject()->isActive());
        if (boxOpenMs > 0) {
            if (onBoxOpen) onBoxOpen();
            QEventLoop loop;
            QTimer::singleShot(boxOpenMs, &loop, &QEventLoop::quit);
            loop.exec();
            if (onBoxClose) onBoxClose();
        }
        if (kind == Box::Ok) return Answer::Ok;
        Answer fallback = kind == Box::YesNo ? Answer::No : Answer::Yes;
        if (answers.empty()) return fallback;
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    bool startOpener(const QString& file, const std::function<void(bool)>& finished) override {
        opened.push_back(file);
        if (opener == Opener::CannotStart) return false;
        const bool ok = opener == Opener::Opens;
        QTimer::singleShot(0, [finished, ok] { finished(ok); });
        return true;
    }
    bool showFileDialog(bool, std::string& fileName) override {
        if (fileNames.empty()) return false;
        fileName = fileNames.front();
        fileNames.pop_front();
        return !fileName.empty();
    }
};

// The eight windows over a scripted desktop, the main window shown.
struct Gui {
    ScriptedPlatform ui;
    std::unique_ptr<StepwrightWindows> windows = std::make_unique<StepwrightWindows>(ui);
    TMainForm& main = windows->main();
    MainState& s = main.state();

    Gui() {
        main.show();
        QApplication::processEvents();
    }
    // The start-up timer's tick, without waiting for it.
    void start() { main.fireStartTimer(); }

    template <class T = QWidget>
    T* w(const char* name) {
        T* found = main.findChild<T*>(QLatin1String(name));
        if (!found) ADD_FAILURE() << "no widget " << name;
        return found;
    }
};

// One key press per character (a character outside the basic plane is one key too).
inline void typeText(QWidget* target, const QString& text) {
    for (char32_t c : text.toUcs4()) {
        const QString key = QString::fromUcs4(&c, 1);
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, key);
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, key);
        QApplication::sendEvent(target, &release);
    }
}

inline void pressKey(QWidget* target, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, mods);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods);
    QApplication::sendEvent(target, &release);
}

inline void clickRow(QListWidget* list, int row, Qt::KeyboardModifiers mods = Qt::NoModifier,
                     Qt::MouseButton button = Qt::LeftButton) {
    const QPoint p = list->visualItemRect(list->item(row)).center();
    const QPointF global = list->viewport()->mapToGlobal(QPointF(p));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(p), global, button, button, mods);
    QApplication::sendEvent(list->viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(p), global, button, Qt::NoButton, mods);
    QApplication::sendEvent(list->viewport(), &release);
}

inline std::vector<int> selectedRows(const QListWidget* list) {
    std::vector<int> rows;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->isSelected()) rows.push_back(i);
    return rows;
}

inline std::vector<int> selectedLines(const MainState& s) {
    std::vector<int> rows;
    for (int i = 0; i < s.listing.count(); ++i)
        if (s.listing.selected(i)) rows.push_back(i);
    return rows;
}

// Runs the tests with an application object on the off-screen display; the
// settings the window remembers go to a folder of the run's own, never to the
// user's configuration.
#define STEPWRIGHT_GUI_TEST_MAIN()                                                      \
    int main(int argc, char** argv) {                                                   \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen"); \
        QApplication app(argc, argv);                                                   \
        QTemporaryDir settings;                                                         \
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path()); \
        ::testing::InitGoogleTest(&argc, argv);                                         \
        return RUN_ALL_TESTS();                                                         \
    }
