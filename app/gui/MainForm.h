#pragma once
// The main window.  It owns the program-wide state and draws it: every control
// is a plain record in the state, and after every event the window copies all
// records into its widgets.  What the user types, checks or chooses goes into
// the records at once, and then the control's handler runs.

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/Form.h"
#include "app/Platform.h"
#include "app/gui/Binders.h"

struct MainState;
class EditHistory;
class QLabel;
class QMenu;
class QPushButton;
class QTimer;
class ListingWidget;
class ModuleListWidget;
class TComForm;
class TTerminalForm;
class TMessageForm;
class TStatForm;
class TWatchForm;
class TSimulatorForm;
class TProblemsForm;
class TDifferencesForm;
class TLinkLogForm;
class LinkLog;
class SimMaster;

// The windows the main window shows on demand.
struct SecondaryWindows {
    TComForm* com = nullptr;
    TTerminalForm* terminal = nullptr;
    TMessageForm* progress = nullptr;
    TStatForm* servoStat = nullptr;
    TStatForm* ioStat = nullptr;
    TStatForm* masterStat = nullptr;
    TStatForm* stepStat = nullptr;
};

class TMainForm : public QWidget {
    Q_OBJECT
public:
    explicit TMainForm(Platform& ui);
    ~TMainForm() override;

    MainState& state() { return *s_; }
    void attach(const SecondaryWindows& windows) { windows_ = windows; }
    const SecondaryWindows& windows() const { return windows_; }

    // Runs a handler of the core, then brings every window up to date.
    void run(const std::function<void(MainState&)>& handler);

    // Copies the state of every control, caption and window into the widgets
    // and mirrors the timers.
    void syncAll();
    // Called at the end of every syncAll, for what is drawn beyond the
    // controls' records (the status line).
    void addSyncHook(std::function<void()> hook) { syncHooks_.push_back(std::move(hook)); }
    // Starts or stops the two timers as the state says.
    void syncTimers();
    // Syncs and draws every shown window at once, before the caller blocks.
    void paintNow();
    // Fills, places and shows a module status window modally.
    void showStatusWindow(StatusWindow which);

    // The timers' handlers (the tests fire them without waiting).
    void fireStartTimer();
    void firePollTimer();
    // While a message box or question is open the timers do not tick (see
    // QtPlatform::message); held and released in pairs.
    void holdTicksForBox();
    void releaseTicksForBox();

    // Runs f, an exchange of the Watch window, between two poll ticks: only
    // while no handler, message box or drawing holds the thread and the poll
    // timer runs; false without running it otherwise.  f is told the
    // milliseconds left until the next poll tick, and returns whether it
    // changed what the windows show (they are synced only then).
    bool runBetweenTicks(const std::function<bool(MainState&, double msUntilPoll)>& f);
    // Shows the Watch window, created at its first use.
    void showWatchWindow();
    TWatchForm* watchWindow() const { return watch_; }
    // Shows the Problems window (the program check's findings, kept up to
    // date from the start so that the listing's tool tips carry them).
    void showProblemsWindow();
    // Lists the differing lines of the last comparison with the master.
    void showMasterDifferences();
    TDifferencesForm* differencesWindow() const { return differences_; }
    TProblemsForm* problemsWindow() const { return problems_; }
    // Shows the Link Log window, created at its first use; the log itself
    // records from the start.
    void showLinkLogWindow();
    TLinkLogForm* linkLogWindow() const { return linkLogForm_; }
    LinkLog& linkLog() { return *linkLog_; }
    // The built-in simulated master the window runs on (--simulator): its
    // Simulator window is then offered in the module list's menu and by
    // Ctrl+Shift+M.  Attached once, before the window is used.
    void attachSimulator(SimMaster* sim);
    // Shows the Simulator window, created at its first use; nothing without
    // a built-in simulated master.
    void showSimulatorWindow();
    TSimulatorForm* simulatorWindow() const { return simulator_; }

    // True once the window has closed for good.
    bool closed() const { return closed_; }

    // Undo and redo of the program's edits (app/EditHistory.h).
    EditHistory& history() { return *history_; }
    // Opens path through Open's unsaved-changes question once the start-up
    // timer has fired (at once when it has already).
    void openAfterStart(const std::string& path);

    QTimer* startTimerObject() const { return startTimer_; }
    QTimer* pollTimerObject() const { return pollTimer_; }
    QMenu* moduleMenu() const { return modEditPopup_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void build();
    void connectListing();
    void buildModuleMenu();
    void shutDown();
    void onFocusChanged(QWidget* old, QWidget* now);

    std::unique_ptr<LinkLog> linkLog_;   // every byte on the port, from the start
    std::unique_ptr<MainState> s_;
    std::unique_ptr<EditHistory> history_;
    std::string pendingFile_;
    std::vector<BoundControl> bindings_;
    std::vector<std::function<void()>> syncHooks_;
    SecondaryWindows windows_;
    ListingWidget* listing_ = nullptr;
    ModuleListWidget* moduleList_ = nullptr;
    QWidget* groupBox2_ = nullptr;
    QPushButton* commentButton_ = nullptr;
    QPushButton* addButton_ = nullptr;
    QMenu* modEditPopup_ = nullptr;
    QTimer* startTimer_ = nullptr;
    QTimer* pollTimer_ = nullptr;
    int ticksHeld_ = 0;      // > 0 while drawing: timer ticks wait
    int boxesOpen_ = 0;      // > 0 while a message box or question is open
    bool startDue_ = false;  // the start-up tick fell due while a box was open
    bool closed_ = false;
    int handlersRunning_ = 0;    // > 0 while a handler of the core runs
    TWatchForm* watch_ = nullptr;
    TLinkLogForm* linkLogForm_ = nullptr;
    SimMaster* sim_ = nullptr;
    TSimulatorForm* simulator_ = nullptr;
    TProblemsForm* problems_ = nullptr;
    TDifferencesForm* differences_ = nullptr;
};
