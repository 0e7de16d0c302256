// The file commands of stepwright-cli against `list` of the same file, each a
// whole process, and the assembly with and without jumps.
//
// import (.sws to .stw) and export (.stw to .sws) of a full-size program (8192
// lines, bench/BenchProgramText.h) are timed as the CPU time (user + system)
// of the whole stepwright-cli process, rounds interleaved with `list` of the
// same input so that both see the same machine; the medians are compared
// (goals: import at most 1.5 times list, export at most 1.2 times).
//
// The assembly of an 8191-line program with 1024 labels and 2600 jumps
// (GoTo, Call, CountDown), every jump to one of the labels, against the same
// program with the jumps' goto-labels cleared (goal: at most 1.5 times).
//
//   bench_file_commands [rounds [CLI]]    (default 15 rounds of the stepwright-cli
//                                         built beside it; another build's CLI
//                                         to compare with)

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchClock.h"
#include "bench/BenchProgramText.h"
#include "isa/Vocabulary.h"
#include "program/Assembly.h"
#include "program/ProgramState.h"

extern char** environ;

namespace {

const char* g_cli = STEPWRIGHT_CLI;

// Runs stepwright-cli with args, its output discarded; the child's CPU time
// in ms (user + system), or -1 when it failed.
double RunCpuMs(const std::vector<std::string>& args) {
    std::vector<std::string> argv{g_cli};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int status = 0;
    struct rusage usage {};
    double ms = -1;
    if (posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), environ) == 0 &&
        wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        auto toMs = [](const timeval& t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
        ms = toMs(usage.ru_utime) + toMs(usage.ru_stime);
    }
    posix_spawn_file_actions_destroy(&actions);
    return ms;
}

// 8191 lines: 2600 jumps (GoTo, Call, CountDown in turn), every other one
// of the first 2048 labelled (1024 labels), each jumping to a label spread
// over the program; 700 StopProgram between them; comments for the rest, so
// that the image fits (15967 bytes).  With jumps false the same lines keep no
// goto-label.
void FillJumpingProgram(ProgramState& s, bool jumps) {
    static constexpr uint8_t kJumps[] = {MasterCmd::kGoTo, MasterCmd::kCall, MasterCmd::kCountDown};
    s.lineCount = 0;
    const int lines = kMaxLines - 1;
    for (int i = 0; i < lines; ++i) {
        ProgramLine l;
        std::memset(&l, 0, sizeof l);
        const int k = i / 3;
        if (i % 3 == 0 && k < 2600) {
            const uint8_t code = kJumps[k % 3];
            l.bytes[0] = 0xBB;
            l.bytes[1] = code == MasterCmd::kCountDown ? 3 : 2, l.bytes[2] = code;
            l.bytes[3] = l.bytes[4] = 0xFF;
            l.length = uint8_t(3 + l.bytes[1]), l.commandCode = code, l.patchOffset = 3;
            if (k % 2 == 0 && k / 2 < kMaxLabels) l.setLabel("LABEL" + std::to_string(k / 2));
            // Targets everywhere, the last labels of the table as often as the first.
            if (jumps) l.setGotoLabel("LABEL" + std::to_string((k * 37) % kMaxLabels));
        } else if (i % 3 == 1 && k < 700) {
            l.bytes[0] = 0xBB, l.bytes[1] = 0, l.bytes[2] = MasterCmd::kStopProgram;
            l.length = 3, l.commandCode = MasterCmd::kStopProgram;
        } else {
            l.setComment("; between the jumps");
        }
        s.lines[s.lineCount++] = l;
    }
}

double AssembleCpuMs(ProgramState& s, int rounds, int& failures) {
    std::vector<double> ms;
    for (int r = 0; r < rounds; ++r) {
        AssemblyError error;
        const double c0 = ThreadCpuMs();
        if (AssembleProgram(s, error) != 0) ++failures;
        ms.push_back(ThreadCpuMs() - c0);
    }
    return Median(ms);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    if (argc > 2) g_cli = argv[2];
    char dir[] = "/tmp/bench-file-commands.XXXXXX";
    if (!mkdtemp(dir)) return 1;
    const std::string text = std::string(dir) + "/full.sws", file = std::string(dir) + "/full.stw";
    const std::string out = std::string(dir) + "/out";
    std::ofstream(text, std::ios::binary) << bench::FullSizeText();
    int failures = 0;
    if (RunCpuMs({"import", text, "-o", file}) < 0) {
        std::fprintf(stderr, "bench_file_commands: import of %s failed\n", text.c_str());
        return 1;
    }

    std::vector<double> listText, import, listFile, exportText;
    for (int r = 0; r < rounds; ++r) {
        const double t[4] = {RunCpuMs({"list", text}), RunCpuMs({"import", text, "-o", out + ".stw"}),
                             RunCpuMs({"list", file}), RunCpuMs({"export", file, "-o", out + ".sws"})};
        for (double v : t) failures += v < 0;
        listText.push_back(t[0]), import.push_back(t[1]), listFile.push_back(t[2]), exportText.push_back(t[3]);
    }
    std::printf("stepwright-cli, 8192 lines, whole-process CPU, medians of %d interleaved rounds\n", rounds);
    std::printf("  import %7.2f ms  list of the .sws %7.2f ms  ratio %.2f (goal at most 1.5)\n", Median(import),
                Median(listText), Median(import) / Median(listText));
    std::printf("  export %7.2f ms  list of the .stw %7.2f ms  ratio %.2f (goal at most 1.2)\n", Median(exportText),
                Median(listFile), Median(exportText) / Median(listFile));

    auto jumping = std::make_unique<ProgramState>();
    auto plain = std::make_unique<ProgramState>();
    FillJumpingProgram(*jumping, true);
    FillJumpingProgram(*plain, false);
    std::vector<double> withJumps, without;
    for (int r = 0; r < rounds; ++r) {
        withJumps.push_back(AssembleCpuMs(*jumping, 3, failures));
        without.push_back(AssembleCpuMs(*plain, 3, failures));
    }
    std::printf("assembly, %d lines, %d labels: with 2600 jumps %.2f ms, without %.2f ms CPU, ratio %.2f "
                "(goal at most 1.5), image %d bytes\n",
                jumping->lineCount, int(jumping->labelCount), Median(withJumps), Median(without),
                Median(withJumps) / Median(without), int(jumping->imageLength));

    for (const std::string& f : {text, file, out + ".stw", out + ".sws"}) std::remove(f.c_str());
    rmdir(dir);
    if (failures) std::printf("%d runs failed\n", failures);
    return failures ? 1 : 0;
}
