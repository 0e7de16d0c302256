// The Simulator window off-screen beside a started simulated master: offered
// only with one, its switches reach the running program at once, its lamps
// follow the outputs, and what it holds survives a reset of the master.

#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <chrono>
#include <thread>

#include "GuiTest.h"
#include "app/gui/SimulatorForm.h"
#include "app/gui/StatusLine.h"
#include "sim/SimHarness.h"
#include "sim/SimMaster.h"

namespace {

// Lets the window's timers run until done() holds; false after two seconds.
bool WaitUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Host bytes straight into the master (no host has its line open).
void Send(sim::SimCore& c, const Bytes& bytes) {
    c.receive(bytes, c.now());
    c.advance(c.now());
    c.takeOutput();
}

// Servo 1, stepper 2, I/O 3; the program makes bits 1 to 4 of the I/O module
// outputs, waits for bit 5 (up to a minute), then lights bit 2 and stops.
struct Bench {
    SimMaster sim{[] {
        SimOptions o;
        o.moduleTypes = {0, 3, 2};
        o.paceBaud = 0;
        return o;
    }()};
    uint16_t waitAt = 0;

    Bench() {
        std::string error;
        EXPECT_TRUE(sim.start(error)) << error;
    }
    void loadAndRun() {
        ProgramBuilder p;
        p.add(Frame(3, 0x20, {0xF0, 0x0F}, 1));
        waitAt = p.here();
        p.add(WaitFor(Frame(3, 0x13, {0x01}, 3), 1, 0x10, 0x10, 6000), 14, "TIMEOUT");
        p.add(SetOutputs(3, true, 0x02, 0x00));
        p.add(StopProgram());
        p.label("TIMEOUT").add(StopProgram());
        Bytes image = Cat({LE16(unsigned(p.build().size() + 2)), p.build()});
        while (image.size() % 16) image.push_back(0);
        sim.withCore([&](sim::SimCore& c) {
            for (size_t off = 0; off < image.size(); off += 16) {
                Bytes args = Cat({LE16(unsigned(off)), {0x10}, Bytes(image.begin() + long(off), image.begin() + long(off) + 16)});
                args.push_back(Sum8(args));
                Send(c, {0x83});
                Send(c, args);
            }
            Send(c, {0x81, 0x02, 0x00});
        });
    }
    template <class F>
    auto look(F f) {
        decltype(f(std::declval<sim::SimCore&>())) result{};
        sim.withCore([&](sim::SimCore& c) { result = f(c); });
        return result;
    }
};

TEST(SimulatorWindow, OfferedOnlyWithTheBuiltInSimulatorAfterWatchAndByCtrlShiftM) {
    Bench b;
    Gui g;
    g.start();
    g.main.showSimulatorWindow();
    EXPECT_EQ(g.main.simulatorWindow(), nullptr) << "no simulator attached: no window";
    const QList<QAction*> before = g.main.moduleMenu()->actions();
    EXPECT_EQ(before[before.size() - 4]->objectName(), "Watch1");

    g.main.attachSimulator(&b.sim);
    const QList<QAction*> actions = g.main.moduleMenu()->actions();
    EXPECT_EQ(actions[actions.size() - 5]->objectName(), "Watch1");
    EXPECT_EQ(actions[actions.size() - 4]->objectName(), "LinkLog1");
    EXPECT_EQ(actions[actions.size() - 3]->objectName(), "Simulator1");
    EXPECT_EQ(actions[actions.size() - 3]->text(), "Simulator...");
    EXPECT_EQ(actions[actions.size() - 2]->objectName(), "Problems1");
    EXPECT_EQ(actions.back()->objectName(), "ReadFromMaster1");
    bool key = false;
    for (QShortcut* k : g.main.findChildren<QShortcut*>())
        key = key || k->key() == QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M);
    EXPECT_TRUE(key);
    actions[actions.size() - 3]->trigger();
    ASSERT_NE(g.main.simulatorWindow(), nullptr);
    EXPECT_TRUE(g.main.simulatorWindow()->isVisible());
    EXPECT_EQ(g.main.simulatorWindow()->windowTitle(), "Simulator");
    // The status line's menu offers it too, after Watch.
    auto* simEntry = g.main.findChild<QAction*>(QStringLiteral("Simulator2"));
    ASSERT_NE(simEntry, nullptr);
    EXPECT_TRUE(simEntry->isVisible());
    EXPECT_EQ(g.main.size(), QSize(634, 453 + kStatusLineHeight));
}

TEST(SimulatorWindow, ASwitchReachesTheRunningProgramAndTheLampsFollowTheOutputs) {
    Bench b;
    Gui g;
    g.start();
    g.main.attachSimulator(&b.sim);
    g.main.showSimulatorWindow();
    TSimulatorForm* w = g.main.simulatorWindow();
    ASSERT_NE(w, nullptr);
    auto* bit5 = w->findChild<QCheckBox*>("SimSwitch3_bit-5");
    auto* estop = w->findChild<QCheckBox*>("SimSwitch2_e-stop");
    auto* lamp2 = w->findChild<QLabel*>("SimLamp3_2");
    auto* lamp5 = w->findChild<QLabel*>("SimLamp3_5");
    ASSERT_TRUE(bit5 && estop && lamp2 && lamp5);
    EXPECT_EQ(w->findChild<QLabel*>("SimPosition1")->text(), "Position: 0");
    EXPECT_EQ(w->findChild<QCheckBox*>("SimSwitch1_bit-1"), nullptr) << "a servo has no switches";

    b.loadAndRun();
    // The program waits at its WaitFor, bit 2 dark.
    ASSERT_TRUE(WaitUntil([&] { return b.look([&](sim::SimCore& c) { return c.programAddress() == b.waitAt; }); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_TRUE(b.look([](sim::SimCore& c) { return c.running(); }));
    ASSERT_TRUE(WaitUntil([&] { return lamp2->toolTip() == "Output 2: low"; }));
    EXPECT_EQ(lamp5->toolTip(), "Bit 5 is an input");

    bit5->click();
    ASSERT_TRUE(WaitUntil([&] { return b.look([](sim::SimCore& c) { return c.statusA() == sim::kStoppedByProgram; }); }))
        << "the WaitFor went on";
    EXPECT_EQ(b.look([](sim::SimCore& c) { return int(c.io(3)->outputLatch()); }), 0x02);
    EXPECT_TRUE(WaitUntil([&] { return lamp2->toolTip() == "Output 2: high"; }));

    // The stepper's E-Stop is held, and stays held through a reset of the master.
    estop->click();
    EXPECT_EQ(b.look([](sim::SimCore& c) { return int(c.stepper(2)->externalInputs()); }), sim::StepperModule::EStop);
    b.sim.withCore([](sim::SimCore& c) { Send(c, {0x8F}); });
    w->refresh();
    EXPECT_TRUE(estop->isChecked());
    EXPECT_TRUE(bit5->isChecked());
    EXPECT_EQ(b.look([](sim::SimCore& c) { return int(c.stepper(2)->inputByte() & 0x01); }), 0x01);
    // After the reset every pin is an input again: no lamp is lit.
    EXPECT_EQ(lamp2->toolTip(), "Bit 2 is an input");
    estop->click();
    EXPECT_EQ(b.look([](sim::SimCore& c) { return int(c.stepper(2)->externalInputs()); }), 0);
}

}  // namespace

STEPWRIGHT_GUI_TEST_MAIN()
