// The main window as it opens and after the start-up timer: every control's
// name, caption, hint, state and place; the secondary windows.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

#include "GuiTest.h"
#include "app/gui/StatusLine.h"
#include "app/gui/SecondaryForms.h"

namespace {

enum class Kind { Label, Button, Group, Combo, ReadOnly };

struct Expected {
    const char* name;
    Kind kind;
    const char* caption;  // text, title or (combo) nothing
    const char* hint;
    bool enabled;
};

const Expected kStartControls[] = {
    {"ModuleListLabel", Kind::Label, "Module List", "", true},
    {"MCBLabel", Kind::Label, "Master Commands:", "", false},
    {"MasterCBox", Kind::Combo, "", "", false},
    {"SCBLabel", Kind::Label, "Servo Commands:", "", false},
    {"ServoCBox", Kind::Combo, "", "", false},
    {"STCBLabel", Kind::Label, "Stepper Commands:", "", false},
    {"StepCBox", Kind::Combo, "", "", false},
    {"ICBLabel", Kind::Label, "I/O Commands:", "", false},
    {"IoCBox", Kind::Combo, "", "", false},
    {"ShowTermButton", Kind::Button, "Terminal", "Show terminal window", true},
    {"ComButton", Kind::Button, "Communications", "Set COM port", true},
    {"HelpButton", Kind::Button, "Help", "Display online help", true},
    {"ExitButton", Kind::Button, "Exit", "Exit program", true},
    {"GroupBox2", Kind::Group, "Build a Command", "", true},
    {"LabelLabel", Kind::Label, "Label", "", true},
    {"ModAddrLabel", Kind::Label, "Module Address", "", true},
    {"ModAddrEdit", Kind::ReadOnly, "", "", true},
    {"CmdClassLabel", Kind::Label, "Command Class", "", true},
    {"CmdClassEdit", Kind::ReadOnly, "", "", true},
    {"CmdLabel", Kind::Label, "Command", "", true},
    {"CmdEdit", Kind::ReadOnly, "", "", true},
    {"CommentButton", Kind::Button, "Comment", "Insert comment line", true},
    {"AddInstrButton", Kind::Button, "Add", "Add before selected line", false},
    {"ChangeButton", Kind::Button, "Change", "Change selected line", false},
    {"ExeNowButton", Kind::Button, "Execute Now", "Execute instruction immediately", false},
    {"ProgramListLabel", Kind::Label, "Program Listing", "", true},
    {"LoadLabel", Kind::Label, "Not Loaded", "", true},
    {"SaveLabel", Kind::Label, "Not Saved", "", true},
    {"RunningLabel", Kind::Label, "program running: ", "", true},
    {"Edit1", Kind::ReadOnly, "Label              Mod.  Command", "", true},
    {"OpenButton", Kind::Button, "Open", "Open a new program", true},
    {"SaveButton", Kind::Button, "Save", "Save current program", true},
    {"CopyButton", Kind::Button, "Copy", "Copy selected lines to copy buffer", true},
    {"CutButton", Kind::Button, "Cut", "Cut selected lines to copy buffer", true},
    {"PasteButton", Kind::Button, "Paste", "Paste above selected line", true},
    {"DeleteButton", Kind::Button, "Delete", "Delete selected lines", true},
    {"ClearButton", Kind::Button, "Clear All", "Clear entire program", true},
    {"ProgExeGroup", Kind::Group, "Program Execution (disabled)", "", false},
    {"DownloadButton", Kind::Button, "Load", "Download program into Stepwright", true},
    {"VerifyButton", Kind::Button, "Verify", "Verify loaded program matches listing", true},
    {"RunButton", Kind::Button, "Run", "Run from current line", false},
    {"StopButton", Kind::Button, "Stop", "Stop program execution", false},
    {"StepButton", Kind::Button, "Step", "Execute single line", false},
    {"BreakButton", Kind::Button, "Break", "Set breakpoint at selected line", false},
    {"RestartButton", Kind::Button, "Restart", "Reset program to the beginning", true},
    {"ResetButton", Kind::Button, "Reset", "Reset hardware to powerup state", true},
};

QString captionOf(QWidget* w, Kind kind) {
    switch (kind) {
        case Kind::Label: return static_cast<QLabel*>(w)->text();
        case Kind::Button: return static_cast<QPushButton*>(w)->text();
        case Kind::Group: return static_cast<QGroupBox*>(w)->title();
        case Kind::ReadOnly: return static_cast<QLineEdit*>(w)->text();
        case Kind::Combo: return QString();
    }
    return QString();
}

// The control's own enabled flag: a button inside a disabled group keeps it.
bool ownEnabled(QWidget* w) { return !w->testAttribute(Qt::WA_ForceDisabled); }

TEST(MainWindow, OpensWithEveryControlAsDesigned) {
    Gui g;
    EXPECT_EQ(g.main.windowTitle(), QStringLiteral("Tavo Stepwright"));
    // The designed controls, and the status line below them.
    EXPECT_EQ(g.main.minimumSize(), QSize(634, 453 + kStatusLineHeight));
    // It opens at the designed size, which is also the least it can take.
    EXPECT_EQ(g.main.size(), QSize(634, 453 + kStatusLineHeight));

    for (const Expected& e : kStartControls) {
        SCOPED_TRACE(e.name);
        QWidget* w = g.w(e.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(captionOf(w, e.kind), QLatin1String(e.caption));
        EXPECT_EQ(w->toolTip(), QLatin1String(e.hint));
        EXPECT_EQ(ownEnabled(w), e.enabled);
        if (e.kind == Kind::ReadOnly) {
            EXPECT_TRUE(static_cast<QLineEdit*>(w)->isReadOnly());
        }
    }
    // Inside the disabled group, Load cannot be pressed yet.
    EXPECT_FALSE(g.w("DownloadButton")->isEnabled());

    auto* modules = g.w<QListWidget>("ModuleListBox");
    ASSERT_EQ(modules->count(), 1);
    EXPECT_EQ(modules->item(0)->text(), QStringLiteral(" 0 [Master]"));
    EXPECT_EQ(modules->toolTip(), QStringLiteral("Double-click for status, right-click to edit"));
    EXPECT_TRUE(ownEnabled(modules));

    for (const char* panel : {"MasterGroup", "ServoGroup", "StepGroup", "IoGroup"}) {
        QWidget* w = g.w(panel);
        EXPECT_TRUE(w->isHidden()) << panel;
        EXPECT_EQ(w->geometry(), g.w("MasterGroup")->geometry()) << panel << " stands where the others stand";
    }

    // Backgrounds: red state labels, light yellow column header.
    EXPECT_EQ(g.w("LoadLabel")->palette().color(QPalette::Window), QColor(0xFF, 0, 0));
    EXPECT_EQ(g.w("SaveLabel")->palette().color(QPalette::Window), QColor(0xFF, 0, 0));
    EXPECT_EQ(g.w("Edit1")->palette().color(QPalette::Base), QColor(0xF9, 0xFA, 0xCD));
    EXPECT_EQ(g.w<LedShape>("RunLEDShape")->color(), QColor(0xFF, 0, 0));

    // The three columns.
    EXPECT_EQ(modules->geometry(), QRect(4, 20, 97, 181));
    EXPECT_EQ(g.w("GroupBox2")->geometry(), QRect(104, 8, 177, 441));
    EXPECT_EQ(g.w("ProgramListBox")->geometry(), QRect(288, 36, 341, 341));
    EXPECT_EQ(g.w("OpenButton")->y(), 380);
    EXPECT_EQ(g.w("ProgExeGroup")->geometry(), QRect(288, 404, 341, 45));
    EXPECT_EQ(g.w("RunLEDShape")->size(), QSize(11, 11));

    // The key and counter edits stand on their condition rows in both groups.
    auto* jump = g.w<RadioGroup>("RadioGroup2");
    auto* wait = g.w<RadioGroup>("RadioGroup1");
    EXPECT_EQ(wait->itemRect(0).y(), jump->itemRect(0).y());
    EXPECT_EQ(g.w("MasterEdit3")->y(), jump->itemRect(0).y());
    EXPECT_EQ(g.w("MasterEdit4")->y(), jump->itemRect(3).y());
    EXPECT_EQ(g.w("MasterEdit8")->y(), jump->itemRect(7).y());
    EXPECT_GT(g.w("MasterEdit8")->x(), jump->button(7)->x() + jump->button(7)->fontMetrics().horizontalAdvance(
                                                                      jump->button(7)->text()));

    auto* listing = g.w<QListWidget>("ProgramListBox");
    EXPECT_EQ(listing->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_TRUE(QFontInfo(listing->font()).fixedPitch());
    EXPECT_EQ(listing->count(), 0);

    auto* menu = g.main.findChild<QMenu*>(QStringLiteral("ModEditPopup"));
    ASSERT_NE(menu, nullptr);
    const char* const items[][2] = {{"AddServoModule1", "Add Servo Module"}, {"AddStepModule1", "Add Stepper Module"},
                                    {"AddIOModule1", "Add I/O Module"},      {"ClearModuleList1", "Clear Module List"},
                                    {"UseDetectedModules1", "Use Detected Modules"}, {"Cancel1", "Cancel"},
                                    {"Watch1", "Watch..."}, {"LinkLog1", "Link Log..."},
                                    {"Problems1", "Problems..."}, {"ReadFromMaster1", "Read from master..."}};
    // The extra windows' items come after the list's own.
    ASSERT_EQ(menu->actions().size(), 10);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(menu->actions()[i]->objectName(), QLatin1String(items[i][0]));
        EXPECT_EQ(menu->actions()[i]->text(), QLatin1String(items[i][1]));
    }
    EXPECT_EQ(menu->defaultAction(), menu->actions()[5]);

    EXPECT_TRUE(g.main.startTimerObject()->isActive());
    EXPECT_TRUE(g.main.startTimerObject()->isSingleShot());
    EXPECT_EQ(g.main.startTimerObject()->interval(), 500);
    EXPECT_FALSE(g.main.pollTimerObject()->isActive());
    EXPECT_EQ(g.main.pollTimerObject()->interval(), 250);
}

TEST(MainWindow, StartTimerPutsTheEndMarkerAndOpensTheSettings) {
    Gui g;
    EXPECT_FALSE(g.windows->com().isVisible());
    g.start();

    auto* listing = g.w<QListWidget>("ProgramListBox");
    ASSERT_EQ(listing->count(), 1);
    EXPECT_EQ(listing->item(0)->text(), QStringLiteral("            [END]"));
    EXPECT_EQ(selectedRows(listing), std::vector<int>{0});

    auto* modules = g.w<QListWidget>("ModuleListBox");
    EXPECT_EQ(modules->currentRow(), 0);
    EXPECT_TRUE(modules->item(0)->isSelected());
    EXPECT_EQ(g.w<QLineEdit>("ModAddrEdit")->text(), QStringLiteral(" 0"));

    EXPECT_TRUE(g.w("MasterCBox")->isEnabled());
    EXPECT_TRUE(g.w("MCBLabel")->isEnabled());
    for (const char* other : {"ServoCBox", "StepCBox", "IoCBox", "SCBLabel", "STCBLabel", "ICBLabel"})
        EXPECT_FALSE(g.w(other)->isEnabled()) << other;

    EXPECT_TRUE(g.windows->com().isVisible());
    EXPECT_FALSE(g.main.startTimerObject()->isActive());
    EXPECT_TRUE(g.ui.boxes.empty());
}

TEST(MainWindow, SecondaryWindowsHaveTheirCaptionsAndSizes) {
    Gui g;
    struct Window {
        QWidget* w;
        const char* objectName;
        const char* title;
        QSize size;
    };
    const Window windows[] = {
        {&g.windows->com(), "ComForm", "Communications Settings", {275, 131}},
        {&g.windows->terminal(), "TerminalForm", "Stepwright Terminal", {380, 235}},
        {&g.windows->progress(), "MessageForm", "", {261, 65}},
    };
    for (const Window& w : windows) {
        SCOPED_TRACE(w.objectName);
        EXPECT_EQ(w.w->objectName(), QLatin1String(w.objectName));
        EXPECT_EQ(w.w->windowTitle(), QLatin1String(w.title));
        EXPECT_EQ(w.w->minimumSize(), w.size);
        EXPECT_EQ(w.w->maximumSize(), w.size);
        EXPECT_FALSE(w.w->isVisible());
    }
    EXPECT_TRUE(g.windows->progress().windowFlags().testFlag(Qt::FramelessWindowHint));

    auto* memo = g.windows->terminal().findChild<QPlainTextEdit*>(QStringLiteral("TerminalMemo"));
    ASSERT_NE(memo, nullptr);
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_EQ(memo->size(), QSize(377, 201));
    EXPECT_TRUE(QFontInfo(memo->font()).fixedPitch());

    auto* comRG = g.windows->com().findChild<RadioGroup*>(QStringLiteral("ComRG"));
    ASSERT_NE(comRG, nullptr);
    ASSERT_EQ(comRG->count(), 7);
    const char* const ports[] = {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "Offline"};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(comRG->button(i)->text(), QLatin1String(ports[i]));
    EXPECT_EQ(comRG->index(), 0);
    // Four columns filled top to bottom: COM1 and COM2 share the first column.
    EXPECT_EQ(comRG->button(0)->x(), comRG->button(1)->x());
    EXPECT_LT(comRG->button(1)->x(), comRG->button(2)->x());

    // Status windows: value labels with the texts of the design.
    struct Value {
        QWidget* form;
        const char* label;
        const char* text;
    };
    const Value values[] = {
        {&g.windows->servoStat(), "PosLabel", "0"},      {&g.windows->servoStat(), "Lim2Label", "Low"},
        {&g.windows->servoStat(), "PowerLabel", "Off"},  {&g.windows->stepStat(), "EStopLabel", "Low"},
        {&g.windows->stepStat(), "HomePosLabel", "0"},   {&g.windows->ioStat(), "B12Lbl", "Low"},
        {&g.windows->masterStat(), "VersionLbl", "Version:   1"}, {&g.windows->masterStat(), "C4Lbl", "0"},
    };
    for (const Value& v : values) {
        auto* label = v.form->findChild<QLabel*>(QLatin1String(v.label));
        ASSERT_NE(label, nullptr) << v.label;
        EXPECT_EQ(label->text(), QLatin1String(v.text)) << v.label;
    }
    auto* caption = g.windows->stepStat().findChild<QLabel*>(QStringLiteral("Lim2LabelCaption"));
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->text(), QStringLiteral(" Limit 2:     "));
}

TEST(MainWindow, EditsAndListsAreNamedByTheLabelBesideThem) {
    Gui g;
    const char* const named[][2] = {
        {"LabelEdit", "Label"},         {"ModAddrEdit", "Module Address"}, {"CmdClassEdit", "Command Class"},
        {"CmdEdit", "Command"},         {"ProgramListBox", "Program Listing"}, {"ModuleListBox", "Module List"},
        {"MasterCBox", "Master Commands"}, {"IoCBox", "I/O Commands"},      {"CommentEdit", "Comment"},
    };
    for (const auto& [name, accessible] : named) EXPECT_EQ(g.w(name)->accessibleName(), QLatin1String(accessible));
    EXPECT_EQ(g.w<QLabel>("LabelLabel")->buddy(), g.w("LabelEdit"));
    EXPECT_EQ(g.w<QLabel>("ModuleListLabel")->buddy(), g.w("ModuleListBox"));

    // A panel label's caption changes with the command, and so does its edit's name.
    g.s.form.master.MasterLabel[1].caption = "Timeout (.01 sec)";
    g.main.syncAll();
    EXPECT_EQ(g.w("MasterEdit1")->accessibleName(), QStringLiteral("Timeout (.01 sec)"));

    // Everything the user operates takes the keyboard focus.
    for (const char* name : {"ModuleListBox", "MasterCBox", "LabelEdit", "CommentButton", "ProgramListBox",
                             "OpenButton", "ExitButton", "MasterCheck1", "ServoIfCBox"})
        EXPECT_NE(g.w(name)->focusPolicy() & Qt::TabFocus, 0) << name;
}

}  // namespace

STEPWRIGHT_GUI_TEST_MAIN()
