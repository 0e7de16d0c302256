#pragma once
// Start-up: the command-line options and the eight windows, created in their
// fixed order with the main window first.

#include <memory>
#include <string>
#include <vector>

struct MainState;
class QtPlatform;
class TMainForm;
class TComForm;
class TTerminalForm;
class TMessageForm;
class TServoStatForm;
class TIoStatForm;
class TMasterStatForm;
class TStepStatForm;

struct StartOptions {
    std::vector<std::string> ports;  // the values of --port: "COM2=/dev/ttyUSB1"
    std::string file;                // a program file to open at start
    bool simulator = false;
    bool help = false;
    bool version = false;
};

extern const char* const kUsage;

// Reads the options after the program name.  Returns "" or what is wrong.
std::string ParseStartOptions(const std::vector<std::string>& args, StartOptions& out);

// The COM item the simulated master answers on (COM1).
constexpr int kSimulatorComItem = 0;

// The devices COM1 to COM6 stand for: the default mapping, then the --port
// options, then the simulated master on COM1 when one runs.
void ApplyPortMap(MainState& s, const StartOptions& options, const std::string& simulatorDevice);

class StepwrightWindows {
public:
    explicit StepwrightWindows(QtPlatform& ui);
    ~StepwrightWindows();
    StepwrightWindows(const StepwrightWindows&) = delete;
    StepwrightWindows& operator=(const StepwrightWindows&) = delete;

    TMainForm& main() { return *main_; }
    TComForm& com() { return *com_; }
    TTerminalForm& terminal() { return *terminal_; }
    TMessageForm& progress() { return *message_; }
    TServoStatForm& servoStat() { return *servoStat_; }
    TIoStatForm& ioStat() { return *ioStat_; }
    TMasterStatForm& masterStat() { return *masterStat_; }
    TStepStatForm& stepStat() { return *stepStat_; }

private:
    QtPlatform& ui_;
    std::unique_ptr<TMainForm> main_;
    std::unique_ptr<TComForm> com_;
    std::unique_ptr<TTerminalForm> terminal_;
    std::unique_ptr<TMessageForm> message_;
    std::unique_ptr<TServoStatForm> servoStat_;
    std::unique_ptr<TIoStatForm> ioStat_;
    std::unique_ptr<TMasterStatForm> masterStat_;
    std::unique_ptr<TStepStatForm> stepStat_;
};
