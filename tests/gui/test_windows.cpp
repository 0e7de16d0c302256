// The secondary windows, the timers, the desktop's boxes, closing the main
// window, the start-up options, and a whole session against the simulated
// master.
#include <QCursor>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QStyledItemDelegate>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <fstream>

#include "GuiTest.h"
#include "app/gui/Latin1.h"
#include "app/gui/SecondaryForms.h"
#include "app/Progress.h"
#ifdef STEPWRIGHT_HAVE_SIM
#include "sim/SimMaster.h"
#endif

namespace {

template <class T = QWidget>
T* in(QWidget& window, const char* name) {
    T* found = window.findChild<T*>(QLatin1String(name));
    if (!found) ADD_FAILURE() << "no widget " << name;
    return found;
}

TEST(Windows, PollTimerFollowsTheStateAndIsStoppedBeforeABox) {
    Gui g;
    QTimer* poll = g.main.pollTimerObject();
    g.main.run([](MainState& s) { s.pollTimerOn = true; });
    EXPECT_TRUE(poll->isActive());
    EXPECT_EQ(poll->interval(), 250);
    // Precise timers never fire before their interval is over.
    EXPECT_EQ(poll->timerType(), Qt::PreciseTimer);
    EXPECT_EQ(g.main.startTimerObject()->timerType(), Qt::PreciseTimer);

    // A handler that switched the timer off and then shows a box: no tick can
    // come while the box is up.
    g.main.run([](MainState& s) {
        s.pollTimerOn = false;
        s.message("first");
        s.pollTimerOn = true;
        s.message("second");
    });
    EXPECT_EQ(g.ui.boxes, (std::vector<std::string>{"first", "second"}));
    // No tick can come while any box is up, whether the handler had switched
    // the timer off or not; it runs again after the handler.
    EXPECT_EQ(g.ui.pollTimerActiveAtBox, (std::vector<bool>{false, false}));
    EXPECT_TRUE(poll->isActive());

    g.main.run([](MainState& s) { s.pollTimerOn = false; });
    EXPECT_FALSE(poll->isActive());
}

TEST(Windows, ProgressWindowShowsOneTextWithTheBusyCursor) {
    Gui g;
    QWidget& progress = g.windows->progress();
    g.main.run([](MainState& s) {
        s.progress.label2 = "      Downloading (2 bytes)...";
        ShowProgress(s, 2);
    });
    EXPECT_TRUE(progress.isVisible());
    EXPECT_FALSE(in(progress, "Label1")->isVisibleTo(&progress));
    EXPECT_TRUE(in(progress, "Label2")->isVisibleTo(&progress));
    EXPECT_FALSE(in(progress, "Label3")->isVisibleTo(&progress));
    EXPECT_EQ(in<QLabel>(progress, "Label2")->text(), QStringLiteral("      Downloading (2 bytes)..."));
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_EQ(progress.cursor().shape(), Qt::WaitCursor);

    g.main.run([](MainState& s) { HideProgress(s); });
    EXPECT_FALSE(progress.isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    g.main.run([](MainState& s) { ShowProgress(s, 3); });
    EXPECT_FALSE(in(progress, "Label2")->isVisibleTo(&progress));
    EXPECT_EQ(in<QLabel>(progress, "Label3")->text(), QStringLiteral("Verifying.."));
    g.main.run([](MainState& s) { HideProgress(s); });
}

TEST(Windows, TerminalShowsLinesAndSendsTypedKeys) {
    Gui g;
    QWidget& terminal = g.windows->terminal();
    auto* memo = in<QPlainTextEdit>(terminal, "TerminalMemo");
    g.w<QPushButton>("ShowTermButton")->click();
    EXPECT_TRUE(terminal.isVisible());
    EXPECT_EQ(memo->toPlainText(), QStringLiteral(">"));

    typeText(memo, QStringLiteral("Hi"));
    pressKey(memo, Qt::Key_Return);  // no text: nothing is sent
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(memo, &enter);
    typeText(memo, QString::fromUtf8("\xC3\xA9"));
    EXPECT_EQ(memo->toPlainText(), QString::fromUtf8(">Hi\n>\xC3\xA9"));
    EXPECT_EQ(g.ui.waits, (std::vector<int>{100, 100, 100, 100}));
    EXPECT_TRUE(memo->isReadOnly());

    in<QPushButton>(terminal, "ClearTermButton")->click();
    EXPECT_EQ(memo->toPlainText(), QStringLiteral(">"));
    in<QPushButton>(terminal, "CloseTermButton")->click();
    EXPECT_FALSE(terminal.isVisible());

    g.w<QPushButton>("ShowTermButton")->click();
    EXPECT_TRUE(terminal.isVisible());
    terminal.close();  // the window's own close box
    EXPECT_FALSE(g.s.terminal.visible);
    g.main.syncAll();
    EXPECT_FALSE(terminal.isVisible());
}

TEST(Windows, CommunicationsDialogShowsDevicesAndTakesTheChoice) {
    Gui g;
    g.s.portDevice[1] = "/dev/ttyUSB7";
    g.s.portDevice[2].clear();
    g.start();
    QWidget& com = g.windows->com();
    ASSERT_TRUE(com.isVisible());
    auto* ports = in<RadioGroup>(com, "ComRG");
    EXPECT_EQ(ports->button(1)->toolTip(), QStringLiteral("/dev/ttyUSB7"));
    EXPECT_EQ(ports->button(2)->toolTip(), QStringLiteral("no device"));
    EXPECT_TRUE(ports->button(0)->isChecked());

    ports->button(6)->click();
    EXPECT_EQ(g.s.com.choice, 6);
    in<QPushButton>(com, "SetButton")->click();
    EXPECT_FALSE(com.isVisible());
    EXPECT_FALSE(g.main.pollTimerObject()->isActive());
    EXPECT_TRUE(g.ui.boxes.empty());

    // Shown again, it keeps the last choice; its close box only hides it.
    g.w<QPushButton>("ComButton")->click();
    EXPECT_TRUE(com.isVisible());
    EXPECT_TRUE(ports->button(6)->isChecked());
    com.close();
    EXPECT_FALSE(g.s.com.visible);
    EXPECT_FALSE(g.main.closed());

    // Cancel closes the main window, and so the application.
    g.w<QPushButton>("ComButton")->click();
    in<QPushButton>(com, "CancelButton")->click();
    EXPECT_TRUE(g.main.closed());
    EXPECT_FALSE(g.main.isVisible());
    EXPECT_FALSE(com.isVisible());
}

TEST(Windows, CloseQueryKeepsAnUnsavedProgramUntilAnswered) {
    Gui g;
    g.start();
    typeText(g.w("CommentEdit"), QStringLiteral("keep me"));
    g.w<QPushButton>("CommentButton")->click();

    g.ui.answers.push_back(Answer::Cancel);
    g.w<QPushButton>("ExitButton")->click();
    ASSERT_EQ(g.ui.boxes.size(), 1u);
    EXPECT_EQ(g.ui.boxes[0], "Program not saved - save before exiting?");
    EXPECT_FALSE(g.main.closed());
    EXPECT_TRUE(g.main.isVisible());

    g.ui.answers.push_back(Answer::No);
    g.main.close();  // the close box asks the same
    EXPECT_EQ(g.ui.boxes.size(), 2u);
    EXPECT_TRUE(g.main.closed());
    EXPECT_FALSE(g.windows->com().isVisible());
}

TEST(Windows, ExitWithAnEmptyProgramNeverAsks) {
    Gui g;
    g.start();
    g.ui.answers.push_back(Answer::Yes);
    g.w<QPushButton>("ClearButton")->click();  // a change, but no lines
    g.w<QPushButton>("ExitButton")->click();
    EXPECT_EQ(g.ui.boxes, std::vector<std::string>{"Are you sure you want to clear the entire program?"});
    EXPECT_TRUE(g.main.closed());
}

// Help opens the guide found beside the program through the desktop's opener,
// and says so when there is no guide or the opener fails, at once or later.
TEST(Windows, HelpOpensTheGuideOrSaysWhyNot) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string guide = dir.filePath(QStringLiteral("stepwright.pdf")).toStdString();
    using Opener = ScriptedPlatform::Opener;
    const struct Case {
        bool present;
        Opener opener;
        bool opened, message;
    } cases[] = {
        {false, Opener::Opens, false, true},
        {true, Opener::Opens, true, false},
        {true, Opener::FailsLater, true, true},
        {true, Opener::CannotStart, true, true},
    };
    for (const Case& c : cases) {
        QFile::remove(QString::fromStdString(guide));
        if (c.present) std::ofstream(guide) << "%PDF";
        Gui g;
        g.ui.executableDir = dir.path().toStdString();
        g.ui.opener = c.opener;
        g.w<QPushButton>("HelpButton")->click();
        // The opener's report, then the handler it starts, come from the event loop.
        for (int i = 0; i < 3; ++i) QApplication::processEvents();
        EXPECT_EQ(g.ui.opened, c.opened ? std::vector<QString>{QString::fromStdString(guide)} : std::vector<QString>{});
        // A guide that is there is not called missing: the viewer is.
        const std::string why = c.present ? "No PDF viewer could be started to show " + guide
                                          : "Acrobat Reader or 'stepwright.pdf' not found";
        EXPECT_EQ(g.ui.boxes, c.message ? std::vector<std::string>{why} : std::vector<std::string>{});
    }
}

TEST(Windows, StatusWindowIsFilledPlacedAndModal) {
    Gui g;
    g.main.move(40, 30);
    StatusFormState& servo = g.s.statusForms.servo;
    servo.caption = "Module 1";
    servo.value("PosLabel") = "-1234";
    servo.value("Lim1Label") = "High";
    QDialog& form = g.windows->servoStat();
    bool wasModal = false;
    QPoint shownAt;
    QTimer::singleShot(0, &form, [&] {
        wasModal = form.isModal() && form.isVisible();
        shownAt = form.pos();
        form.close();
    });
    g.ui.showStatusWindow(StatusWindow::Servo);
    EXPECT_TRUE(wasModal);
    EXPECT_EQ(shownAt, g.main.frameGeometry().topLeft() + QPoint(105, 30));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Module 1"));
    EXPECT_EQ(in<QLabel>(form, "PosLabel")->text(), QStringLiteral("-1234"));
    EXPECT_EQ(in<QLabel>(form, "Lim1Label")->text(), QStringLiteral("High"));
    EXPECT_EQ(in<QLabel>(form, "PowerLabel")->text(), QStringLiteral("Off"));
    EXPECT_FALSE(form.isVisible());
}

// Every text a secondary window shows before anything fills it: its title,
// its size, its fixed caption labels and the first values of its value labels.
TEST(Windows, SecondaryWindowsCarryTheirTextsAndSizes) {
    Gui g;
    struct Case {
        QWidget* window;
        const char* title;
        QSize size;
        std::vector<std::pair<const char*, const char*>> labels;   // object name, text
    };
    const Case cases[] = {
        {&g.windows->com(), "Communications Settings", {275, 131}, {}},
        {&g.windows->terminal(), "Stepwright Terminal", {380, 235}, {}},
        {&g.windows->progress(), "", {261, 65},
         {{"Label1", "Stepwright Detected"}, {"Label2", "Downloading..."}, {"Label3", "Verifying.."}}},
        {&g.windows->servoStat(), nullptr, {}, {{"PosLabelCaption", "Position:"}, {"PosLabel", "0"},
                                                {"HomePosLabelCaption", "Home Position:"}, {"HomePosLabel", "0"},
                                                {"Lim1LabelCaption", "Limit 1:"}, {"Lim1Label", "Low"},
                                                {"Lim2LabelCaption", "Limit 2:"}, {"Lim2Label", "Low"},
                                                {"PowerLabelCaption", "Power:"}, {"PowerLabel", "Off"}}},
        {&g.windows->stepStat(), nullptr, {}, {{"Lim1LabelCaption", "Limit 1:"}, {"Lim2LabelCaption", " Limit 2:     "},
                                               {"HomeSwLabelCaption", "Home Sw."}, {"HomeSwLabel", "Low"},
                                               {"EStopLabelCaption", "E-Stop"}, {"EStopLabel", "Low"},
                                               {"Input1LabelCaption", "Input 1"}, {"Input2LabelCaption", "Input 2"},
                                               {"Input2Label", "Low"}, {"PowerLabel", "Off"}}},
        {&g.windows->ioStat(), nullptr, {}, {{"B1LblCaption", "Bit 1:"}, {"B1Lbl", "Low"},
                                             {"B6LblCaption", "Bit 6:"}, {"B7LblCaption", "Bit 7:"},
                                             {"B12LblCaption", "Bit 12:"}, {"B12Lbl", "Low"}}},
        {&g.windows->masterStat(), nullptr, {}, {{"VersionLbl", "Version:   1"}, {"C1LblCaption", "Counter 1:"},
                                                 {"C1Lbl", "0"}, {"C4LblCaption", "Counter 4:"}, {"C4Lbl", "0"}}},
    };
    for (const Case& c : cases) {
        const QString name = c.window->objectName();
        if (c.title) {
            EXPECT_EQ(c.window->windowTitle(), QLatin1String(c.title)) << name.toStdString();
        }
        if (c.size.isValid()) {
            EXPECT_EQ(c.window->size(), c.size) << name.toStdString();
            EXPECT_EQ(c.window->minimumSize(), c.window->maximumSize()) << name.toStdString() << ": resizable";
        }
        for (const auto& [object, text] : c.labels) {
            if (auto* label = in<QLabel>(*c.window, object)) {
                EXPECT_EQ(label->text(), QLatin1String(text)) << object;
            }
        }
    }

    // Buttons and items.
    auto* ports = in<RadioGroup>(g.windows->com(), "ComRG");
    QStringList items;
    for (int i = 0; i < ports->count(); ++i) items << ports->button(i)->text();
    EXPECT_EQ(items, (QStringList{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "Offline"}));
    const std::pair<QWidget*, std::vector<std::pair<const char*, const char*>>> buttons[] = {
        {&g.windows->com(), {{"SetButton", "Set"}, {"CancelButton", "Cancel"}}},
        {&g.windows->terminal(), {{"ClearTermButton", "Clear"}, {"CloseTermButton", "Close"}}},
    };
    for (const auto& [window, named] : buttons)
        for (const auto& [object, text] : named) {
            if (auto* b = in<QPushButton>(*window, object)) {
                EXPECT_EQ(b->text(), QLatin1String(text)) << object;
            }
        }
    auto* memo = in<QPlainTextEdit>(g.windows->terminal(), "TerminalMemo");
    EXPECT_EQ(memo->size(), QSize(377, 201));
    EXPECT_TRUE(memo->isReadOnly());

    // Only the I/O window carries the help icon; none of them minimises.
    for (QWidget* w : std::initializer_list<QWidget*>{&g.windows->servoStat(), &g.windows->stepStat(),
                                                      &g.windows->ioStat(), &g.windows->masterStat()}) {
        EXPECT_EQ(w->windowFlags().testFlag(Qt::WindowContextHelpButtonHint), w == &g.windows->ioStat())
            << w->objectName().toStdString();
        EXPECT_FALSE(w->windowFlags().testFlag(Qt::WindowMinimizeButtonHint)) << w->objectName().toStdString();
    }
    EXPECT_TRUE(g.windows->progress().windowFlags().testFlag(Qt::FramelessWindowHint));

    // The widest values fit their labels whole, and every caption fits too.
    const std::pair<TStatForm*, std::vector<std::pair<const char*, const char*>>> widest[] = {
        {&g.windows->servoStat(), {{"PosLabel", "-2147483648"}, {"HomePosLabel", "-2147483648"}}},
        {&g.windows->stepStat(), {{"PosLabel", "-2147483648"}, {"HomePosLabel", "-2147483648"}}},
        {&g.windows->masterStat(), {{"VersionLbl", "Version:  -1"}, {"C1Lbl", "65535"}}},
        {&g.windows->ioStat(), {{"B12Lbl", "High"}}},
    };
    for (const auto& [form, values] : widest) {
        StatusFormState state;
        for (const auto& [object, text] : values) state.labels.emplace_back(object, text);
        form->fill(state);
        for (QLabel* label : form->findChildren<QLabel*>()) {
            EXPECT_LE(label->sizeHint().width(), label->width()) << label->objectName().toStdString();
            EXPECT_LE(label->geometry().right(), form->width()) << label->objectName().toStdString();
        }
    }
}

struct OptionCase {
    std::vector<std::string> args;
    const char* errorPart;  // nullptr: accepted
    size_t ports;
    bool simulator;
};

TEST(StartOptions, ParsesPortsAndSimulator) {
    const OptionCase cases[] = {
        {{}, nullptr, 0, false},
        {{"--simulator"}, nullptr, 0, true},
        {{"--port", "COM2=/dev/ttyUSB1", "--port=COM6=/dev/ttyS0"}, nullptr, 2, false},
        {{"--port"}, "--port needs a value", 0, false},
        {{"--port", "COM7=/dev/ttyS0"}, "COM7", 0, false},
        {{"--port", "COM2"}, "COM2", 0, false},
        {{"--fast"}, "Unknown option '--fast'", 0, false},
    };
    for (const OptionCase& c : cases) {
        StartOptions options;
        const std::string error = ParseStartOptions(c.args, options);
        if (c.errorPart) {
            EXPECT_NE(error.find(c.errorPart), std::string::npos) << error;
        } else {
            EXPECT_EQ(error, "");
            EXPECT_EQ(options.ports.size(), c.ports);
            EXPECT_EQ(options.simulator, c.simulator);
        }
    }
}

TEST(StartOptions, HelpAndVersionAreReadAmongOtherOptions) {
    struct Case {
        std::vector<std::string> args;
        bool help, version;
    };
    const Case cases[] = {
        {{"--help"}, true, false},
        {{"-h"}, true, false},
        {{"--version"}, false, true},
        {{"--simulator", "--version"}, false, true},
        {{"--port", "COM2=/dev/ttyS1", "--help"}, true, false},
        {{"--simulator"}, false, false},
    };
    for (const Case& c : cases) {
        StartOptions options;
        EXPECT_EQ(ParseStartOptions(c.args, options), "");
        EXPECT_EQ(options.help, c.help) << c.args.back();
        EXPECT_EQ(options.version, c.version) << c.args.back();
    }
}

TEST(StartOptions, PortsAndSimulatorOverrideTheDefaultMap) {
    ScriptedPlatform ui;
    auto s = std::make_unique<MainState>(ui);
    StartOptions options;
    ASSERT_EQ(ParseStartOptions({"--port", "COM2=/dev/ttyUSB9", "--port", "COM1=/dev/ttyS3"}, options), "");
    ApplyPortMap(*s, options, "");
    EXPECT_EQ(s->portDevice[1], "/dev/ttyUSB9");
    EXPECT_EQ(s->portDevice[0], "/dev/ttyS3");
    ApplyPortMap(*s, options, "/dev/pts/42");
    EXPECT_EQ(s->portDevice[0], "/dev/pts/42");
    EXPECT_EQ(s->portDevice[1], "/dev/ttyUSB9");
}

TEST(Latin1, TextCrossesAsOneBytePerCharacter) {
    const std::string all = [] {
        std::string bytes;
        for (int c = 1; c < 256; ++c) bytes.push_back(char(c));
        return bytes;
    }();
    EXPECT_EQ(fromQ(toQ(all)), all);
    const std::pair<const char*, const char*> toBytes[] = {
        {"plain", "plain"},
        {"\xC3\xA9\xC3\xBF", "\xE9\xFF"},          // Latin-1 letters keep their byte
        {"\xE2\x82\xAC" "5", "?5"},                 // no Latin-1 byte
        {"a\xF0\x9F\x98\x80" "b", "a?b"},           // one '?' for one character
    };
    for (const auto& [utf8, bytes] : toBytes) EXPECT_EQ(fromQ(QString::fromUtf8(utf8)), bytes) << utf8;

    EXPECT_EQ(listingDisplayText("\x01" "ABEL    "), QString(QChar(0x25CF)) + QStringLiteral("ABEL    "));
    EXPECT_EQ(listingDisplayText("a\tb\x7F\x1B"),
              QStringLiteral("a") + QChar(0x2192) + QStringLiteral("b") + QChar(0x25AF) + QChar(0x25AF));
    EXPECT_EQ(listingDisplayText("caf\xE9"), QString::fromUtf8("caf\xC3\xA9"));
    EXPECT_EQ(plainCaption("Save & Run"), QStringLiteral("Save && Run"));
    EXPECT_EQ(accessibleFromCaption("Master Commands:"), QStringLiteral("Master Commands"));
    EXPECT_EQ(accessibleFromCaption(" Limit 2:     "), QStringLiteral("Limit 2"));
    EXPECT_EQ(accessibleFromCaption("Counter 1 ="), QStringLiteral("Counter 1"));
}

// The listing's items hold the exact bytes (the breakpoint mark 0x01, a
// Print's CR and LF); only what is painted shows them as symbols.
TEST(Listing, ItemsKeepExactBytesAndPaintSymbols) {
    Gui g;
    g.start();
    std::string text = "\x01" "OOP      0 Print 'A\r\n'";
    g.s.listing.insert(0, text);
    auto* list = g.w<QListWidget>("ProgramListBox");
    ASSERT_NE(list->item(0), nullptr);
    EXPECT_EQ(fromQ(list->item(0)->text()), text);
    auto* delegate = qobject_cast<QStyledItemDelegate*>(list->itemDelegate());
    ASSERT_NE(delegate, nullptr);
    const QString painted = delegate->displayText(list->item(0)->text(), QLocale());
    EXPECT_EQ(painted, listingDisplayText(text));
    EXPECT_TRUE(painted.startsWith(QChar(0x25CF)));
    g.s.listing.setText(0, "LOOP");
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("LOOP"));
}

#ifdef STEPWRIGHT_HAVE_SIM
TEST(Session, ConnectsToTheSimulatedMasterAndShowsAModule) {
    SimOptions options;
    options.paceBaud = 0;
    options.moduleTypes = {0, 2};
    SimMaster sim(options);
    std::string error;
    ASSERT_TRUE(sim.start(error)) << error;

    Gui g;
    StartOptions none;
    ApplyPortMap(g.s, none, sim.devicePath());
    g.start();
    bool detectedShown = false;
    g.ui.onWait = [&] {
        QWidget& progress = g.windows->progress();
        if (progress.isVisible() && in(progress, "Label1")->isVisibleTo(&progress)) detectedShown = true;
    };
    in<QPushButton>(g.windows->com(), "SetButton")->click();
    ASSERT_TRUE(g.ui.boxes.empty()) << g.ui.boxes.front();
    EXPECT_TRUE(g.main.pollTimerObject()->isActive());
    for (int tick = 0; tick < 20 && !g.s.online; ++tick) g.main.firePollTimer();
    ASSERT_TRUE(g.s.online);
    EXPECT_TRUE(detectedShown);
    EXPECT_EQ(g.ui.boxes, std::vector<std::string>{"2 module(s) found"});
    g.ui.boxes.clear();
    EXPECT_FALSE(g.windows->progress().isVisible());

    auto* group = g.w<QGroupBox>("ProgExeGroup");
    EXPECT_TRUE(group->isEnabled());
    EXPECT_EQ(group->title(), QStringLiteral("Program Execution"));
    EXPECT_TRUE(g.w("DownloadButton")->isEnabled());
    auto* modules = g.w<QListWidget>("ModuleListBox");
    ASSERT_EQ(modules->count(), 3);
    EXPECT_EQ(modules->item(1)->text(), QStringLiteral(" 1 ZEL-SERVO"));
    EXPECT_EQ(modules->item(2)->text(), QStringLiteral(" 2 ZEL-I/O"));

    // A double click on the servo fetches its state into its window.
    clickRow(modules, 1);
    QDialog& form = g.windows->servoStat();
    bool shown = false;
    QTimer::singleShot(0, &form, [&] {
        shown = form.isVisible();
        form.close();
    });
    const QPoint p = modules->visualItemRect(modules->item(1)).center();
    QMouseEvent twice(QEvent::MouseButtonDblClick, QPointF(p), modules->viewport()->mapToGlobal(QPointF(p)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(modules->viewport(), &twice);
    EXPECT_TRUE(shown);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Module 1"));
    EXPECT_TRUE(g.ui.boxes.empty()) << g.ui.boxes.front();
    sim.stop();
}
#endif

}  // namespace

STEPWRIGHT_GUI_TEST_MAIN()
