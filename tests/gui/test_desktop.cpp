// The main window as a desktop editor: undo and redo from the keyboard, the
// keys that stand for buttons, a window that grows, files named at start or
// dropped on the window, remembered choices, and the progress bar.
#include <QAction>
#include <QCheckBox>
#include <QDropEvent>
#include <QStyle>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>
#include <map>
#include <tuple>

#include "GuiTest.h"
#include "app/panels/Stepper.h"
#include "PtyPeer.h"
#include "ScriptedMaster.h"
#include "app/gui/Preferences.h"
#include "app/gui/SecondaryForms.h"
#include "app/gui/StatusLine.h"
#include "app/gui/WindowExtras.h"
#include "app/FileTie.h"
#include "app/Progress.h"
#include "app/EditHistory.h"
#include "app/Editing.h"
#include "app/Files.h"
#include "app/ModuleListBox.h"
#include "modules/ModuleList.h"
#include "program/LineStore.h"
#include "program/ProgramFile.h"
#include "program/Undo.h"

namespace {

const std::string kExamples = STEPWRIGHT_SOURCE_DIR "/examples/";

std::vector<std::string> Records(const MainState& s) {
    std::vector<std::string> r;
    for (int i = 0; i < s.lineCount; ++i)
        r.emplace_back(reinterpret_cast<const char*>(&s.lines[i]), sizeof(ProgramLine));
    return r;
}

std::vector<QString> Rows(QListWidget* list) {
    std::vector<QString> r;
    for (int i = 0; i < list->count(); ++i) r.push_back(list->item(i)->text());
    return r;
}

struct Desk : Gui {
    QListWidget* listing = w<QListWidget>("ProgramListBox");
    Desk() { start(); }
    void comment(const QString& text) {
        auto* edit = w<QLineEdit>("CommentEdit");
        edit->setFocus();
        typeText(edit, text);
        w<QPushButton>("CommentButton")->click();
    }
    void openExample(const char* name) { main.run([&](MainState& st) { OpenProgramFile(st, kExamples + name); }); }
};

TEST(Desktop, EditsUndoneAndRedoneFromTheKeyboard) {
    Desk g;
    g.openExample("demo.stw");
    const auto startRecords = Records(g.s);
    const auto startRows = Rows(g.listing);
    // Real edits: a comment, a cut of two lines, a paste, a delete, a module.
    g.comment("first");
    clickRow(g.listing, 3);
    clickRow(g.listing, 4, Qt::ShiftModifier);
    pressKey(g.listing, Qt::Key_X, Qt::ControlModifier);
    clickRow(g.listing, 1);
    pressKey(g.listing, Qt::Key_V, Qt::ControlModifier);
    pressKey(g.listing, Qt::Key_Delete);
    g.main.run(AddServoModule1Click);
    const auto endRecords = Records(g.s);
    const auto endRows = Rows(g.listing);
    const auto endModules = g.s.form.ModuleListBox.items;
    ASSERT_NE(endRecords, startRecords);

    for (int i = 0; i < 5; ++i) pressKey(g.listing, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Records(g.s), startRecords);
    EXPECT_EQ(Rows(g.listing), startRows);
    // Back to what the file holds: saved again.
    EXPECT_EQ(g.s.form.SaveLabel.caption, "  Saved  ");
    for (int i = 0; i < 3; ++i) pressKey(g.listing, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    for (int i = 0; i < 2; ++i) pressKey(g.listing, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(Records(g.s), endRecords);
    EXPECT_EQ(Rows(g.listing), endRows);
    EXPECT_EQ(g.s.form.ModuleListBox.items, endModules);
    // In a text field Ctrl+Z is the field's own.
    auto* label = g.w<QLineEdit>("LabelEdit");
    typeText(label, QStringLiteral("ab"));
    pressKey(label, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Records(g.s), endRecords);
    EXPECT_TRUE(g.main.history().canUndo());
}

// Undo and redo show the program saved exactly when they bring its lines and
// module list back to what its file holds; a Load between (the assembly
// writes addresses and jump targets) does not count as a change.
TEST(Desktop, UndoBackToTheSavedContentShowsItSaved) {
    Desk g;
    QTemporaryDir dir;
    const std::string file = dir.path().toStdString() + "/saved.stw";
    auto* line = g.w<QLabel>("StatusLine");
    auto* saveLabel = g.w<QLabel>("SaveLabel");
    auto undo = [&] { pressKey(g.listing, Qt::Key_Z, Qt::ControlModifier); };
    auto redo = [&] { pressKey(g.listing, Qt::Key_Y, Qt::ControlModifier); };
    auto saved = [&] {
        const bool label = saveLabel->text() == QStringLiteral("  Saved  ");
        EXPECT_EQ(line->text().endsWith(QStringLiteral("| changed")), !label) << line->text().toStdString();
        return label;
    };
    g.openExample("demo.stw");
    EXPECT_TRUE(saved());

    const struct Step {
        std::function<void()> act;
        bool saved;
    } steps[] = {
        {[&] { g.comment("one"); }, false},
        {[&] { g.comment("two"); }, false},
        {undo, false},
        {undo, true},                                  // both comments gone
        {redo, false},
        {undo, true},
        {[&] { g.main.run(AddServoModule1Click); }, false},   // the module list alone
        {undo, true},
        {[&] { g.main.run([](MainState& s) { ASSERT_EQ(AssembleProgram(s), 0); }); }, true},
        {[&] { g.comment("three"); }, false},
        {undo, true},
        {[&] {
             clickRow(g.listing, 4);
             pressKey(g.listing, Qt::Key_Delete);
         }, false},
        {[&] {
             g.ui.fileNames = {file};
             pressKey(g.listing, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
         }, true},                                     // saved under a new name
        {undo, false},                                 // the deleted line is back: not what saved.stw holds
        {redo, true},
        // Cleared and undone: the lines are back, but no longer tied to a
        // file (Save asks for a name), so they are not saved.
        {[&] {
             g.ui.answers = {Answer::Yes};
             g.w<QPushButton>("ClearButton")->click();
             undo();
         }, false},
    };
    int n = 0;
    for (const Step& st : steps) {
        st.act();
        EXPECT_EQ(saved(), st.saved) << "step " << n;
        ++n;
    }
}

TEST(Desktop, EachKeyPressesItsButtonOnlyWhileItIsEnabled) {
    struct Case {
        int key;
        Qt::KeyboardModifiers mods;
        const char* focus;
        const char* button;  // nullptr: no button may be pressed
    };
    const Case cases[] = {
        {Qt::Key_O, Qt::ControlModifier, "LabelEdit", "OpenButton"},
        {Qt::Key_S, Qt::ControlModifier, "ProgramListBox", "SaveButton"},
        {Qt::Key_L, Qt::ControlModifier, "ProgramListBox", "DownloadButton"},
        {Qt::Key_F5, Qt::NoModifier, "ModuleListBox", "RunButton"},
        {Qt::Key_F5, Qt::ShiftModifier, "ProgramListBox", "StopButton"},
        {Qt::Key_F10, Qt::NoModifier, "ProgramListBox", "StepButton"},
        {Qt::Key_F9, Qt::NoModifier, "ProgramListBox", "BreakButton"},
        {Qt::Key_F1, Qt::NoModifier, "CommentEdit", "HelpButton"},
        {Qt::Key_X, Qt::ControlModifier, "ProgramListBox", "CutButton"},
        {Qt::Key_C, Qt::ControlModifier, "ProgramListBox", "CopyButton"},
        {Qt::Key_V, Qt::ControlModifier, "ProgramListBox", "PasteButton"},
        {Qt::Key_Delete, Qt::NoModifier, "ProgramListBox", "DeleteButton"},
        // The listing's keys belong to the listing.
        {Qt::Key_C, Qt::ControlModifier, "LabelEdit", nullptr},
        {Qt::Key_Delete, Qt::NoModifier, "CommentEdit", nullptr},
    };
    Desk g;
    std::map<QString, int> clicks;
    for (QPushButton* b : g.main.findChildren<QPushButton*>())
        QObject::connect(b, &QPushButton::clicked, [&clicks, b] { ++clicks[b->objectName()]; });
    g.ui.opener = ScriptedPlatform::Opener::Opens;
    for (const Case& c : cases) {
        for (bool enabled : {false, true}) {
            // The execution group on line, the button as the case wants it.
            g.s.form.ProgExeGroup.enabled = true;
            for (Ctl* ctl : {&g.s.form.RunButton, &g.s.form.StopButton, &g.s.form.StepButton,
                             &g.s.form.BreakButton, &g.s.form.CutButton, &g.s.form.CopyButton,
                             &g.s.form.PasteButton, &g.s.form.DeleteButton, &g.s.form.OpenButton,
                             &g.s.form.SaveButton, &g.s.form.DownloadButton, &g.s.form.HelpButton})
                ctl->enabled = enabled;
            g.main.syncAll();
            clicks.clear();
            QWidget* focus = g.w(c.focus);
            pressKey(focus, c.key, c.mods);
            std::map<QString, int> expected;
            if (enabled && c.button) expected[QLatin1String(c.button)] = 1;
            EXPECT_EQ(clicks, expected) << c.button << " from " << c.focus << (enabled ? " enabled" : " disabled");
        }
    }
}

TEST(Desktop, ModuleListKeysOpenTheStatusWindowAndTheMenu) {
    Desk g;
    auto* modules = g.w<QListWidget>("ModuleListBox");
    for (int key : {Qt::Key_Return, Qt::Key_Space}) {
        g.ui.boxes.clear();
        pressKey(modules, key);
        // Off line the status window's own refusal shows: the double click ran.
        EXPECT_EQ(g.ui.boxes, std::vector<std::string>{"Stepwright not on-line."}) << key;
    }
    QWidget* shown = nullptr;
    QTimer::singleShot(0, [&] {
        shown = QApplication::activePopupWidget();
        if (shown) shown->close();
    });
    pressKey(modules, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(shown, g.main.moduleMenu());
}

TEST(Desktop, TheListingTakesTheRoomAndTheDesignedSizeIsTheLeast) {
    Desk g;
    // The named controls (names Qt gives its own parts repeat: left out).
    std::map<QString, QRect> designed;
    std::map<QString, int> seen;
    for (QWidget* w : g.main.findChildren<QWidget*>()) {
        designed[w->objectName()] = w->geometry();
        ++seen[w->objectName()];
    }
    struct Case {
        QSize asked, got;
    };
    const int least = 453 + kStatusLineHeight;
    const Case cases[] = {{{900, 700}, {900, 700}}, {{300, 200}, {634, least}}, {{634, least}, {634, least}}};
    for (const Case& c : cases) {
        g.main.resize(c.asked);
        QApplication::processEvents();
        ASSERT_EQ(g.main.size(), c.got);
        const int dx = c.got.width() - 634, dy = c.got.height() - least;
        EXPECT_EQ(g.w("StatusLine")->geometry(), designed["StatusLine"].adjusted(0, 0, dx, 0).translated(0, dy));
        EXPECT_EQ(g.listing->geometry(), designed["ProgramListBox"].adjusted(0, 0, dx, dy));
        EXPECT_EQ(g.w("ClearButton")->geometry(), designed["ClearButton"].translated(0, dy));
        EXPECT_EQ(g.w("ProgExeGroup")->geometry(), designed["ProgExeGroup"].translated(0, dy));
        EXPECT_EQ(g.w("GroupBox2")->geometry(), designed["GroupBox2"]);
        EXPECT_EQ(g.w("ModuleListBox")->geometry(), designed["ModuleListBox"]);
    }
    // Back at the least size every control stands where it was designed.
    for (QWidget* w : g.main.findChildren<QWidget*>()) {
        if (w->objectName().isEmpty() || seen[w->objectName()] != 1) continue;
        EXPECT_EQ(w->geometry(), designed[w->objectName()]) << w->objectName().toStdString();
    }
}

TEST(Desktop, FilesNamedAtStartOrDroppedGoThroughOpensQuestion) {
    struct Case {
        const char* name;
        bool dropped;
        bool unsaved;
        Answer answer;
        bool opens;
    };
    const Case cases[] = {
        {"named, nothing to lose", false, false, Answer::No, true},
        {"named, unsaved, No", false, true, Answer::No, true},
        {"named, unsaved, Cancel", false, true, Answer::Cancel, false},
        {"dropped, unsaved, No", true, true, Answer::No, true},
        {"dropped, unsaved, Cancel", true, true, Answer::Cancel, false},
    };
    const std::string file = kExamples + "io_wait.sws";
    for (const Case& c : cases) {
        Gui g;
        if (!c.dropped && !c.unsaved) {
            // Named at start: it waits for the start-up timer.
            g.main.openAfterStart(file);
            EXPECT_EQ(g.s.lineCount, 0) << c.name;
        }
        g.start();
        if (c.unsaved) {
            g.s.form.CommentEdit.text = "work";
            g.main.run(CommentButtonClick);
        }
        g.ui.answers.push_back(c.answer);
        g.ui.boxes.clear();
        if (c.dropped) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(QString::fromStdString(file))});
            const QPoint at(300, 100);
            QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&g.main, &enter);
            ASSERT_TRUE(enter.isAccepted()) << c.name;
            QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&g.main, &drop);
            QApplication::processEvents();
        } else if (c.unsaved) {
            g.main.openAfterStart(file);
        }
        const std::vector<std::string> asked =
            c.unsaved ? std::vector<std::string>{"Program not saved - save before opening?"} : std::vector<std::string>{};
        EXPECT_EQ(g.ui.boxes, asked) << c.name;
        EXPECT_EQ(g.s.form.caption == "Tavo Stepwright - " + file, c.opens) << c.name;
    }
    // Only one local program file is taken from a drop.
    EXPECT_EQ(DroppedProgramFile(QUrl::fromLocalFile(QString::fromStdString(file))), file);
    EXPECT_EQ(DroppedProgramFile(QUrl::fromLocalFile(QString::fromStdString(kExamples + "README.md"))), "");
    EXPECT_EQ(DroppedProgramFile(QUrl(QStringLiteral("https://example.org/a.stw"))), "");
}

TEST(Desktop, StartOptionsTakeOneProgramFile) {
    struct Case {
        std::vector<std::string> args;
        std::string file, error;
    };
    const Case cases[] = {
        {{"a.stw"}, "a.stw", ""},
        {{"--simulator", "b.sws", "--port", "COM2=/dev/ttyS1"}, "b.sws", ""},
        {{"a.stw", "b.stw"}, "a.stw", "Only one program file can be opened: 'b.stw'"},
        {{"-x"}, "", "Unknown option '-x'"},
    };
    for (const Case& c : cases) {
        StartOptions o;
        EXPECT_EQ(ParseStartOptions(c.args, o), c.error);
        EXPECT_EQ(o.file, c.file);
    }
}

TEST(Desktop, DialogFolderAndComChoiceAreRemembered) {
    QTemporaryDir config;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
    // Never used: the examples (the build folder lies in the source tree).
    EXPECT_EQ(QFileInfo(Preferences::DialogFolder()).fileName(), QStringLiteral("examples"));
    Preferences::SetDialogFolder(config.path());
    EXPECT_EQ(Preferences::DialogFolder(), config.path());
    EXPECT_EQ(Preferences::ComChoice(), -1);
    {
        Gui g;
        Preferences::RememberComChoice(g.main);
        g.start();
        g.main.windows().com->findChild<RadioGroup*>(QStringLiteral("ComRG"))->button(6)->click();
        g.main.windows().com->findChild<QPushButton*>(QStringLiteral("SetButton"))->click();
    }
    EXPECT_EQ(Preferences::ComChoice(), 6);
    Gui next;
    Preferences::RememberComChoice(next.main);
    next.start();
    EXPECT_EQ(next.s.com.choice, 6);
    EXPECT_TRUE(next.s.com.visible);
    // The recent files, kept as they change and read back at the next start.
    Preferences::RememberRecentFiles(next.main);
    const std::vector<std::string> recent = {"/b/caf\xE9.stw", "/a/x.sws"};
    next.s.recentFiles = recent;
    next.main.syncAll();
    Gui third;
    Preferences::RememberRecentFiles(third.main);
    EXPECT_EQ(third.s.recentFiles, recent);
}

// A port that failed to open is not preselected at the next start, where
// Enter would end the application again; the simulated master's port is
// preselected while it runs, and not remembered for later runs.
TEST(Desktop, OnlyAPortThatOpenedIsRemembered) {
    QTemporaryDir config;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
    PtyPeer pty;
    ASSERT_TRUE(pty.ok());
    struct Case {
        const char* what;
        int before;       // remembered at start (-1 none)
        int preferred;    // the simulator's item (-1 none)
        int preselected;
        int chosen;
        bool opens;
        int after;
    };
    const Case cases[] = {
        {"a port that opens", -1, -1, 0, 2, true, 2},
        {"another port fails", 2, -1, 2, 1, false, 2},
        {"the remembered port fails", 2, -1, 2, 2, false, -1},
        {"the simulator's port", 3, kSimulatorComItem, kSimulatorComItem, kSimulatorComItem, true, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.before >= 0)
            Preferences::SetComChoice(c.before);
        else
            Preferences::ForgetComChoice();
        Gui g;
        for (int i = 0; i < 6; ++i)
            g.s.portDevice[i] = c.opens && i == c.chosen ? pty.slavePath() : config.path().toStdString() + "/none";
        Preferences::RememberComChoice(g.main, c.preferred);
        g.start();
        EXPECT_EQ(g.s.com.choice, c.preselected);
        g.main.windows().com->findChild<RadioGroup*>(QStringLiteral("ComRG"))->button(c.chosen)->click();
        g.main.windows().com->findChild<QPushButton*>(QStringLiteral("SetButton"))->click();
        EXPECT_EQ(g.s.port != nullptr, c.opens);
        EXPECT_EQ(g.main.closed(), !c.opens);  // a failed port ends the application
        EXPECT_EQ(Preferences::ComChoice(), c.after);
    }
}

// The status line's menu: New and Save As from their keys, the recent files,
// and the text under the controls.
TEST(Desktop, StatusLineMenuNewSaveAsAndRecentFiles) {
    Desk g;
    QTemporaryDir dir;
    const std::string file = dir.path().toStdString() + "/new.stw";
    auto* line = g.w<QLabel>("StatusLine");
    auto* menuButton = g.w<QPushButton>("ExtrasMenuButton");
    EXPECT_EQ(menuButton->text(), QStringLiteral("Menu"));
    std::vector<QString> entries;
    for (QAction* a : menuButton->menu()->actions())
        if (a->isVisible() || a->isSeparator()) entries.push_back(a->text() + QLatin1Char(' ') + a->shortcut().toString());
    EXPECT_EQ(entries, (std::vector<QString>{"New Ctrl+N", "Save As... Ctrl+Shift+S", "Open Recent ",
                                             "Read from master... Ctrl+Shift+R", "Compare with master ", " ",
                                             "Watch... Ctrl+W", "Link Log... Ctrl+Shift+L",
                                             "Problems... Ctrl+Shift+P"}));
    EXPECT_EQ(line->text(), QStringLiteral("no port | stopped | untitled"));
    g.comment("work");
    EXPECT_EQ(line->text(), QStringLiteral("no port | stopped | untitled | changed"));

    // Ctrl+N asks about the unsaved work as Open does; Cancel keeps it.
    g.ui.boxes.clear();
    g.ui.answers = {Answer::Cancel};
    pressKey(g.listing, Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(g.ui.boxes, std::vector<std::string>{"Program not saved - save before starting a new program?"});
    EXPECT_EQ(g.s.lineCount, 1);

    // Ctrl+Shift+S chooses the file in the save dialog and ties the program to it.
    g.ui.fileNames = {file};
    pressKey(g.w("LabelEdit"), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(g.ui.fileNames.empty());
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(file)));
    EXPECT_EQ(g.main.windowTitle().toStdString(), "Tavo Stepwright - " + file);
    EXPECT_EQ(line->text(), QStringLiteral("no port | stopped | new.stw"));
    QAction* recent = g.main.findChild<QAction*>(QStringLiteral("RecentFile1"));
    ASSERT_NE(recent, nullptr);
    EXPECT_TRUE(recent->isVisible());
    EXPECT_EQ(recent->text(), QStringLiteral("new.stw"));
    EXPECT_EQ(recent->toolTip().toStdString(), file);
    EXPECT_FALSE(g.main.findChild<QAction*>(QStringLiteral("RecentFile2"))->isVisible());

    // Saved: Ctrl+N asks nothing and leaves an untitled program.
    g.ui.boxes.clear();
    pressKey(g.listing, Qt::Key_N, Qt::ControlModifier);
    EXPECT_TRUE(g.ui.boxes.empty());
    EXPECT_EQ(g.s.lineCount, 0);
    EXPECT_EQ(g.main.windowTitle(), QStringLiteral("Tavo Stepwright"));
    EXPECT_EQ(line->text(), QStringLiteral("no port | stopped | untitled"));
    // Open Recent brings it back.
    recent->trigger();
    EXPECT_EQ(g.s.lineCount, 1);
    EXPECT_EQ(line->text(), QStringLiteral("no port | stopped | new.stw"));
}

TEST(Desktop, ProgressBarAdvancesBlockByBlock) {
    Desk g;
    g.openExample("every-command.stw");
    ScriptedMaster master(g.s);
    g.s.online = true;
    g.s.form.ProgExeGroup.enabled = true;
    g.main.syncAll();
    std::vector<int> values;
    std::vector<std::string> texts;
    auto shown = g.s.progressHook;
    g.s.progressHook = [&](int done, int total) {
        shown(done, total);
        auto* bar = g.main.windows().progress->findChild<QProgressBar*>(QStringLiteral("ProgressBar"));
        ASSERT_TRUE(bar && bar->isVisible());
        values.push_back(bar->value());
        texts.push_back(bar->format().toStdString());
    };
    for (const char* button : {"DownloadButton", "VerifyButton"}) {
        values.clear();
        texts.clear();
        g.w<QPushButton>(button)->click();
        const int blocks = (g.s.imageLength + 15) / 16;
        ASSERT_GT(blocks, 3) << button;
        ASSERT_EQ(int(values.size()), blocks) << button;
        for (int i = 0; i < blocks; ++i) EXPECT_EQ(values[size_t(i)], i + 1) << button;
        EXPECT_EQ(texts.back(), Format("%d of %d blocks", blocks, blocks)) << button;
    }
    // The line's own texts.
    const std::pair<std::tuple<int, int, long long>, const char*> lines[] = {
        {{0, 10, 0}, "0 of 10 blocks"},
        {{1, 10, 120}, "1 of 10 blocks, 2 s left"},
        {{5, 1024, 61}, "5 of 1024 blocks, 13 s left"},
        {{10, 10, 900}, "10 of 10 blocks"},
    };
    for (const auto& [in, text] : lines)
        EXPECT_EQ(ProgressBarText(std::get<0>(in), std::get<1>(in), std::get<2>(in)), text);
}

TEST(Desktop, CaptionsKeepTheirMarginsAndTheIndicatorSaysWhatItShows) {
    Desk g;
    // The stepper's SetParam panel (checks side by side) and WaitFor panel
    // (the timeout caption beside its field).
    g.main.run(AddStepModule1Click);
    auto choose = [&](const char* command) {
        Ctl& box = g.s.form.StepCBox;
        for (size_t i = 0; i < box.items.size(); ++i)
            if (box.items[i] == command) box.index = int(i);
        g.main.run(StepCBoxClick);
    };
    auto captionEnd = [](QWidget* w) {
        const int box = qobject_cast<QCheckBox*>(w) ? w->style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                                                         w->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing)
                                                   : 0;
        return w->x() + box + QFontMetrics(w->font()).horizontalAdvance(w->property("text").toString());
    };
    struct Case {
        const char* command;
        const char* control;
        const char* neighbour;  // the control the caption must stop short of
        int margin;
    };
    const Case cases[] = {
        {"SetParam", "StepCheck1", "StepCheck4", 4},
        {"WaitFor", "StepLabel1", "StepEdit1", 3},
    };
    for (const Case& c : cases) {
        choose(c.command);
        g.main.grab();  // painted once, as on the screen
        EXPECT_LE(captionEnd(g.w(c.control)) + c.margin, g.w(c.neighbour)->x()) << c.command;
    }
    for (const char* name : {"RestartButton", "ClearButton"}) {
        auto* b = g.w<QPushButton>(name);
        EXPECT_LE(QFontMetrics(b->font()).horizontalAdvance(b->text()), b->width() - 8) << name;
    }
    const std::pair<uint32_t, const char*> led[] = {{kGreen, "Running"}, {kRed, "Stopped"}};
    for (const auto& [color, name] : led) {
        g.s.form.RunLEDShape.color = color;
        g.main.syncAll();
        EXPECT_EQ(g.w("RunLEDShape")->accessibleName(), QLatin1String(name));
    }
    // The status windows' values take the focus but show no caret.
    auto* value = g.windows->servoStat().findChild<QLabel*>(QStringLiteral("PosLabel"));
    EXPECT_FALSE(value->textInteractionFlags() & Qt::TextSelectableByKeyboard);
    EXPECT_EQ(value->focusPolicy(), Qt::StrongFocus);
}

}  // namespace

STEPWRIGHT_GUI_TEST_MAIN()
