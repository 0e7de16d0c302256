// The Watch window off-screen: opened from the module list's menu, traces
// added and removed, samples fetched between poll ticks only, exports written.

#include <QChartView>
#include <QCheckBox>
#include <QDir>
#include <QValueAxis>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QTemporaryDir>

#include "GuiTest.h"
#include "app/gui/StatusLine.h"
#include "ScriptedMaster.h"
#include "app/gui/WatchForm.h"
#include "link/Execution.h"
#include "modules/ModuleList.h"

namespace {

// The windows on line with a scripted master: servo 1, stepper 2, I/O 3.
struct Watching {
    Gui g;
    ScriptedMaster m{g.s};
    TWatchForm* watch = nullptr;

    Watching() {
        g.start();
        m.setModules({0, 3, 2});
        m.replyData = {0x08, 0xE8, 0x03, 0, 0, 0, 0, 0, 0, 0};   // power on, position 1000
        g.main.run([](MainState& s) {
            s.online = true;
            s.pollTimerOn = true;
            s.detectedTypes[1] = 0, s.detectedTypes[2] = 3, s.detectedTypes[3] = 2;
            AddServoModule1Click(s);
            AddStepModule1Click(s);
            AddIOModule1Click(s);
        });
        g.main.showWatchWindow();
        watch = g.main.watchWindow();
    }
    size_t samplesTaken() const {
        size_t n = 0;
        for (uint8_t c : m.commands()) n += c == 0x87;
        return n;
    }
};

TEST(WatchWindow, OpensFromTheModuleMenuAfterItsItemsAndByCtrlW) {
    Gui g;
    g.start();
    const QList<QAction*> actions = g.main.moduleMenu()->actions();
    ASSERT_GE(actions.size(), 7);
    EXPECT_EQ(actions[actions.size() - 3]->objectName(), "Cancel1");
    EXPECT_EQ(actions[actions.size() - 2]->objectName(), "Watch1");
    EXPECT_EQ(g.main.moduleMenu()->defaultAction()->objectName(), "Cancel1");
    bool ctrlW = false;
    for (QShortcut* key : g.main.findChildren<QShortcut*>())
        ctrlW = ctrlW || key->key() == QKeySequence(Qt::CTRL | Qt::Key_W);
    EXPECT_TRUE(ctrlW);
    EXPECT_EQ(g.main.watchWindow(), nullptr);
    actions[actions.size() - 2]->trigger();
    ASSERT_NE(g.main.watchWindow(), nullptr);
    EXPECT_TRUE(g.main.watchWindow()->isVisible());
    EXPECT_EQ(g.main.watchWindow()->objectName(), "WatchForm");
    // The main window keeps its size.
    EXPECT_EQ(g.main.size(), QSize(634, 453 + kStatusLineHeight));
}

TEST(WatchWindow, TicksAddAndRemoveTraces) {
    Watching w;
    auto* list = w.watch->findChild<QListWidget*>("WatchModuleList");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 4);   // the master and the three modules
    EXPECT_EQ(list->item(1)->text(), " 1 ZEL-SERVO");
    auto* pause = w.watch->findChild<QPushButton*>("WatchPauseButton");
    EXPECT_FALSE(pause->isEnabled()) << "nothing ticked: nothing to pause or resume";
    list->item(1)->setCheckState(Qt::Checked);
    EXPECT_TRUE(pause->isEnabled());
    EXPECT_EQ(pause->text(), "Pause");
    EXPECT_EQ(w.watch->traceNames(),
              QStringList({"1 Position", "1 Home Position", "1 Limit 1", "1 Limit 2", "1 Power"}));
    w.watch->setVelocity(true);
    EXPECT_EQ(w.watch->traceNames().mid(0, 3), QStringList({"1 Position", "1 Position velocity", "1 Home Position"}));
    w.watch->setWatched(3, true);
    EXPECT_EQ(w.watch->traceNames().size(), 6 + 12);
    EXPECT_EQ(w.watch->traceNames().back(), "3 Bit 12");
    EXPECT_EQ(w.watch->sampler().watched(), (std::vector<int>{1, 3}));
    list->item(1)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(w.watch->traceNames().size(), 12);
    EXPECT_EQ(w.watch->sampler().watched(), std::vector<int>{3});
    // A module taken out of the module list is no longer watched.
    w.g.main.run(ClearModuleList1Click);
    w.watch->redraw();
    EXPECT_EQ(list->count(), 1);
    EXPECT_TRUE(w.watch->sampler().watched().empty());
    EXPECT_TRUE(w.watch->traceNames().isEmpty());
}

TEST(WatchWindow, SamplesOnlyBetweenPollTicks) {
    Watching w;
    w.watch->setWatched(1, true);
    w.watch->sampleTick();
    ASSERT_EQ(w.samplesTaken(), 1u);
    EXPECT_EQ(w.watch->sampler().samples()[0].a, 1000);

    // Inside a handler (Step waits for its reply with the poll held off)
    // a sample tick fetches nothing.
    w.g.ui.onWait = [&] { w.watch->sampleTick(); };
    w.g.main.run([](MainState& s) {
        s.form.ProgExeGroup.enabled = true;
        StepButtonClick(s);
    });
    w.g.ui.onWait = nullptr;
    EXPECT_EQ(w.samplesTaken(), 1u);
    EXPECT_EQ(w.m.commands().back(), 0x86);

    // While a message box is open neither the poll nor the sampler runs.
    w.g.ui.boxOpenMs = 300;
    size_t atOpen = 0, duringBox = 0;
    w.g.ui.onBoxOpen = [&] { atOpen = w.m.commands().size(); };
    w.g.ui.onBoxClose = [&] { duringBox = w.m.commands().size() - atOpen; };
    w.m.silent = true;
    w.watch->sampler().start(Sampler::Clock::now());
    w.watch->sampleTick();
    EXPECT_EQ(w.g.ui.boxes, std::vector<std::string>{"Stepwright not responding"});
    EXPECT_EQ(duringBox, 0u);
    EXPECT_FALSE(w.watch->sampler().running());
    EXPECT_TRUE(w.watch->sampler().stoppedByLink());
    EXPECT_TRUE(w.watch->findChild<QLabel*>("WatchStatusLabel")->text().startsWith("Stopped"));
    EXPECT_EQ(w.watch->findChild<QPushButton*>("WatchPauseButton")->text(), "Resume");
}

TEST(WatchWindow, ExportsWriteCsvAndPng) {
    Watching w;
    w.watch->setWatched(1, true);
    w.watch->setWatched(3, true);
    // The window's own timers sample (and poll) until three rows are in.
    QElapsedTimer clock;
    clock.start();
    while (w.watch->sampler().rows() < 3 && clock.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    w.watch->findChild<QPushButton*>("WatchPauseButton")->click();
    ASSERT_EQ(w.watch->sampler().rows(), 3u);
    EXPECT_FALSE(w.watch->sampler().running());
    QTemporaryDir dir;
    const QString csv = dir.filePath("trace.csv"), png = dir.filePath("trace.png");
    w.watch->chooseFile = [&](const QString& filter) { return filter.startsWith("CSV") ? csv : png; };
    w.watch->findChild<QPushButton*>("WatchCsvButton")->click();
    w.watch->findChild<QPushButton*>("WatchPngButton")->click();
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);   // the header and three rows of two modules
    EXPECT_TRUE(lines[0].startsWith("time_ms,1 Position,1 Home Position,1 Limit 1,1 Limit 2,1 Power,3 Bit 1,"));
    EXPECT_EQ(lines[1].section(',', 1, 1), "1000");
    EXPECT_EQ(lines[1].section(',', 5, 5), "On");
    const QImage image(png);
    EXPECT_FALSE(image.isNull());
    EXPECT_GT(image.width(), 200);
    // An unwritable place is reported, not ignored.
    EXPECT_FALSE(w.watch->exportCsv(dir.filePath("missing/trace.csv")));
    ASSERT_FALSE(w.g.ui.boxes.empty());
    EXPECT_TRUE(QString::fromStdString(w.g.ui.boxes.back()).startsWith("Cannot write"));
    // Clear drops the samples.
    w.watch->findChild<QPushButton*>("WatchClearButton")->click();
    EXPECT_EQ(w.watch->sampler().samples().size(), 0u);
}

TEST(WatchWindow, ZoomPanAndADraggedStretch) {
    Watching w;
    auto click = [&](const char* name) { w.watch->findChild<QPushButton*>(name)->click(); };
    auto* follow = w.watch->findChild<QCheckBox*>("WatchFollowCheck");
    w.watch->setSpan(10);
    click("WatchZoomInButton");
    EXPECT_DOUBLE_EQ(w.watch->span(), 5);
    click("WatchZoomOutButton");
    click("WatchZoomOutButton");
    EXPECT_DOUBLE_EQ(w.watch->span(), 20);
    EXPECT_TRUE(follow->isChecked());
    click("WatchPanLeftButton");
    EXPECT_FALSE(follow->isChecked());
    // A stretch dragged across the chart becomes the window's span.
    auto* view = w.watch->findChild<QChartView*>("WatchValueChart");
    auto* axis = qobject_cast<QValueAxis*>(view->chart()->axes(Qt::Horizontal).first());
    w.watch->setFollowing(true);
    axis->setRange(2, 4);
    w.watch->redraw();
    EXPECT_DOUBLE_EQ(w.watch->span(), 2);
    EXPECT_FALSE(follow->isChecked());
    EXPECT_DOUBLE_EQ(axis->max(), 4);
}

}  // namespace

STEPWRIGHT_GUI_TEST_MAIN()
