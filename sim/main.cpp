// stepwright-sim: a simulated Stepwright master and its modules on a
// pseudo-terminal.  Prints the device to open, then serves until Ctrl+C.

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/SimMaster.h"

namespace {

volatile sig_atomic_t g_quit = 0;

void OnSignal(int) { g_quit = 1; }

void PrintHelp(FILE* out) {
    std::fputs(
        "Usage: stepwright-sim [options]\n"
        "Simulates a Stepwright master and its modules on a pseudo-terminal and prints\n"
        "the device to open as the serial port (for example with --port COM1=DEVICE).\n"
        "\n"
        "  --modules LIST     modules at addresses 1, 2, ...: servo, io, step, or a type\n"
        "                     code 0-255; default servo,servo,io,step; \"\" for none\n"
        "  --pace BAUD        send each byte no sooner than its wire time at BAUD\n"
        "                     (default 19200); 0 sends at once\n"
        "  --version-byte N   the version the master reports (default 2)\n"
        "  --reply-area A     separate (default): the program and the host have a\n"
        "                     reply area each; shared: one, so that a running\n"
        "                     program's replies land where the host reads\n"
        "  --fault F          inject a fault (may be repeated):\n"
        "      silent-from=CMD   answer nothing from the first command byte CMD on\n"
        "                        (e.g. 0x85)\n"
        "      drop-ack=N        leave out the acknowledge of the N-th acknowledged command\n"
        "      cc                answer 0xCC to every Write block and Execute\n"
        "      garbage           replace every byte sent by line noise\n"
        "      hangup=N          hang the line up at the N-th command\n"
        "      bad-checksum      end every Read reply with a wrong checksum\n"
        "      bad-count=N       take the count of the N-th Read reply with bits 5\n"
        "                        and 6 flipped (10 becomes 106)\n"
        "  --help             show this text\n"
        "  --version          show the version\n"
        "\n"
        "Runs until interrupted (Ctrl+C).\n"
        "\n"
        "Exit codes:\n"
        "  0  ended by Ctrl+C, or the line hung up (fault hangup=N)\n"
        "  1  the simulated master could not start (no pseudo-terminal)\n"
        "  2  usage error\n"
        "\n"
        "Examples:\n"
        "  stepwright-sim                          the default network: servo,servo,io,step\n"
        "  stepwright-sim --modules step,io --pace 0\n"
        "  stepwright-sim --fault bad-checksum     then: stepwright-cli --port DEVICE status 1\n",
        out);
}

bool ParseInt(const char* text, long low, long high, long& value) {
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0' || v < low || v > high) return false;
    value = v;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    SimOptions options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "stepwright-sim: %s needs a value\n", name);
                std::exit(2);
            }
            return argv[++i];
        };
        std::string error;
        long v = 0;
        if (arg == "--help" || arg == "-h") {
            PrintHelp(stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("stepwright-sim %s\n", STEPWRIGHT_VERSION);
            return 0;
        } else if (arg == "--modules") {
            if (!ParseSimModules(value("--modules"), options.moduleTypes, error)) {
                std::fprintf(stderr, "stepwright-sim: %s\n", error.c_str());
                return 2;
            }
        } else if (arg == "--pace") {
            if (!ParseInt(value("--pace"), 0, 10000000, v)) {
                std::fprintf(stderr, "stepwright-sim: --pace takes a baud rate, or 0\n");
                return 2;
            }
            options.paceBaud = int(v);
        } else if (arg == "--version-byte") {
            if (!ParseInt(value("--version-byte"), 0, 255, v)) {
                std::fprintf(stderr, "stepwright-sim: --version-byte takes 0 to 255\n");
                return 2;
            }
            options.version = int(v);
        } else if (arg == "--reply-area") {
            if (!ParseSimReplyArea(value("--reply-area"), options.sharedReplyArea, error)) {
                std::fprintf(stderr, "stepwright-sim: %s\n", error.c_str());
                return 2;
            }
        } else if (arg == "--fault") {
            if (!ParseSimFault(value("--fault"), options.faults, error)) {
                std::fprintf(stderr, "stepwright-sim: %s\n", error.c_str());
                return 2;
            }
        } else {
            std::fprintf(stderr, "stepwright-sim: unknown option %s (see --help)\n", arg.c_str());
            return 2;
        }
    }

    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    SimMaster master(options);
    std::string error;
    if (!master.start(error)) {
        std::fprintf(stderr, "stepwright-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", master.devicePath().c_str());
    std::fflush(stdout);
    while (!g_quit && !master.hungUp()) usleep(100000);
    if (master.hungUp()) std::fprintf(stderr, "stepwright-sim: the line hung up (fault)\n");
    master.stop();
    return 0;
}
