#pragma once
// What the stepwright-cli benchmarks share: the full-size program and a run
// of the tool with its output discarded.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

inline constexpr int kBaud = 19200;
inline constexpr int kBlocks = 1023;

// Delays up to the last start address the memory allows, then a Print of 20
// bytes: an image of 16362 bytes, sent as 1023 blocks.
inline std::string FullSizeProgram() {
    const int delays = 3268;
    std::string f = "0\r\n127 \r\n" + std::to_string(delays + 1) + "\r\n";
    for (int i = 0; i < delays; ++i) f += "\r\n   0\r\n\r\n   0\r\n 0  0  9\r\n5\r\nBB  2  9  1  0 \r\n";
    f += "END\r\n   0\r\n\r\n   0\r\n 0  0  5\r\n20\r\nBB 11  5";
    for (int i = 0; i < 17; ++i) {
        char b[8];
        std::snprintf(b, sizeof b, " %2X", 0x41 + i);
        f += b;
    }
    f += " \r\n";
    return f;
}

// Runs stepwright-cli with args, its output discarded; returns the seconds it
// took and its exit code.
inline double Run(const std::vector<std::string>& args, int& code) {
    std::vector<std::string> argv{STEPWRIGHT_CLI};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    int status = 0;
    if (posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), environ) != 0 || waitpid(pid, &status, 0) < 0) {
        code = -1;
    } else {
        code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    auto end = std::chrono::steady_clock::now();
    posix_spawn_file_actions_destroy(&actions);
    return std::chrono::duration<double>(end - start).count();
}

}  // namespace bench
