#pragma once
// Runs the built stepwright-cli (STEPWRIGHT_CLI), or another program, as a
// subprocess and collects its exit code, standard output and standard error.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

struct CliResult {
    int code = -1;
    std::string out, err;
};

struct RunOptions {
    int stdinFd = -1;          // -1: /dev/null
    bool stderrIsTerminal = false;
    // Called whenever output arrives, while the tool runs.
    std::function<void(const CliResult&)> onOutput;
    // Asked whenever output arrives: true sends Ctrl+C (SIGINT), once.
    std::function<bool(const CliResult&)> interruptWhen;
    std::string stdoutPath;    // "": standard output is read by the test
    std::string cwd;           // "": the test's own
    int timeoutSeconds = 60;   // then the tool is killed and the test fails
};

// Runs a program with args; gives up (and fails the test) after
// options.timeoutSeconds.
CliResult RunProgram(const std::string& program, const Strings& args, const RunOptions& options = {}) {
    CliResult r;
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe failed";
        return r;
    }
    int errMaster = -1, errSlave = -1;
    if (options.stderrIsTerminal) {
        errMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (errMaster < 0 || grantpt(errMaster) != 0 || unlockpt(errMaster) != 0) {
            ADD_FAILURE() << "no pseudo-terminal for standard error";
            return r;
        }
        errSlave = ::open(ptsname(errMaster), O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);

    pid_t pid = fork();
    if (pid == 0) {
        int in = options.stdinFd >= 0 ? options.stdinFd : ::open("/dev/null", O_RDONLY);
        dup2(in, 0);
        int out = options.stdoutPath.empty() ? outPipe[1] : ::open(options.stdoutPath.c_str(), O_WRONLY);
        dup2(out, 1);
        dup2(errSlave >= 0 ? errSlave : errPipe[1], 2);
        if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
        for (int fd = 3; fd < 1024; ++fd) ::close(fd);
        execv(cargv[0], cargv.data());
        _exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (errSlave >= 0) ::close(errSlave);
    const int errRead = errMaster >= 0 ? errMaster : errPipe[0];

    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    bool outOpen = true, errOpen = true, interrupted = false;
    while (outOpen || errOpen) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            kill(pid, SIGKILL);
            ADD_FAILURE() << program << " did not end";
            break;
        }
        struct pollfd p[2] = {{outOpen ? outPipe[0] : -1, POLLIN, 0}, {errOpen ? errRead : -1, POLLIN, 0}};
        if (poll(p, 2, int(left.count())) < 0) continue;
        char buf[4096];
        bool got = false;
        for (int k = 0; k < 2; ++k) {
            if (!(p[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            ssize_t n = ::read(k == 0 ? outPipe[0] : errRead, buf, sizeof buf);
            if (n > 0) {
                (k == 0 ? r.out : r.err).append(buf, size_t(n));
                got = true;
            } else if (n == 0 || errno != EINTR) {
                (k == 0 ? outOpen : errOpen) = false;
            }
        }
        if (got && options.onOutput) options.onOutput(r);
        if (got && options.interruptWhen && !interrupted && options.interruptWhen(r)) {
            kill(pid, SIGINT);
            interrupted = true;
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    if (errMaster >= 0) ::close(errMaster);
    return r;
}

// Runs stepwright-cli with args.
CliResult RunCli(const Strings& args, const RunOptions& options = {}) { return RunProgram(STEPWRIGHT_CLI, args, options); }

}  // namespace
