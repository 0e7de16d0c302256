// Reading programs back from the simulated master: what was downloaded comes
// back as lines that assemble to the same image (builder-made programs and
// the examples without a raw line), a silent master or an impossible length
// header opens nothing, and the comparison after detection tells whether the
// master holds the open program.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <functional>
#include <random>
#include <thread>

#include "CliRunner.h"
#include "RandomProgram.h"
#include "SimSession.h"
#include "TestPlatform.h"
#include "app/DataPaths.h"
#include "app/DownloadButtons.h"
#include "app/MainState.h"
#include "app/MasterProgram.h"
#include "app/PollTimer.h"
#include "app/StatusText.h"
#include "isa/Vocabulary.h"
#include "link/ProtocolBytes.h"
#include "link/Sio.h"
#include "app/ModuleDetection.h"
#include "link/Upload.h"
#include "modules/Detection.h"
#include "program/Assembly.h"
#include "app/Editing.h"
#include "app/Files.h"
#include "sim/SimCore.h"
#include "sim/SimMaster.h"

namespace {

class Upload : public ::testing::Test {
protected:
    TestPlatform ui;
    std::unique_ptr<MainState> s;
    std::unique_ptr<SimMaster> sim;
    std::mt19937 rng{2028};

    void ConnectOnline(SimOptions o = {}) {
        if (o.paceBaud == 19200) o.paceBaud = 0;
        sim = std::make_unique<SimMaster>(o);
        std::string error;
        ASSERT_TRUE(sim->start(error)) << error;
        s = std::make_unique<MainState>(ui);
        ConnectToSim(*s, *sim);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        PollTimerTimer(*s);
        ASSERT_TRUE(s->online);
        ui.messages.clear();
    }

    void Put(const std::vector<ProgramLine>& lines) {
        s->lineCount = 0;
        for (const ProgramLine& l : lines) s->lines[s->lineCount++] = l;
        RebuildListing(*s);
        MarkProgramChanged(*s);
    }

    std::vector<uint8_t> Image() const { return {s->programImage, s->programImage + s->imageLength}; }

    // Downloads the open program; its image.
    std::vector<uint8_t> Download() {
        ui.messages.clear();
        DownloadButtonClick(*s);
        EXPECT_EQ(ui.messages.at(0), "Download complete");
        ui.messages.clear();
        return Image();
    }

    // Reads the program back, answering No to the save question; the new
    // program's image, assembled.
    std::vector<uint8_t> ReadBack() {
        ui.answers.push_back(Answer::No);
        ReadFromMaster1Click(*s);
        EXPECT_EQ(AssembleProgram(*s), 0);
        return Image();
    }

    // Writes 16 raw bytes at offset 0 with a Write block, header included.
    void WriteFirstBlock(const uint8_t (&bytes)[16]) {
        uint8_t frame[21] = {kCmdWriteBlock};
        PutWriteBlockArgs(frame + 1, 0, bytes);
        uint8_t reply = 0;
        SioPutChars(*s, frame, 1);
        ASSERT_EQ(SioGetChars(*s, &reply, 1), 1);
        SioPutChars(*s, frame + 1, 20);
        ASSERT_EQ(SioGetChars(*s, &reply, 1), 1);
    }
};

TEST_F(Upload, RandomProgramsComeBackExactlyAsNewUntitledPrograms) {
    ConnectOnline();
    for (int round = 0; round < 6; ++round) {
        Put(RandomProgram(rng, 20 + int(rng() % 120)));
        const std::vector<uint8_t> image = Download();
        const int lines = s->lineCount;
        EXPECT_EQ(ReadBack(), image) << "round " << round;
        // Besides a comment before each guess between two families' identical bytes.
        int comments = 0;
        for (int i = 0; i < s->lineCount; ++i) comments += s->lines[i].isComment();
        EXPECT_EQ(s->lineCount - comments, lines);
        EXPECT_EQ(ui.messages, std::vector<std::string>{});
        EXPECT_EQ(s->form.SaveLabel.caption, "Not Saved");
        EXPECT_EQ(s->form.caption, "Tavo Stepwright");
        EXPECT_TRUE(s->programFile.path.empty());
        EXPECT_EQ(s->moduleListCount, 4);
        if (HasFailure()) return;
    }
}

TEST_F(Upload, ExamplesComeBackWithoutRawLines) {
    ConnectOnline();
    const std::vector<std::string> names = {"demo", "every-command", "io_wait", "key_menu",
                                            "servo_moves", "stepper_limits", "subroutines"};
    for (const std::string& name : names) {
        const std::string path = std::string(STEPWRIGHT_SOURCE_DIR) + "/examples/" + name + ".stw";
        ASSERT_TRUE(OpenProgramFile(*s, path)) << path;
        const std::vector<uint8_t> image = Download();
        Disassembly d;
        ASSERT_EQ(UploadProgram(*s, NetworkTypes(*s), d), 0) << name;
        EXPECT_EQ(d.rawLines, 0) << name;
        TakeUploadedProgram(*s, d);
        ASSERT_EQ(AssembleProgram(*s), 0) << name;
        EXPECT_EQ(Image(), image) << name;
    }
}

TEST_F(Upload, ModuleMissingFromTheNetworkBecomesARawLine) {
    // Written for servo, servo, I/O, stepper; loaded into a network of one servo.
    SimOptions o;
    o.moduleTypes = {0};
    ConnectOnline(o);
    Put(RandomProgram(rng, 60));
    const std::vector<uint8_t> image = Download();
    Disassembly d;
    ASSERT_EQ(UploadProgram(*s, NetworkTypes(*s), d), 0);
    EXPECT_GT(d.rawLines, 0);
    EXPECT_EQ(d.program.moduleListCount, 1);
    TakeUploadedProgram(*s, d);
    ASSERT_EQ(AssembleProgram(*s), 0);
    EXPECT_EQ(Image(), image);
}

// The example written for servo, servo, I/O and stepper, read back from a
// network without the stepper: its If-GoTo and WaitFor are raw lines that
// keep their jumps, so every label comes back and an inserted line moves the
// jumps with their targets.
TEST_F(Upload, AbsentModulesKeepTheirJumps) {
    ConnectOnline();
    const std::string path = std::string(STEPWRIGHT_SOURCE_DIR) + "/examples/stepper_limits.stw";
    ASSERT_TRUE(OpenProgramFile(*s, path));
    const std::vector<uint8_t> image = Download();
    Disassembly whole;
    ASSERT_EQ(UploadProgram(*s, NetworkTypes(*s), whole), 0);

    Disassembly part;
    ASSERT_EQ(UploadProgram(*s, {kTypeMaster, kTypeServo, kTypeServo, kTypeIo}, part), 0);
    EXPECT_GT(part.rawLines, 0);
    EXPECT_EQ(part.labels, whole.labels);
    EXPECT_EQ(part.jumpsInside, 0);
    TakeUploadedProgram(*s, part);
    ASSERT_EQ(AssembleProgram(*s), 0);
    EXPECT_EQ(Image(), image);

    // A StopProgram put in front: every jump still lands on its label.
    std::vector<ProgramLine> lines(s->lines, s->lines + s->lineCount);
    ProgramLine stop;
    std::memset(&stop, 0, sizeof stop);
    stop.length = uint8_t(PutMasterInstruction(stop.bytes, MasterCmd::kStopProgram));
    stop.commandCode = MasterCmd::kStopProgram;
    lines.insert(lines.begin(), stop);
    Put(lines);
    ASSERT_EQ(AssembleProgram(*s), 0);
    int jumps = 0;
    for (int i = 0; i < s->lineCount; ++i) {
        const ProgramLine& l = s->lines[i];
        if (l.isComment() || !l.gotoLabel[0] || l.gotoLabelText() == "NULL") continue;
        EXPECT_EQ(l.bytes[l.patchOffset] | (l.bytes[l.patchOffset + 1] << 8), FindLabel(*s, l.gotoLabelText()));
        ++jumps;
    }
    EXPECT_GT(jumps, 2);
}

TEST_F(Upload, FailuresOpenNothing) {
    // {what, first block (header) or none, silent after blocks, message}
    struct Case {
        const char* what;
        bool writeHeader;
        uint8_t header[2];
        int silentAfter;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"header larger than memory", true, {0x01, 0x40}, -1, "Program in master claims 16385 bytes - more than memory (16384)"},
        {"header 0xFFFF", true, {0xFF, 0xFF}, -1, "Program in master claims 65535 bytes - more than memory (16384)"},
        {"header below 2", true, {0x01, 0x00}, -1, "Master holds no program (length 1)"},
        {"silent from the first block", false, {0, 0}, 0, "Stepwright not responding"},
        {"silent in the middle", false, {0, 0}, 5, "Stepwright not responding"},
    };
    for (const Case& c : cases) {
        ConnectOnline();
        Put(RandomProgram(rng, 40));
        Download();
        if (c.writeHeader) {
            uint8_t block[16];
            std::memcpy(block, s->programImage, 16);
            block[0] = c.header[0];
            block[1] = c.header[1];
            WriteFirstBlock(block);
        }
        int blocks = 0;
        s->progressHook = [&](int, int) {
            if (++blocks == c.silentAfter) sim->withCore([](sim::SimCore& core) { core.faults().silentFrom = 0x84; });
        };
        if (c.silentAfter == 0) sim->withCore([](sim::SimCore& core) { core.faults().silentFrom = 0x84; });
        const int lines = s->lineCount;
        ui.answers.push_back(Answer::No);
        ReadFromMaster1Click(*s);
        EXPECT_EQ(ui.messages, std::vector<std::string>{c.message}) << c.what;
        EXPECT_EQ(s->lineCount, lines) << c.what;
        EXPECT_FALSE(s->progress.visible) << c.what;
        EXPECT_EQ(s->online, c.writeHeader) << c.what;
        ui.messages.clear();
        s.reset();
        sim.reset();
    }
}

TEST_F(Upload, DetectionTellsWhetherTheMasterHoldsTheOpenProgram) {
    ConnectOnline();
    s->afterDetection = [this] { CompareWithMaster(*s, false); };
    Put(RandomProgram(rng, 30));
    Download();
    EXPECT_NE(StatusLineText(*s).find("Master holds this program"), std::string::npos);
    // An edit makes the verdict unknown until the next comparison.
    MarkProgramChanged(*s);
    EXPECT_EQ(StatusLineText(*s).find("Master holds"), std::string::npos);
    Download();

    // {what is done to the open program, the status line's verdict after the next detection}
    struct Step {
        const char* what;
        std::function<void()> change;
        const char* verdict;
    };
    const std::vector<Step> steps = {
        {"nothing", [] {}, "Master holds this program"},
        {"a line removed", [this] { Put(std::vector<ProgramLine>(s->lines + 1, s->lines + s->lineCount)); },
         "Master holds a different program"},
        {"a byte changed, same length",
         [this] {
             Download();
             s->lines[0].bytes[1] ^= 0x40;   // never a jump address's byte
             MarkProgramChanged(*s);
         },
         "Master holds a different program"},
        {"longer than 1 KB", [this] { Put(RandomProgram(rng, 300)); Download(); }, "Not compared"},
    };
    for (const Step& step : steps) {
        step.change();
        s->forceDetection = true;
        DetectModules(*s);
        EXPECT_NE(StatusLineText(*s).find(step.verdict), std::string::npos) << step.what << ": " << StatusLineText(*s);
    }
    // On request the long image is compared whole.
    CompareWithMaster1Click(*s);
    EXPECT_NE(StatusLineText(*s).find("Master holds this program"), std::string::npos);
}

// A comparison that reads the whole image and finds it equal is a verify: the
// program is loaded and may run at once, even when the comparison came
// after a detection.  One that finds it different leaves it not loaded; an
// empty master holds no program.
TEST_F(Upload, AWholeMatchIsLoaded) {
    ConnectOnline();
    s->afterDetection = [this] { CompareWithMaster(*s, false); };
    // A program that may run: no ChangeBaud of the master.
    std::vector<ProgramLine> program;
    const auto baud = [](const ProgramLine& l) { return l.moduleAddress == 0 && l.commandCode == 19; };
    do program = RandomProgram(rng, 30);
    while (std::any_of(program.begin(), program.end(), baud));
    Put(program);
    Download();
    MarkProgramChanged(*s);   // as after opening the file the master already holds
    ASSERT_EQ(s->form.LoadLabel.caption, "Not Loaded");
    ASSERT_FALSE(s->form.RunButton.enabled);

    s->forceDetection = true;
    DetectModules(*s);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"4 module(s) found"});
    ui.messages.clear();
    EXPECT_EQ(s->form.LoadLabel.caption, "  Loaded  ");
    EXPECT_EQ(s->form.LoadLabel.color, kGreen);
    EXPECT_TRUE(s->form.RunButton.enabled);
    EXPECT_EQ(s->currentLine, 0);
    EXPECT_NE(StatusLineText(*s).find("Master holds this program"), std::string::npos);

    // While the program runs, as Read from master may.
    s->form.RunLEDShape.color = kGreen;
    MarkProgramChanged(*s);
    CompareWithMaster1Click(*s);
    EXPECT_EQ(ui.messages, std::vector<std::string>{});
    EXPECT_EQ(s->form.LoadLabel.caption, "  Loaded  ");
    s->form.RunLEDShape.color = kRed;

    // Different: nothing is loaded.
    Put(RandomProgram(rng, 31));
    CompareWithMaster1Click(*s);
    EXPECT_EQ(s->form.LoadLabel.caption, "Not Loaded");
    EXPECT_FALSE(s->form.RunButton.enabled);
    EXPECT_NE(StatusLineText(*s).find("Master holds a different program"), std::string::npos);

    // An empty master.
    const uint8_t empty[16] = {};
    WriteFirstBlock(empty);
    CompareWithMaster1Click(*s);
    EXPECT_NE(StatusLineText(*s).find("Master holds no program"), std::string::npos) << StatusLineText(*s);
    EXPECT_EQ(ui.messages, std::vector<std::string>{});
}

// stepwright-cli upload against simulated masters on pseudo-terminals: the
// text it writes assembles to what download wrote; several ports write one
// file each into a folder.
TEST(UploadCli, WritesTheProgramBackAsTextOrFileFromEveryPort) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("stepwright-upload." + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string demo = std::string(STEPWRIGHT_SOURCE_DIR) + "/examples/every-command.stw";
    SimOptions o;
    o.paceBaud = 0;
    SimMaster a(o), b(o);
    std::string error;
    ASSERT_TRUE(a.start(error)) << error;
    ASSERT_TRUE(b.start(error)) << error;
    const std::string pa = a.devicePath(), pb = b.devicePath();
    ASSERT_EQ(RunCli({"--port", pa, "--port", pb, "download", demo}).code, 0);
    const std::string image = RunCli({"assemble", demo, "--hex"}).out;

    const CliResult text = RunCli({"--port", pa, "upload"});
    ASSERT_EQ(text.code, 0) << text.err;
    std::ofstream(dir / "p.sws") << text.out;
    EXPECT_EQ(RunCli({"assemble", (dir / "p.sws").string(), "--hex"}).out, image);

    const CliResult file = RunCli({"--port", pa, "--json", "upload", "-o", (dir / "p.stw").string()});
    ASSERT_EQ(file.code, 0) << file.err;
    EXPECT_NE(file.out.find("\"raw_lines\": 0"), std::string::npos) << file.out;
    EXPECT_EQ(RunCli({"assemble", (dir / "p.stw").string(), "--hex"}).out, image);

    const CliResult both = RunCli({"--port", pa, "--port", pb, "upload", "-o", dir.string()});
    ASSERT_EQ(both.code, 0) << both.err;
    for (const std::string& port : {pa, pb}) {
        std::string name = port.substr(1);
        std::replace(name.begin(), name.end(), '/', '_');
        EXPECT_EQ(RunCli({"assemble", (dir / (name + ".sws")).string(), "--hex"}).out, image) << port;
    }
    // {arguments, exit code}
    const std::vector<std::pair<Strings, int>> refusals = {
        {{"--port", pa, "upload", "-o", (dir / "p.txt").string()}, 1},
        {{"--port", pa, "--port", pb, "upload"}, 1},
        {{"--port", pa, "upload", "--modules", "servo,lamp"}, 1},
        {{"--port", pa, "upload", "-o", (dir / "no" / "p.sws").string()}, 2},
    };
    for (const auto& [args, code] : refusals) EXPECT_EQ(RunCli(args).code, code) << args.back();
    fs::remove_all(dir);
}

// stepwright-cli compare and verify name the lines that differ; a damaged
// type reply fails status instead of showing another module's kind; upload
// refused while a program runs names the option it takes.
TEST(CompareCli, NamesTheLinesThatDiffer) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("stepwright-compare." + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string demo = std::string(STEPWRIGHT_SOURCE_DIR) + "/examples/demo.stw";
    SimOptions o;
    o.paceBaud = 0;
    SimMaster sim(o);
    std::string error;
    ASSERT_TRUE(sim.start(error)) << error;
    const std::string port = sim.devicePath();

    const CliResult empty = RunCli({"--port", port, "compare", demo});
    EXPECT_EQ(empty.code, 5);
    EXPECT_NE(empty.err.find("Master holds no program"), std::string::npos) << empty.err;

    ASSERT_EQ(RunCli({"--port", port, "download", demo}).code, 0);
    const CliResult same = RunCli({"--port", port, "compare", demo});
    EXPECT_EQ(same.code, 0) << same.err;
    EXPECT_EQ(same.out, "");

    // The first Move goes to 4100 instead of 4000.
    std::string text = RunCli({"export", demo}).out;
    const size_t at = text.find("position=4000");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 13, "position=4100");
    const std::string changed = (dir / "changed.sws").string();
    std::ofstream(changed) << text;

    const CliResult diff = RunCli({"--port", port, "compare", changed});
    EXPECT_EQ(diff.code, 5);
    EXPECT_EQ(diff.out.rfind("--- " + changed + "\n+++ master (" + port + ")\n@@ -", 0), 0u) << diff.out;
    EXPECT_NE(diff.out.find("\n-LOOP      1 Move - Pos. 4100\n+LOOP      1 Move - Pos. 4000\n"), std::string::npos)
        << diff.out;
    EXPECT_NE(diff.out.find("\n           1 WaitFor [timeout->TIMEOUT]\n"), std::string::npos) << diff.out;
    const CliResult json = RunCli({"--port", port, "--json", "compare", changed});
    EXPECT_EQ(json.code, 5);
    EXPECT_NE(json.out.find("\"in\": \"program\",\n      \"line\": 6,"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"matches\": false"), std::string::npos) << json.out;

    const CliResult verify = RunCli({"--port", port, "verify", changed});
    EXPECT_EQ(verify.code, 5);
    const size_t message = verify.err.find("Program listing does not match loaded program!\n");
    const size_t where = verify.err.find(": listing line 6, label LOOP\n");
    EXPECT_NE(message, std::string::npos) << verify.err;
    EXPECT_NE(where, std::string::npos) << verify.err;
    EXPECT_LT(message, where);
    fs::remove_all(dir);
}

TEST(CompareCli, DamagedTypeReplyFailsStatusAndRunningUploadNamesModules) {
    SimOptions o;
    o.paceBaud = 0;
    o.faults.badCountAt = 1;
    SimMaster sim(o);
    std::string error;
    ASSERT_TRUE(sim.start(error)) << error;
    const std::string port = sim.devicePath();
    const CliResult status = RunCli({"--port", port, "status", "1", "2", "3", "4"});
    EXPECT_EQ(status.code, 4) << status.out;
    EXPECT_NE(status.err.find(port + ": the type reply of module 1 was damaged"), std::string::npos)
        << status.err;
    EXPECT_EQ(status.out.find("Power"), std::string::npos) << status.out;
    // The next command finds the line clean.
    EXPECT_EQ(RunCli({"--port", port, "status", "4"}).code, 0);
    {
        // watch learns the types the same way.
        SimMaster fresh(o);
        ASSERT_TRUE(fresh.start(error)) << error;
        const CliResult watch = RunCli({"--port", fresh.devicePath(), "watch", "1", "--count", "1"});
        EXPECT_EQ(watch.code, 4) << watch.out;
        EXPECT_NE(watch.err.find("the type reply of module 1 was damaged"), std::string::npos) << watch.err;
    }

    const std::string demo = std::string(STEPWRIGHT_SOURCE_DIR) + "/examples/demo.stw";
    ASSERT_EQ(RunCli({"--port", port, "download", demo, "--run"}).code, 0);
    const CliResult upload = RunCli({"--port", port, "upload"});
    EXPECT_EQ(upload.code, 6);
    EXPECT_NE(upload.err.find("name the modules with --modules LIST, or stop"), std::string::npos) << upload.err;
    EXPECT_EQ(upload.err.find("--program"), std::string::npos) << upload.err;
    RunCli({"--port", port, "stop"});
}

}  // namespace
