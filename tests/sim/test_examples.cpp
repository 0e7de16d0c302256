// Every program of examples/ opened as the window opens it, assembled,
// downloaded into the simulated master's own network, and run to its
// StopProgram: what it prints, and the keys and inputs a person would give it
// on the way.  And every file of the folder downloaded and started by
// stepwright-cli on a simulated master of its own, its module list checked.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "CliRunner.h"
#include "SimHarness.h"
#include "TestPlatform.h"
#include "app/Editing.h"
#include "app/MainState.h"
#include "program/Assembly.h"
#include "app/Files.h"

namespace {

// Something a person does once the program has printed cue for the n-th time.
struct Stimulus {
    std::string cue;
    int occurrence;
    std::function<void(Harness&)> act;
};

struct Example {
    const char* file;
    std::vector<Stimulus> stimuli;
    std::string printed;             // everything it prints, in order
    std::function<void(Harness&)> check;  // the state it leaves behind
};

int Occurrences(const std::string& text, const std::string& cue) {
    int n = 0;
    for (size_t at = text.find(cue); at != std::string::npos; at = text.find(cue, at + 1)) ++n;
    return n;
}

std::function<void(Harness&)> Key(char key) {
    return [key](Harness& h) { h.send({uint8_t(key)}); };
}

std::function<void(Harness&)> IoInputs(uint16_t levels) {
    return [levels](Harness& h) { h.core->io(3)->setExternalLevels(levels); };
}

const std::string kMenu = "1 Hello\r\n2 Count\r\nq Quit\r\n";

std::vector<Example> Examples() {
    return {
        {"servo_moves.stw", {}, "Homed\r\n" + std::string("At 4000\r\nAt 0\r\n") + "At 4000\r\nAt 0\r\n" +
                                    "At 4000\r\nAt 0\r\nDone\r\n",
         [](Harness& h) {
             EXPECT_NEAR(h.core->servo(1)->position(), 0, 5) << "back at home";
             EXPECT_FALSE(h.core->servo(1)->amplifierOn() && h.core->servo(1)->velocity() != 0);
         }},
        {"stepper_limits.stw", {}, "At 5000\r\nLimit 1\r\nDone\r\n",
         [](Harness& h) {
             EXPECT_EQ(h.core->stepper(4)->position(), 1000);
             EXPECT_EQ(h.core->stepper(4)->speedFactor(), 1);
         }},
        {"io_wait.stw",
         {{"Press bit 5", 1, IoInputs(0x10)},
          {"Pressed", 1,
           [](Harness& h) {
               EXPECT_EQ(h.core->io(3)->outputLatch() & 0x0F, 0x02) << "bit 2 lit while pressed";
               EXPECT_EQ(h.core->io(3)->pwm(0), 128);
               h.core->io(3)->setExternalLevels(0);
           }}},
         "Press bit 5\r\nPressed\r\nReleased\r\n",
         [](Harness& h) {
             EXPECT_EQ(h.core->io(3)->directions(), 0x0FF0) << "bits 1 to 4 are outputs";
             EXPECT_EQ(h.core->io(3)->outputLatch() & 0x0F, 0) << "all outputs off at the end";
         }},
        {"subroutines.stw", {}, "Pass\r\nPass\r\nLast pass\r\nDone\r\n",
         [](Harness& h) { EXPECT_EQ(h.core->callDepth(), 0); }},
        {"key_menu.stw",
         {{"q Quit", 1, Key('1')}, {"q Quit", 2, Key('2')}, {"q Quit", 3, Key('x')}, {"q Quit", 4, Key('q')}},
         kMenu + "Hello\r\n" + kMenu + "Tick\r\nTick\r\nTick\r\n" + kMenu + "?\r\n" + kMenu + "Bye\r\n",
         [](Harness& h) { EXPECT_EQ(h.core->counter(1), 0); }},
    };
}

TEST(Examples, EachRunsOnTheSimulatedMasterToItsStop) {
    for (const Example& ex : Examples()) {
        SCOPED_TRACE(ex.file);
        TestPlatform ui;
        auto s = std::make_unique<MainState>(ui);
        ASSERT_TRUE(OpenProgramFile(*s, std::string(STEPWRIGHT_EXAMPLES) + "/" + ex.file));
        ASSERT_EQ(AssembleProgram(*s), 0);
        EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();
        ASSERT_TRUE(s->lines[0].isComment()) << "a comment header opens every example";
        EXPECT_NE(s->lines[1].commentText().find("Expects: "), std::string::npos);

        SimOptions options;
        options.paceBaud = 0;
        EXPECT_EQ(std::vector<int>(s->moduleTypes + 1, s->moduleTypes + 1 + s->moduleListCount), options.moduleTypes)
            << "written for the simulated master's own network";
        Harness h(options);
        ASSERT_TRUE(h.load(Bytes(s->programImage + 2, s->programImage + s->imageLength)));
        ASSERT_TRUE(h.runAt(2));

        std::string printed;
        std::vector<bool> done(ex.stimuli.size(), false);
        for (int ms = 0; ms < 120000 && h.core->running(); ms += 10) {
            h.run(10);
            printed += h.poll();
            for (size_t i = 0; i < ex.stimuli.size(); ++i) {
                if (done[i] || Occurrences(printed, ex.stimuli[i].cue) < ex.stimuli[i].occurrence) continue;
                done[i] = true;
                ex.stimuli[i].act(h);
            }
        }
        printed += h.poll();
        EXPECT_FALSE(h.core->running()) << "still running after two minutes";
        EXPECT_EQ(h.core->statusA(), sim::kStoppedByProgram) << "stopped by its StopProgram";
        EXPECT_EQ(printed, ex.printed);
        ex.check(h);
    }
}

// Each file of the folder, program file or program text, as the README
// tells a user to try it: all at once, each with a master of its own.
TEST(Examples, EachDownloadsAndStartsFromTheCommandLine) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(STEPWRIGHT_EXAMPLES))
        if (entry.path().extension() == ".stw" || entry.path().extension() == ".sws") files.push_back(entry.path());
    ASSERT_GE(files.size(), 14u);
    std::vector<CliResult> results(files.size());
    std::vector<std::thread> runs;
    for (size_t i = 0; i < files.size(); ++i)
        runs.emplace_back([&, i] { results[i] = RunCli({"--simulator", "download", files[i], "--check-modules", "--run"}); });
    for (auto& t : runs) t.join();
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(results[i].code, 0) << files[i] << "\n" << results[i].err;
        EXPECT_EQ(results[i].err, "simulator: 4 module(s) found\nsimulator: Download complete\n"
                                  "simulator: Loaded program matches program listing.\n")
            << files[i];
        EXPECT_EQ(results[i].out.rfind("started at address 2", 0), 0u) << files[i] << "\n" << results[i].out;
    }
}

}  // namespace
