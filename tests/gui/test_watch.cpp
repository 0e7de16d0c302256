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
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTemporaryDir>
#include <QXYSeries>
#include <chrono>

#include "GuiTest.h"
#include "ScriptedMaster.h"
#include "app/Execution.h"
#include "app/gui/StatusLine.h"
#include "app/gui/WatchForm.h"
#include "app/ModuleListBox.h"
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
    ASSERT_GE(actions.size(), 10);
    EXPECT_EQ(actions[actions.size() - 5]->objectName(), "Cancel1");
    EXPECT_EQ(actions[actions.size() - 4]->objectName(), "Watch1");
    EXPECT_EQ(g.main.moduleMenu()->defaultAction()->objectName(), "Cancel1");
    bool ctrlW = false;
    for (QShortcut* key : g.main.findChildren<QShortcut*>())
        ctrlW = ctrlW || key->key() == QKeySequence(Qt::CTRL | Qt::Key_W);
    EXPECT_TRUE(ctrlW);
    EXPECT_EQ(g.main.watchWindow(), nullptr);
    actions[actions.size() - 4]->trigger();
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
    // A name chosen without an extension gets the file type's.
    const QString csv = dir.filePath("trace.csv"), png = dir.filePath("trace.png");
    w.watch->chooseFile = [&](const QString& filter) {
        return filter.startsWith("CSV") ? dir.filePath("trace") : png;
    };
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

// Where time t falls on a view's chart, in the view's pixels.
QPoint ViewPoint(QChartView* view, QXYSeries* series, double t) {
    return view->mapFromScene(view->chart()->mapToScene(view->chart()->mapToPosition(QPointF(t, 0), series)));
}

QXYSeries* SeriesNamed(QChartView* view, const QString& name) {
    for (QAbstractSeries* series : view->chart()->series())
        if (series->name() == name) return qobject_cast<QXYSeries*>(series);
    return nullptr;
}

TEST(WatchWindow, TimeAxesLineUpGapsStayOpenAndTheRunningProgramIsShaded) {
    Watching w;
    w.watch->resize(1000, 700);
    w.watch->setWatched(1, true);
    w.watch->setPaused(true);
    // Servo 1 climbs 100 counts a sample; samples every 100 ms from 0 to 5 s,
    // then none for 3.3 s, then on to 12 s; the program runs from 9 s on.
    int32_t position = 0;
    w.m.onExecute = [&](ScriptedMaster& master, const std::vector<uint8_t>&) {
        position += 100;
        master.replyData = {0x08, uint8_t(position), uint8_t(position >> 8), 0, 0, 0, 0, 0, 0, 0};
    };
    Sampler& sampler = w.watch->sampler();
    Sampler::Clock::time_point fake{};
    sampler.clock = [&fake] { return fake; };
    sampler.setIntervalMs(100);
    sampler.clear();
    sampler.start(fake);
    for (int ms = 0; ms <= 12000; ms += 100) {
        if (ms > 5000 && ms < 8300) continue;
        fake = Sampler::Clock::time_point{} + std::chrono::milliseconds(ms);
        w.g.s.status.statusB = ms >= 9000 ? 0x01 : 0x00;
        ASSERT_EQ(sampler.step(w.g.s, fake, -1), Sampler::Step::Sampled) << ms;
    }
    w.watch->setSpan(30);
    QApplication::processEvents();
    w.watch->redraw();

    auto* valueView = w.watch->findChild<QChartView*>("WatchValueChart");
    auto* bitView = w.watch->findChild<QChartView*>("WatchBitChart");
    QXYSeries* positionLine = SeriesNamed(valueView, "1 Position");
    QXYSeries* powerLine = SeriesNamed(bitView, "1 Power");
    ASSERT_TRUE(positionLine && powerLine);
    for (double t : {0.0, 15.0, 30.0})
        EXPECT_NEAR(valueView->mapTo(w.watch, ViewPoint(valueView, positionLine, t)).x(),
                    bitView->mapTo(w.watch, ViewPoint(bitView, powerLine, t)).x(), 1) << t;

    // A column through the samples crosses each trace; one through the gap,
    // or after the last sample, crosses none.  The program's stretch is shaded.
    struct Column { double t; bool drawn, shaded; } const columns[] = {{2.5, true, false}, {6.65, false, false}, {10.5, true, true}, {14.0, false, false}};
    for (auto [view, series] : {std::pair{valueView, positionLine}, std::pair{bitView, powerLine}}) {
        const QImage image = view->viewport()->grab().toImage();
        const QRgb trace = series->pen().color().rgb() & 0xFFFFFF;
        const QRectF area = view->chart()->plotArea();
        for (const Column& c : columns) {
            const int x = ViewPoint(view, series, c.t).x();
            int hits = 0;
            for (int y = int(area.top()) + 1; y < int(area.bottom()); ++y) hits += (image.pixel(x, y) & 0xFFFFFF) == trace;
            EXPECT_EQ(hits > 0, c.drawn) << series->name().toStdString() << " at " << c.t << " s";
            const QColor shade(image.pixel(x, int(area.top()) + 3));
            EXPECT_EQ(shade.red() > shade.blue() + 20, c.shaded) << "amber at " << c.t << " s";
        }
    }
}

TEST(WatchWindow, KeysActWhateverHasTheFocusAndOnlyWhileStoppedWaits) {
    Watching w;
    auto* list = w.watch->findChild<QListWidget*>("WatchModuleList");
    auto* csv = w.watch->findChild<QPushButton*>("WatchCsvButton");
    auto* follow = w.watch->findChild<QCheckBox*>("WatchFollowCheck");
    int dialogs = 0;
    w.watch->chooseFile = [&](const QString&) { return ++dialogs, QString(); };
    list->item(1)->setCheckState(Qt::Checked);
    list->setCurrentRow(1);
    w.watch->setSpan(10);
    struct Case { QWidget* target; int key; bool paused; double span; bool following; } const cases[] = {
        {list, Qt::Key_Space, true, 10, true},    // pauses; the module stays ticked
        {csv, Qt::Key_Space, false, 10, true},    // resumes; no file dialog
        {csv, Qt::Key_Plus, false, 5, true},
        {list, Qt::Key_Minus, false, 10, true},
        {csv, Qt::Key_Left, false, 10, false},    // pans back in time
        {follow, Qt::Key_Space, true, 10, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target->objectName().toStdString() + " " + std::to_string(c.key));
        pressKey(c.target, c.key);
        EXPECT_EQ(!w.watch->sampler().running(), c.paused);
        EXPECT_DOUBLE_EQ(w.watch->span(), c.span);
        EXPECT_EQ(follow->isChecked(), c.following);
        EXPECT_EQ(list->item(1)->checkState(), Qt::Checked);
    }
    EXPECT_EQ(dialogs, 0);
    // Enter ticks and unticks the module list's current module.
    pressKey(list, Qt::Key_Return);
    EXPECT_TRUE(w.watch->sampler().watched().empty());
    pressKey(list, Qt::Key_Return);
    EXPECT_EQ(w.watch->sampler().watched(), std::vector<int>{1});

    // Only while stopped: nothing is fetched while the program runs; a sample
    // that collects printed characters shows them in the terminal.
    w.watch->setPaused(false);
    w.watch->findChild<QCheckBox*>("WatchOnlyStoppedCheck")->click();
    w.g.s.status.statusB = 0x01;
    const size_t taken = w.samplesTaken();
    w.watch->sampleTick();
    EXPECT_EQ(w.samplesTaken(), taken);
    EXPECT_TRUE(w.watch->findChild<QLabel*>("WatchStatusLabel")->text().startsWith("Waiting: the program is running"));
    w.g.s.status.statusB = 0x00;
    w.m.send({'H', 'i'});
    w.watch->sampler().start(Sampler::Clock::now());
    w.watch->sampleTick();
    EXPECT_EQ(w.samplesTaken(), taken + 1);
    QString terminal;
    for (QWidget* top : QApplication::topLevelWidgets())
        for (auto* memo : top->findChildren<QPlainTextEdit*>("TerminalMemo")) terminal += memo->toPlainText();
    EXPECT_TRUE(terminal.contains("Hi")) << terminal.toStdString();
}

}  // namespace

STEPWRIGHT_GUI_TEST_MAIN()
