// A whole session through the widgets against the simulated master: connect,
// build a small program, download it, run it, watch it print, stop it.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <chrono>
#include <set>
#include <thread>

#include "GuiTest.h"
#include "app/gui/SecondaryForms.h"
#include "sim/SimCore.h"
#include "sim/SimMaster.h"

namespace {

void choose(QComboBox* box, int index) {
    box->setCurrentIndex(index);
    emit box->activated(index);
}

// One poll tick after the master has had time to run.
void tick(Gui& g, int ms = 60) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    g.main.firePollTimer();
}

// The simulated master with no modules, connected through the settings
// dialog as the user connects it.
struct Session : ::testing::Test {
    SimMaster sim{[] {
        SimOptions options;
        options.paceBaud = 0;
        options.moduleTypes = {0};
        return options;
    }()};
    std::unique_ptr<Gui> gui;

    void SetUp() override {
        std::string error;
        ASSERT_TRUE(sim.start(error)) << error;
        gui = std::make_unique<Gui>();
        Gui& g = *gui;
        StartOptions none;
        ApplyPortMap(g.s, none, sim.devicePath());
        g.start();
        g.windows->com().findChild<QPushButton*>(QStringLiteral("SetButton"))->click();
        for (int i = 0; i < 20 && !g.s.online; ++i) g.main.firePollTimer();
        ASSERT_TRUE(g.s.online);
        ASSERT_EQ(g.ui.boxes, std::vector<std::string>{"1 module(s) found"});
        g.ui.boxes.clear();
    }
    void TearDown() override {
        gui.reset();
        sim.stop();
    }

    // LOOP Print 'X' / Delay 20 / GoTo LOOP, built with the builder's widgets
    // and downloaded.
    void loadPrintLoop() {
        Gui& g = *gui;
        auto* modules = g.w<QListWidget>("ModuleListBox");
        auto* commands = g.w<QComboBox>("MasterCBox");
        auto* edit1 = g.w<QLineEdit>("MasterEdit1");
        auto add = [&](int command, const char* field, const char* label) {
            clickRow(modules, 0);
            choose(commands, command);
            if (*label) typeText(g.w("LabelEdit"), QString::fromLatin1(label));
            if (*field) typeText(edit1, QString::fromLatin1(field));
            g.w<QPushButton>("AddInstrButton")->click();
        };
        add(5, "X", "LOOP");
        add(9, "20", "");
        add(0, "LOOP", "");
        auto* listing = g.w<QListWidget>("ProgramListBox");
        ASSERT_EQ(listing->count(), 4);
        EXPECT_EQ(listing->item(0)->text(), QStringLiteral("LOOP      0 Print 'X'"));
        EXPECT_EQ(listing->item(1)->text(), QStringLiteral("          0 Delay 20"));
        EXPECT_EQ(listing->item(2)->text(), QStringLiteral("          0 GoTo LOOP"));
        EXPECT_FALSE(g.w("RunButton")->isEnabled());

        g.w<QPushButton>("DownloadButton")->click();
        EXPECT_EQ(g.ui.boxes, std::vector<std::string>{"Download complete"});
        EXPECT_EQ(g.w<QLabel>("LoadLabel")->text(), QStringLiteral("  Loaded  "));
        ASSERT_TRUE(g.w("RunButton")->isEnabled());
    }

    // Runs the loaded program until it has printed twice.
    void runUntilPrinted() {
        Gui& g = *gui;
        g.w<QPushButton>("RunButton")->click();
        auto printedTwice = [&] {
            return !g.s.terminal.lines.empty() && g.s.terminal.lines.back().find("XX") != std::string::npos;
        };
        for (int i = 0; i < 100 && !printedTwice(); ++i) tick(g);
        EXPECT_TRUE(printedTwice());
        EXPECT_EQ(g.s.form.RunLEDShape.color, kGreen);
    }

    bool simRunning() {
        bool running = false;
        sim.withCore([&](sim::SimCore& core) { running = core.running(); });
        return running;
    }
};

TEST_F(Session, DownloadsRunsAndStopsAProgram) {
    Gui& g = *gui;
    ASSERT_NO_FATAL_FAILURE(loadPrintLoop());
    ASSERT_NO_FATAL_FAILURE(runUntilPrinted());

    g.w<QPushButton>("StopButton")->click();
    tick(g);
    EXPECT_EQ(g.s.form.RunLEDShape.color, kRed);
    EXPECT_EQ(g.s.status.statusB & 0x01, 0);
    // The selection shows where the program stopped: one of its three lines.
    auto* listing = g.w<QListWidget>("ProgramListBox");
    ASSERT_EQ(selectedRows(listing).size(), 1u);
    EXPECT_LT(selectedRows(listing)[0], 3);
    EXPECT_EQ(g.ui.boxes, std::vector<std::string>{"Download complete"});
}

TEST_F(Session, ShiftF5StopsARunningProgramAfterAnEdit) {
    Gui& g = *gui;
    ASSERT_NO_FATAL_FAILURE(loadPrintLoop());
    ASSERT_NO_FATAL_FAILURE(runUntilPrinted());

    // A comment added while the program runs: the program is changed, and
    // only Stop is left to act on the running program.
    typeText(g.w("CommentEdit"), QStringLiteral("edited while running"));
    g.w<QPushButton>("CommentButton")->click();
    tick(g);
    ASSERT_TRUE(simRunning());
    EXPECT_TRUE(g.w("StopButton")->isEnabled());
    EXPECT_FALSE(g.w("RunButton")->isEnabled());
    EXPECT_FALSE(g.w("StepButton")->isEnabled());
    EXPECT_FALSE(g.w("BreakButton")->isEnabled());

    pressKey(g.w("ProgramListBox"), Qt::Key_F5, Qt::ShiftModifier);
    EXPECT_FALSE(simRunning());
    EXPECT_EQ(g.s.status.statusB & 0x01, 0);
    // Stopped, the changed program waits for a download: Stop goes too.
    EXPECT_FALSE(g.w("StopButton")->isEnabled());
    tick(g);
    EXPECT_EQ(g.s.form.RunLEDShape.color, kRed);
    EXPECT_FALSE(g.w("StopButton")->isEnabled());
}

// The demo on the simulated master's own network.  While it runs, every
// poll marks the line the master executes (the arrow in the listing's
// margin moves) and leaves the line the user clicked selected and current:
// Add, Delete (its key) and Change act on the clicked line, never on the
// executing one.  Stop and Step, the user's own, select where it stopped.
TEST(Following, EditsActOnTheClickedLineWhileThePollMarksTheExecutingOne) {
    SimOptions options;
    options.paceBaud = 0;
    SimMaster sim(options);
    std::string error;
    ASSERT_TRUE(sim.start(error)) << error;
    Gui g;
    ApplyPortMap(g.s, StartOptions{}, sim.devicePath());
    g.start();
    g.windows->com().findChild<QPushButton*>(QStringLiteral("SetButton"))->click();
    for (int i = 0; i < 20 && !g.s.online; ++i) g.main.firePollTimer();
    ASSERT_TRUE(g.s.online);
    g.ui.fileNames = {STEPWRIGHT_EXAMPLES "/demo.stw"};
    g.w<QPushButton>("OpenButton")->click();
    g.w<QPushButton>("DownloadButton")->click();
    ASSERT_TRUE(g.w("RunButton")->isEnabled());

    auto* listing = g.w<QListWidget>("ProgramListBox");
    auto rowsWith = [&](const char* text) {
        std::vector<int> rows;
        for (int i = 0; i < listing->count(); ++i)
            if (listing->item(i)->text().contains(QLatin1String(text))) rows.push_back(i);
        return rows;
    };
    const std::vector<int> waits = rowsWith("WaitFor");
    ASSERT_EQ(waits.size(), 2u);
    ASSERT_EQ(rowsWith("Delay 50").size(), 1u);
    const int delay = rowsWith("Delay 50")[0];
    std::vector<QString> waitTexts;
    for (int row : waits) waitTexts.push_back(listing->item(row)->text());
    const int lines = g.s.lineCount;

    g.w<QPushButton>("RunButton")->click();
    clickRow(listing, delay);
    ASSERT_EQ(g.s.form.CmdEdit.text, "Delay");

    // The arrow is painted in the margin of the marked row only.
    auto arrowAt = [&](int row) {
        QApplication::processEvents();   // the list lays its items out from the event loop
        const QImage image = listing->viewport()->grab().toImage();
        const QRect r = listing->visualItemRect(listing->item(row));
        return image.pixelColor(r.left() + 7, r.center().y()) == ExecutingArrowColor();
    };
    // Polls until the master executes another line than the clicked one; on
    // every tick the user's line stays selected and current.
    std::set<int> marked;
    auto pollAwayFromTheClickedLine = [&](int clicked) {
        for (int i = 0; i < 300; ++i) {
            tick(g, 20);
            EXPECT_EQ(g.s.form.RunLEDShape.color, kGreen);
            EXPECT_EQ(selectedRows(listing), std::vector<int>{clicked});
            EXPECT_EQ(listing->currentRow(), clicked);
            EXPECT_EQ(g.s.currentLine, clicked);
            const int executing = g.s.listing.executing();
            marked.insert(executing);
            if (executing >= 0 && executing != clicked && marked.size() >= 2) {
                EXPECT_TRUE(arrowAt(executing));
                EXPECT_FALSE(arrowAt(clicked));
                for (int row = 0; row < listing->count(); ++row)
                    EXPECT_EQ(listing->item(row)->data(Qt::AccessibleDescriptionRole).toString(),
                              row == executing ? QStringLiteral("executing") : QString())
                        << row;
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(pollAwayFromTheClickedLine(delay)) << "the execution mark never moved off the clicked line";

    // Add inserts the builder's Delay 50 before the clicked line.
    g.w<QPushButton>("AddInstrButton")->click();
    EXPECT_EQ(rowsWith("Delay 50"), (std::vector<int>{delay, delay + 1}));
    EXPECT_EQ(g.s.currentLine, delay + 1);
    ASSERT_TRUE(pollAwayFromTheClickedLine(delay + 1));
    // Delete (the key in the listing) removes the line the user chose.
    pressKey(listing, Qt::Key_Delete);
    EXPECT_EQ(g.s.lineCount, lines);
    EXPECT_EQ(rowsWith("Delay 50"), std::vector<int>{delay});

    // Change rewrites the clicked line with the builder's new value.
    clickRow(listing, delay);
    ASSERT_TRUE(pollAwayFromTheClickedLine(delay));
    auto* time = g.w<QLineEdit>("MasterEdit1");
    time->selectAll();
    typeText(time, QStringLiteral("60"));
    g.w<QPushButton>("ChangeButton")->click();
    EXPECT_EQ(rowsWith("Delay 60"), std::vector<int>{delay});
    EXPECT_TRUE(rowsWith("Delay 50").empty());

    // The servo's WaitFor lines are untouched, and nothing was refused.
    EXPECT_EQ(g.s.lineCount, lines);
    ASSERT_EQ(rowsWith("WaitFor"), waits);
    for (size_t k = 0; k < waits.size(); ++k) EXPECT_EQ(listing->item(waits[k])->text(), waitTexts[k]);
    EXPECT_EQ(g.ui.boxes, (std::vector<std::string>{"4 module(s) found", "Download complete"}));

    // Stop is the user's: the listing then selects where the program stopped.
    g.w<QPushButton>("StopButton")->click();
    EXPECT_EQ(g.s.currentLine, g.s.listing.executing());
    EXPECT_EQ(selectedRows(listing), std::vector<int>{g.s.currentLine});

    // So is Step (F10): once the poll finds the step done, the listing
    // selects the line the program now stands at ...
    g.w<QPushButton>("DownloadButton")->click();   // the edited program
    ASSERT_TRUE(g.w("StepButton")->isEnabled());
    clickRow(listing, delay);
    pressKey(listing, Qt::Key_F10);
    tick(g);
    EXPECT_EQ(g.s.form.RunLEDShape.color, kRed);
    const int stepped = g.s.listing.executing();
    EXPECT_GT(stepped, 0);
    EXPECT_NE(stepped, delay);
    EXPECT_EQ(g.s.currentLine, stepped);
    EXPECT_EQ(selectedRows(listing), std::vector<int>{stepped});
    // ... unless the user clicked a line before it did: that line stays.
    pressKey(listing, Qt::Key_F10);
    clickRow(listing, delay);
    tick(g);
    EXPECT_GT(g.s.listing.executing(), stepped);
    EXPECT_EQ(g.s.currentLine, delay);
    EXPECT_EQ(selectedRows(listing), std::vector<int>{delay});
    EXPECT_EQ(g.ui.boxes, (std::vector<std::string>{"4 module(s) found", "Download complete", "Download complete"}));
    sim.stop();
}

}  // namespace

STEPWRIGHT_GUI_TEST_MAIN()
