#include "app/gui/MainForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTimer>
#include <QWindow>
#include <map>
#include <stdexcept>
#include <utility>

#include "app/ComSettings.h"
#include "app/DownloadButtons.h"
#include "app/Execution.h"
#include "app/Lifecycle.h"
#include "app/MainState.h"
#include "app/MasterProgram.h"
#include "app/PollTimer.h"
#include "app/Terminal.h"
#include "app/gui/Binders.h"
#include "app/gui/Latin1.h"
#include "app/gui/LinkLogForm.h"
#include "app/gui/DifferencesForm.h"
#include "app/gui/ProblemsForm.h"
#include "app/gui/SecondaryForms.h"
#include "app/gui/SimulatorForm.h"
#include "app/gui/WatchForm.h"
#include "app/gui/Widgets.h"
#include "app/gui/WindowExtras.h"
#include "app/panels/Io.h"
#include "app/panels/Master.h"
#include "app/panels/Servo.h"
#include "app/panels/Stepper.h"
#include "link/Download.h"
#include "link/LinkLog.h"
#include "link/Polling.h"
#include "link/Upload.h"
#include "app/ModuleListBox.h"
#include "modules/StatusWindows.h"
#include "app/StatusForms.h"
#include "app/Editing.h"
#include "app/Files.h"
#include "app/EditHistory.h"

namespace {

using Handler = void (*)(MainState&);

struct MenuItem {
    const char* name;
    const char* caption;
    Handler handler;  // nullptr: only closes the menu
};

const MenuItem kModuleMenu[] = {
    {"AddServoModule1", "Add Servo Module", AddServoModule1Click},
    {"AddStepModule1", "Add Stepper Module", AddStepModule1Click},
    {"AddIOModule1", "Add I/O Module", AddIOModule1Click},
    {"ClearModuleList1", "Clear Module List", ClearModuleList1Click},
    {"UseDetectedModules1", "Use Detected Modules", UseDetectedModules1Click},
    {"Cancel1", "Cancel", nullptr},
};

bool isInside(const QWidget* w, const QWidget* ancestor) {
    for (; w; w = w->parentWidget())
        if (w == ancestor) return true;
    return false;
}

}  // namespace

TMainForm::TMainForm(Platform& ui)
    : QWidget(nullptr), linkLog_(std::make_unique<LinkLog>()), s_(std::make_unique<MainState>(ui)) {
    setObjectName(QStringLiteral("MainForm"));
    s_->linkLog = linkLog_.get();
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(StepwrightFont());
    // Opens at the designed size; it may grow (the listing takes the room)
    // but never shrinks below it.
    setMinimumSize(634, 453);
    resize(634, 453);
    build();
    history_ = std::make_unique<EditHistory>(*s_);
    InstallWindowExtras(*this);

    startTimer_ = new QTimer(this);
    startTimer_->setObjectName(QStringLiteral("StartTimer"));
    startTimer_->setSingleShot(true);
    startTimer_->setInterval(500);
    // Precise timers never fire early: the intervals are lower bounds.
    startTimer_->setTimerType(Qt::PreciseTimer);
    connect(startTimer_, &QTimer::timeout, this, &TMainForm::fireStartTimer);

    pollTimer_ = new QTimer(this);
    pollTimer_->setObjectName(QStringLiteral("PollTimer"));
    pollTimer_->setInterval(250);
    pollTimer_->setTimerType(Qt::PreciseTimer);
    connect(pollTimer_, &QTimer::timeout, this, &TMainForm::firePollTimer);

    connect(qApp, &QApplication::focusChanged, this, &TMainForm::onFocusChanged);
    auto* watchKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), this);
    connect(watchKey, &QShortcut::activated, this, &TMainForm::showWatchWindow);
    // After every detection: does the master hold the open program?  (Only
    // the length, and images up to 1 KB whole; never while a program runs.)
    s_->afterDetection = [this] { CompareWithMaster(*s_, false); };

    problems_ = new TProblemsForm(*this);
    syncAll();
    CentreOnScreen(this);
    if (s_->startTimerOn) startTimer_->start();
}

TMainForm::~TMainForm() {
    closed_ = true;
    // The widgets go before the state they mirror.
    listing_->detach();
    const auto children = findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    qDeleteAll(children);
}

void TMainForm::build() {
    std::map<std::string, Ctl*> records;
    for (const CtlRef& ref : s_->form.controls()) records[ref.name] = ref.ctl;

    QHash<QString, QWidget*> widgets;
    widgets.insert(QString(), this);
    for (const ControlDesc& d : MainFormControls()) {
        QWidget* parent = widgets.value(QLatin1String(d.parent));
        if (!parent) throw std::logic_error(std::string("no parent for ") + d.name);
        QWidget* w = nullptr;
        if (d.options & kNoRecord) {
            // The program listing: drawn from the core's Listing item by item.
            listing_ = new ListingWidget(parent, s_->listing);
            listing_->setFont(FixedPitchFont(12));
            PlaceControl(d, listing_);
            w = listing_;
        } else {
            auto it = records.find(d.name);
            if (it == records.end()) throw std::logic_error(std::string("no control state for ") + d.name);
            w = CreateControl(d, parent);
            bindings_.push_back({&d, &BinderFor(d.kind), it->second, w});
        }
        widgets.insert(QLatin1String(d.name), w);
    }

    for (BoundControl& b : bindings_) {
        if (!b.desc->buddy) continue;
        auto* l = qobject_cast<QLabel*>(b.widget);
        b.buddy = widgets.value(QLatin1String(b.desc->buddy));
        if (!l || !b.buddy) throw std::logic_error(std::string("bad label pair ") + b.desc->name);
        l->setBuddy(b.buddy);
    }

    groupBox2_ = widgets.value(QStringLiteral("GroupBox2"));
    commentButton_ = qobject_cast<QPushButton*>(widgets.value(QStringLiteral("CommentButton")));
    addButton_ = qobject_cast<QPushButton*>(widgets.value(QStringLiteral("AddInstrButton")));
    moduleList_ = qobject_cast<ModuleListWidget*>(widgets.value(QStringLiteral("ModuleListBox")));

    for (const BoundControl& b : bindings_) {
        SyncControl(b, true);
        b.binder->connect(b, *this);
    }
    // The edits beside radio items are named by their items, and stand on the
    // items' rows wherever the group's frame puts them.
    for (const BoundControl& b : bindings_) {
        const ControlDesc::Beside& beside = b.desc->beside;
        auto* group = beside.group ? qobject_cast<RadioGroup*>(widgets.value(QLatin1String(beside.group))) : nullptr;
        if (!group) continue;
        const Ctl* groupCtl = records.at(beside.group);
        if (size_t(beside.item) < groupCtl->items.size())
            b.widget->setAccessibleName(accessibleFromCaption(groupCtl->items[size_t(beside.item)]));
        QWidget* edit = b.widget;
        const int item = beside.item;
        auto place = [group, edit, item] {
            if (item >= group->count()) return;
            const QRect row = group->itemRect(item);
            edit->setGeometry(group->x() + 90, row.y(), group->width() - 94, row.height());
        };
        place();
        connect(group, &RadioGroup::arranged, this, place);
    }

    connectListing();
    buildModuleMenu();
}

void TMainForm::connectListing() {
    connect(listing_, &ListingWidget::userPressed, this, [this](bool ctrl) {
        run([ctrl](MainState& s) {
            ProgramListBoxClick(s);
            ProgramListBoxMouseDown(s, ctrl);
        });
    });
    connect(listing_, &ListingWidget::userMoved, this, [this] { run(ProgramListBoxClick); });
}

void TMainForm::buildModuleMenu() {
    modEditPopup_ = new QMenu(this);
    modEditPopup_->setObjectName(QStringLiteral("ModEditPopup"));
    for (const MenuItem& item : kModuleMenu) {
        QAction* action = modEditPopup_->addAction(QLatin1String(item.caption));
        action->setObjectName(QLatin1String(item.name));
        if (Handler h = item.handler)
            connect(action, &QAction::triggered, this, [this, h] { run(h); });
        else
            modEditPopup_->setDefaultAction(action);
    }
    // After the list's own items: the Watch window (also Ctrl+W).
    QAction* watch = modEditPopup_->addAction(QStringLiteral("Watch..."));
    watch->setObjectName(QStringLiteral("Watch1"));
    watch->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    connect(watch, &QAction::triggered, this, &TMainForm::showWatchWindow);
    // The Link Log window (also Ctrl+Shift+L).
    QAction* linkLog = modEditPopup_->addAction(QStringLiteral("Link Log..."));
    linkLog->setObjectName(QStringLiteral("LinkLog1"));
    linkLog->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
    connect(linkLog, &QAction::triggered, this, &TMainForm::showLinkLogWindow);
    // The Problems window (also Ctrl+Shift+P).
    QAction* problems = modEditPopup_->addAction(QStringLiteral("Problems..."));
    problems->setObjectName(QStringLiteral("Problems1"));
    problems->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    connect(problems, &QAction::triggered, this, &TMainForm::showProblemsWindow);
    // Then: the program in the master read back as a new program.
    QAction* read = modEditPopup_->addAction(QStringLiteral("Read from master..."));
    read->setObjectName(QStringLiteral("ReadFromMaster1"));
    read->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    connect(read, &QAction::triggered, this, [this] { run(ReadFromMaster1Click); });
}

void TMainForm::run(const std::function<void(MainState&)>& handler) {
    if (closed_) return;
    struct Running {
        int& n;
        explicit Running(int& count) : n(count) { ++n; }
        ~Running() { --n; }
    } running(handlersRunning_);
    try {
        handler(*s_);
        // Cut and Copy act on one block: no handler may leave a gap in it.
        KeepSelectionOneBlock(*s_);
        history_->Record(*s_);
    } catch (const std::exception& e) {
        s_->message(e.what());
    }
    syncAll();
}

void TMainForm::syncAll() {
    if (closed_) return;
    for (const BoundControl& b : bindings_) SyncControl(b, false);
    const bool commentDefault = s_->form.commentIsDefault;
    commentButton_->setDefault(commentDefault);
    addButton_->setDefault(!commentDefault);
    listing_->applyPendingTop();
    // The caption names a file: its bytes are shown in the file system's encoding.
    const QString title = QFile::decodeName(QByteArray::fromStdString(s_->form.caption));
    if (windowTitle() != title) setWindowTitle(title);
    if (windows_.com) windows_.com->sync(*s_);
    if (windows_.terminal) windows_.terminal->sync(*s_);
    if (windows_.progress) windows_.progress->sync(*s_);
    for (const auto& hook : syncHooks_) hook();
    syncTimers();
}

void TMainForm::syncTimers() {
    if (!s_->startTimerOn && startTimer_->isActive()) startTimer_->stop();
    if (s_->pollTimerOn && !closed_ && boxesOpen_ == 0) {
        if (!pollTimer_->isActive()) pollTimer_->start();
    } else if (pollTimer_->isActive()) {
        pollTimer_->stop();
    }
}

void TMainForm::paintNow() {
    syncAll();
    // Let the window system show what was just opened, then draw everything;
    // timer ticks that fall due meanwhile wait until the caller is done.
    ++ticksHeld_;
    QList<QWidget*> shown;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && !w->isMinimized()) shown.append(w);
    auto unexposed = [&shown] {
        for (QWidget* w : shown)
            if (w->windowHandle() && !w->windowHandle()->isExposed()) return true;
        return false;
    };
    QElapsedTimer clock;
    clock.start();
    do {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    } while (unexposed() && clock.elapsed() < 300);
    for (QWidget* w : shown) w->repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    --ticksHeld_;
}

void TMainForm::showStatusWindow(StatusWindow which) {
    TStatForm* form = nullptr;
    const StatusFormState* state = nullptr;
    switch (which) {
        case StatusWindow::Servo: form = windows_.servoStat, state = &s_->statusForms.servo; break;
        case StatusWindow::Stepper: form = windows_.stepStat, state = &s_->statusForms.stepper; break;
        case StatusWindow::Io: form = windows_.ioStat, state = &s_->statusForms.io; break;
        case StatusWindow::Master: form = windows_.masterStat, state = &s_->statusForms.master; break;
    }
    if (!form || closed_) return;
    syncAll();
    form->fill(*state);
    form->move(frameGeometry().topLeft() + QPoint(105, 30));
    form->exec();
}

bool TMainForm::runBetweenTicks(const std::function<bool(MainState&, double)>& f) {
    if (closed_ || handlersRunning_ || ticksHeld_ || boxesOpen_ || !s_->pollTimerOn || !pollTimer_->isActive())
        return false;
    const double left = pollTimer_->remainingTime();
    // A sample edits nothing of the program and, as a rule, changes nothing
    // the windows show: they are brought up to date only when it says so.
    bool changed = false;
    ++handlersRunning_;
    try {
        changed = f(*s_, left);
    } catch (const std::exception& e) {
        s_->message(e.what());
        changed = true;
    }
    --handlersRunning_;
    if (changed) syncAll();
    return true;
}

void TMainForm::showWatchWindow() {
    if (closed_) return;
    if (!watch_) watch_ = new TWatchForm(*this);
    watch_->show();
    watch_->raise();
    watch_->activateWindow();
}

void TMainForm::showProblemsWindow() {
    if (closed_ || !problems_) return;
    problems_->show();
    problems_->raise();
    problems_->activateWindow();
}

void TMainForm::showMasterDifferences() {
    if (closed_) return;
    if (!differences_) differences_ = new TDifferencesForm(*this);
    differences_->fill();
    differences_->show();
    differences_->raise();
}

void TMainForm::showLinkLogWindow() {
    if (closed_) return;
    if (!linkLogForm_) linkLogForm_ = new TLinkLogForm(*this, *linkLog_);
    linkLogForm_->show();
    linkLogForm_->raise();
    linkLogForm_->activateWindow();
}

void TMainForm::attachSimulator(SimMaster* sim) {
#ifdef STEPWRIGHT_HAVE_SIM
    if (!sim || sim_ || closed_) return;
    sim_ = sim;
    // After Watch: the Simulator window (also Ctrl+Shift+M); Problems stays last.
    QAction* action = new QAction(QStringLiteral("Simulator..."), modEditPopup_);
    modEditPopup_->insertAction(findChild<QAction*>(QStringLiteral("Problems1")), action);
    action->setObjectName(QStringLiteral("Simulator1"));
    action->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
    connect(action, &QAction::triggered, this, &TMainForm::showSimulatorWindow);
    auto* key = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M), this);
    key->setObjectName(QStringLiteral("SimulatorKey"));
    connect(key, &QShortcut::activated, this, &TMainForm::showSimulatorWindow);
    if (auto* entry = findChild<QAction*>(QStringLiteral("Simulator2"))) entry->setVisible(true);
#else
    (void)sim;
#endif
}

void TMainForm::showSimulatorWindow() {
    if (closed_ || !sim_) return;
    if (!simulator_) simulator_ = new TSimulatorForm(this, *sim_);
    simulator_->show();
    simulator_->raise();
    simulator_->activateWindow();
}

void TMainForm::fireStartTimer() {
    if (boxesOpen_) {
        startDue_ = true;
        return;
    }
    if (ticksHeld_) {
        startTimer_->start(10);
        return;
    }
    run(StartTimerTimer);
    if (!pendingFile_.empty()) openAfterStart(std::exchange(pendingFile_, std::string()));
}

void TMainForm::openAfterStart(const std::string& path) {
    if (s_->startTimerOn) {
        pendingFile_ = path;
        return;
    }
    run([path](MainState& s) { OpenGivenFile(s, path); });
    // Opening fills the main window, which may come up over the settings
    // dialog the start-up timer has just shown: that dialog stays in front.
    if (windows_.com && windows_.com->isVisible()) {
        windows_.com->raise();
        windows_.com->activateWindow();
    }
}

void TMainForm::firePollTimer() {
    if (ticksHeld_ || boxesOpen_ || closed_) return;
    run(PollTimerTimer);
    // The interval counts from the end of the tick.
    if (!closed_ && s_->pollTimerOn) pollTimer_->start();
}

void TMainForm::holdTicksForBox() {
    if (boxesOpen_++ == 0) pollTimer_->stop();
}

void TMainForm::releaseTicksForBox() {
    if (boxesOpen_ == 0 || --boxesOpen_ > 0) return;
    // The poll timer starts again when the handler that showed the box ends
    // (TMainForm::run), so its interval counts from there.  A start-up tick
    // that fell due meanwhile runs from the event loop, not inside that handler.
    if (startDue_ && !closed_) {
        startDue_ = false;
        startTimer_->start(0);
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (closed_) {
        event->accept();
        return;
    }
    bool mayClose = false;
    try {
        mayClose = FormCloseQuery(*s_);
    } catch (const std::exception& e) {
        s_->message(e.what());
    }
    if (!mayClose) {
        event->ignore();
        syncAll();
        return;
    }
    event->accept();
    shutDown();
}

void TMainForm::shutDown() {
    closed_ = true;
    startTimer_->stop();
    pollTimer_->stop();
    if (watch_) watch_->hide();
    if (simulator_) simulator_->hide();
    for (QWidget* w : std::initializer_list<QWidget*>{windows_.com, windows_.terminal, windows_.progress})
        if (w) w->hide();
    QCoreApplication::quit();
}

void TMainForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Enter presses the builder's default button wherever the focus is.
        QPushButton* button = s_->form.commentIsDefault ? commentButton_ : addButton_;
        if (button->isEnabled() && button->isVisible()) button->click();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TMainForm::onFocusChanged(QWidget* old, QWidget* now) {
    if (closed_ || !now || now->window() != this || !isInside(now, groupBox2_)) return;
    if (old && old->window() == this && isInside(old, groupBox2_)) return;
    if (!old || old->window() != this) return;  // the window itself was activated
    run(GroupBox2Enter);
}
