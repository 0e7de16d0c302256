// The desktop application: options, the windows, the message loop.
#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "app/MainState.h"
#include "app/gui/Application.h"
#include "app/gui/MainForm.h"
#include "app/gui/Preferences.h"
#include "app/gui/QtPlatform.h"
#ifdef STEPWRIGHT_HAVE_SIM
#include "sim/SimMaster.h"
#endif

namespace {

// Answers --help and --version; false when neither was asked.
bool PrintInformation(const StartOptions& options) {
    if (options.help) {
        std::fputs(kUsage, stdout);
        return true;
    }
    if (options.version) {
        std::printf("stepwright %s\n", STEPWRIGHT_VERSION);
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    // --help and --version answer before the window system is needed, so
    // that they work without a display.  A line Qt's own options would make
    // unreadable here is read again below, after Qt has taken them.
    {
        StartOptions early;
        if (ParseStartOptions(std::vector<std::string>(argv + 1, argv + argc), early).empty() &&
            PrintInformation(early))
            return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavo Stepwright"));
    QApplication::setDesktopFileName(QStringLiteral("stepwright"));
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/stepwright-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    QtPlatform ui;
    try {
        std::vector<std::string> args;
        const QStringList arguments = QApplication::arguments();
        for (qsizetype i = 1; i < arguments.size(); ++i) args.push_back(arguments[i].toLocal8Bit().toStdString());
        StartOptions options;
        const std::string error = ParseStartOptions(args, options);
        if (!error.empty()) {
            std::fprintf(stderr, "%s\n%s", error.c_str(), kUsage);
            ui.message(error);
            return 2;
        }
        if (PrintInformation(options)) return 0;

        std::string simulatorDevice;
#ifdef STEPWRIGHT_HAVE_SIM
        std::unique_ptr<SimMaster> simulator;
        if (options.simulator) {
            simulator = std::make_unique<SimMaster>();
            std::string why;
            if (!simulator->start(why)) {
                ui.message("The simulated master did not start: " + why);
                return 1;
            }
            simulatorDevice = simulator->devicePath();
        }
#else
        if (options.simulator) {
            ui.message("This build has no simulated master.");
            return 2;
        }
#endif

        StepwrightWindows windows(ui);
#ifdef STEPWRIGHT_HAVE_SIM
        windows.main().attachSimulator(simulator.get());
#endif
        ApplyPortMap(windows.main().state(), options, simulatorDevice);
        // With the simulated master its port is chosen, whatever opened last.
        Preferences::RememberComChoice(windows.main(), options.simulator ? kSimulatorComItem : -1);
        Preferences::RememberRecentFiles(windows.main());
        windows.main().syncAll();
        windows.main().show();
        if (!options.file.empty()) windows.main().openAfterStart(options.file);
        return app.exec();
    } catch (const std::exception& e) {
        ui.message(e.what());
        return 1;
    }
}
