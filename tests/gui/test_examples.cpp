// Every program of examples/, both forms, as a user meets it: the window
// started with the simulated master of --simulator, the example opened with
// Open, loaded with Load and started with Run, with no refusal on the way.
#include <QPushButton>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "GuiTest.h"
#include "app/gui/SecondaryForms.h"
#include "sim/SimMaster.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> ExampleFiles() {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(STEPWRIGHT_EXAMPLES))
        if (entry.path().extension() == ".stw" || entry.path().extension() == ".sws") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(Examples, EachOpensLoadsAndRunsOnTheSimulatedMaster) {
    const std::vector<std::string> files = ExampleFiles();
    ASSERT_GE(files.size(), 14u);
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        // The master --simulator starts, with its own network; unpaced.
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

        g.ui.fileNames = {file};
        g.w<QPushButton>("OpenButton")->click();
        ASSERT_GT(g.s.lineCount, 0);
        g.w<QPushButton>("DownloadButton")->click();
        ASSERT_TRUE(g.w("RunButton")->isEnabled());
        g.w<QPushButton>("RunButton")->click();
        bool green = false;
        for (int i = 0; i < 20 && !green; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            g.main.firePollTimer();
            green = g.s.form.RunLEDShape.color == kGreen;
        }
        EXPECT_TRUE(green) << "the running light never turned green";
        EXPECT_EQ(g.ui.boxes, (std::vector<std::string>{"4 module(s) found", "Download complete"}));
        g.w<QPushButton>("StopButton")->click();
        sim.stop();
    }
}

}  // namespace

STEPWRIGHT_GUI_TEST_MAIN()
