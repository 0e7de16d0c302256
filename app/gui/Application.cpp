#include "app/gui/Application.h"

#include "app/MainState.h"
#include "app/gui/MainForm.h"
#include "app/gui/QtPlatform.h"
#include "app/gui/SecondaryForms.h"
#include "link/Sio.h"

const char* const kUsage =
    "Usage: stepwright [--port COMn=DEVICE]... [--simulator] [FILE]\n"
    "  FILE                a program (.stw or .sws) to open once the window is up\n"
    "  --port COMn=DEVICE  let COMn (n from 1 to 6) stand for the serial device DEVICE\n"
    "  --simulator         run a simulated Stepwright master on COM1\n"
    "  -h, --help          show this text and exit\n"
    "  --version           show the version and exit\n"
    "Qt's own options, such as -platform NAME or -style NAME, are taken as well.\n"
    "\n"
    "Exit codes:\n"
    "  0  the window was closed (or --help, --version)\n"
    "  1  the simulated master did not start, or an error ended the program\n"
    "  2  usage error (an unknown option, a second file)\n"
    "\n"
    "Examples:\n"
    "  stepwright --simulator examples/demo.stw\n"
    "  stepwright --port COM1=/dev/ttyUSB0 prog.stw\n";

std::string ParseStartOptions(const std::vector<std::string>& args, StartOptions& out) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--simulator") {
            out.simulator = true;
        } else if (arg == "--help" || arg == "-h") {
            out.help = true;
        } else if (arg == "--version") {
            out.version = true;
        } else if (arg == "--port" || arg.rfind("--port=", 0) == 0) {
            std::string value;
            if (arg == "--port") {
                if (i + 1 >= args.size()) return "--port needs a value: COMn=DEVICE";
                value = args[++i];
            } else {
                value = arg.substr(7);
            }
            std::string devices[6];
            std::string error;
            if (!ParsePortOption(value, devices, error)) return error;
            out.ports.push_back(value);
        } else if (!arg.empty() && arg[0] != '-' && out.file.empty()) {
            out.file = arg;
        } else if (!arg.empty() && arg[0] != '-') {
            return "Only one program file can be opened: '" + arg + "'";
        } else {
            return "Unknown option '" + arg + "'";
        }
    }
    return std::string();
}

void ApplyPortMap(MainState& s, const StartOptions& options, const std::string& simulatorDevice) {
    DefaultPortMap(s.portDevice);
    std::string error;
    for (const std::string& port : options.ports) ParsePortOption(port, s.portDevice, error);
    if (!simulatorDevice.empty()) s.portDevice[kSimulatorComItem] = simulatorDevice;
}

StepwrightWindows::StepwrightWindows(QtPlatform& ui) : ui_(ui) {
    main_ = std::make_unique<TMainForm>(ui);
    ui.attach(main_.get());
    MainState& s = main_->state();
    com_ = std::make_unique<TComForm>(*main_);
    terminal_ = std::make_unique<TTerminalForm>(*main_);
    message_ = std::make_unique<TMessageForm>(*main_);
    servoStat_ = std::make_unique<TServoStatForm>(s.statusForms.servo);
    ioStat_ = std::make_unique<TIoStatForm>(s.statusForms.io);
    masterStat_ = std::make_unique<TMasterStatForm>(s.statusForms.master);
    stepStat_ = std::make_unique<TStepStatForm>(s.statusForms.stepper);
    SecondaryWindows w;
    w.com = com_.get();
    w.terminal = terminal_.get();
    w.progress = message_.get();
    w.servoStat = servoStat_.get();
    w.ioStat = ioStat_.get();
    w.masterStat = masterStat_.get();
    w.stepStat = stepStat_.get();
    main_->attach(w);
    main_->syncAll();
}

StepwrightWindows::~StepwrightWindows() {
    main_->attach(SecondaryWindows());
    ui_.attach(nullptr);
}
