#include "app/gui/StatusLine.h"

#include <QAction>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVariant>
#include <string>
#include <string_view>
#include <vector>

#include "app/ComSettings.h"
#include "app/FileTie.h"
#include "app/MainState.h"
#include "app/MasterProgram.h"
#include "app/StatusText.h"
#include "app/gui/MainForm.h"

namespace {

enum class Entry { Action, RecentFiles, Separator };

// The menu, top to bottom.  A window or command added later is one line here;
// its key, if any, is taken by the main window's keys (EditorKeys).
struct MenuEntry {
    Entry kind;
    const char* name;      // the action's object name
    const char* caption;
    QKeyCombination key;   // Qt::Key_unknown: none
    void (*act)(TMainForm&);
};

const MenuEntry kMenu[] = {
    {Entry::Action, "New1", "New", Qt::CTRL | Qt::Key_N, [](TMainForm& m) { m.run(New1Click); }},
    {Entry::Action, "SaveAs1", "Save As...", Qt::CTRL | Qt::SHIFT | Qt::Key_S,
     [](TMainForm& m) { m.run(SaveAs1Click); }},
    {Entry::RecentFiles, "OpenRecent1", "Open Recent", {}, nullptr},
    {Entry::Action, "ReadFromMaster2", "Read from master...", Qt::CTRL | Qt::SHIFT | Qt::Key_R,
     [](TMainForm& m) { m.run(ReadFromMaster1Click); }},
    {Entry::Action, "CompareWithMaster2", "Compare with master", {}, [](TMainForm& m) { m.run(CompareWithMaster1Click); }},
    {Entry::Separator, "", "", {}, nullptr},
    {Entry::Action, "Watch2", "Watch...", Qt::CTRL | Qt::Key_W, [](TMainForm& m) { m.showWatchWindow(); }},
    {Entry::Action, "LinkLog2", "Link Log...", Qt::CTRL | Qt::SHIFT | Qt::Key_L,
     [](TMainForm& m) { m.showLinkLogWindow(); }},
    // Shown only when the window runs on the built-in simulator.
    {Entry::Action, "Simulator2", "Simulator...", Qt::CTRL | Qt::SHIFT | Qt::Key_M,
     [](TMainForm& m) { m.showSimulatorWindow(); }},
    {Entry::Action, "Problems2", "Problems...", Qt::CTRL | Qt::SHIFT | Qt::Key_P,
     [](TMainForm& m) { m.showProblemsWindow(); }},
};

constexpr int kButtonWidth = 52;

class StatusLine : public QObject {
public:
    StatusLine(TMainForm& main, QLabel* line, QMenu* menu) : QObject(line), main_(main), line_(line) {
        for (const MenuEntry& e : kMenu) {
            if (e.kind == Entry::Separator) {
                menu->addSeparator();
                continue;
            }
            if (e.kind == Entry::RecentFiles) {
                recentMenu_ = menu->addMenu(QLatin1String(e.caption));
                recentMenu_->setObjectName(QStringLiteral("OpenRecentMenu"));
                recentMenu_->menuAction()->setObjectName(QLatin1String(e.name));
                recentMenu_->setToolTipsVisible(true);
                for (size_t i = 0; i < kMaxRecentFiles; ++i) addRecentAction(int(i) + 1);
                continue;
            }
            QAction* action = menu->addAction(QLatin1String(e.caption));
            action->setObjectName(QLatin1String(e.name));
            if (e.key.key() != Qt::Key_unknown) {
                // Shown beside the caption; the key itself is taken by the
                // window's keys, wherever the focus is in the window.
                action->setShortcut(QKeySequence(e.key));
                action->setShortcutContext(Qt::WidgetShortcut);
            }
            // Shown by TMainForm::attachSimulator when there is one.
            if (std::string_view(e.name) == "Simulator2") action->setVisible(false);
            auto act = e.act;
            connect(action, &QAction::triggered, &main_, [this, act] { act(main_); });
        }
        // A click on the line reconnects a lost port whose device is back.
        line->installEventFilter(this);
        main.addSyncHook([this] { draw(); });
        draw();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == line_ && event->type() == QEvent::MouseButtonRelease && main_.state().portLoss.back) {
            main_.run(StatusLineClick);
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void addRecentAction(int number) {
        QAction* action = recentMenu_->addAction(QString());
        action->setObjectName(QStringLiteral("RecentFile%1").arg(number));
        action->setVisible(false);
        // The path is read when chosen: the list may have changed since.
        connect(action, &QAction::triggered, &main_, [this, action] {
            const std::string path = action->data().toByteArray().toStdString();
            main_.run([path](MainState& s) { OpenRecentFile(s, path); });
        });
        recent_.push_back(action);
    }

    void draw() {
        const MainState& s = main_.state();
        // The file name's bytes are shown in the file system's encoding.
        const QString text = QFile::decodeName(QByteArray::fromStdString(StatusLineText(s)));
        if (line_->text() != text) {
            line_->setText(text);
            line_->setAccessibleName(text);
            line_->setCursor(s.portLoss.back ? Qt::PointingHandCursor : Qt::ArrowCursor);
        }
        if (recentDrawn_ && s.recentFiles == shown_) return;
        recentDrawn_ = true;
        shown_ = s.recentFiles;
        recentMenu_->menuAction()->setEnabled(!shown_.empty());
        for (size_t i = 0; i < recent_.size(); ++i) {
            QAction* action = recent_[i];
            if (i >= shown_.size()) {
                action->setVisible(false);
                continue;
            }
            const QByteArray path = QByteArray::fromStdString(shown_[i]);
            const QString full = QFile::decodeName(path);
            QString name = QFileInfo(full).fileName();
            action->setText(name.replace(QLatin1Char('&'), QLatin1String("&&")));
            action->setToolTip(full);
            action->setData(path);
            action->setVisible(true);
        }
    }

    TMainForm& main_;
    QLabel* line_;
    QMenu* recentMenu_ = nullptr;
    std::vector<QAction*> recent_;
    std::vector<std::string> shown_;
    bool recentDrawn_ = false;
};

}  // namespace

void InstallStatusLine(TMainForm& main) {
    // Below the designed window: it grows by the line's height.
    const QSize designed = main.minimumSize();
    main.setMinimumSize(designed.width(), designed.height() + kStatusLineHeight);
    main.resize(main.minimumSize());

    auto* line = new QLabel(&main);
    line->setObjectName(QStringLiteral("StatusLine"));
    line->setGeometry(0, designed.height(), designed.width(), kStatusLineHeight);
    line->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    line->setTextFormat(Qt::PlainText);
    line->setContentsMargins(kButtonWidth + 6, 0, 4, 0);

    auto* button = new QPushButton(QStringLiteral("Menu"), line);
    button->setObjectName(QStringLiteral("ExtrasMenuButton"));
    button->setGeometry(2, 1, kButtonWidth, kStatusLineHeight - 2);
    button->setAutoDefault(false);
    auto* menu = new QMenu(button);
    menu->setObjectName(QStringLiteral("ExtrasMenu"));
    new StatusLine(main, line, menu);
    button->setMenu(menu);
}

QAction* StatusMenuActionForKey(TMainForm& main, QKeyCombination key) {
    for (const MenuEntry& e : kMenu)
        if (e.kind == Entry::Action && e.key == key) return main.findChild<QAction*>(QLatin1String(e.name));
    return nullptr;
}
