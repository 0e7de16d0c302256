// A whole session through the widgets against the simulated master: connect,
// build a small program, download it, run it, watch it print, stop it.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <chrono>
#include <thread>

#include "GuiTest.h"
#include "app/gui/SecondaryForms.h"
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

TEST(Session, DownloadsRunsAndStopsAProgram) {
    SimOptions options;
    options.paceBaud = 0;
    options.moduleTypes = {0};
    SimMaster sim(options);
    std::string error;
    ASSERT_TRUE(sim.start(error)) << error;

    Gui g;
    StartOptions none;
    ApplyPortMap(g.s, none, sim.devicePath());
    g.start();
    g.windows->com().findChild<QPushButton*>(QStringLiteral("SetButton"))->click();
    for (int i = 0; i < 20 && !g.s.online; ++i) g.main.firePollTimer();
    ASSERT_TRUE(g.s.online);
    ASSERT_EQ(g.ui.boxes, std::vector<std::string>{"1 module(s) found"});
    g.ui.boxes.clear();

    // LOOP Print 'X' / Delay 20 / GoTo LOOP, built with the builder's widgets.
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

    g.w<QPushButton>("RunButton")->click();
    auto printedTwice = [&] {
        return !g.s.terminal.lines.empty() && g.s.terminal.lines.back().find("XX") != std::string::npos;
    };
    for (int i = 0; i < 100 && !printedTwice(); ++i) tick(g);
    EXPECT_TRUE(printedTwice());
    EXPECT_EQ(g.s.form.RunLEDShape.color, kGreen);

    g.w<QPushButton>("StopButton")->click();
    tick(g);
    EXPECT_EQ(g.s.form.RunLEDShape.color, kRed);
    EXPECT_EQ(g.s.status.statusB & 0x01, 0);
    // The selection shows where the program stopped: one of its three lines.
    ASSERT_EQ(selectedRows(listing).size(), 1u);
    EXPECT_LT(selectedRows(listing)[0], 3);
    EXPECT_EQ(g.ui.boxes, std::vector<std::string>{"Download complete"});
    sim.stop();
}

}  // namespace

STEPWRIGHT_GUI_TEST_MAIN()
