#include "app/StatusText.h"

#include <cerrno>
#include <cstring>

#include "app/MainState.h"
#include "app/MasterProgram.h"

namespace {

constexpr const char* kSeparator = " | ";

std::string PortText(const MainState& s) {
    if (!s.port) return "no port";
    const std::string name = OpenPortName(s).empty() ? std::string("port") : OpenPortName(s);
    if (s.portLoss.back) return name + ": the device is back - click to reconnect";
    if (s.portLoss.gone) return name + ": the device is gone (unplugged?)";
    return name + (s.online ? " on line" : " off line");
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string OpenPortName(const MainState& s) {
    const int item = s.com.openItem;
    if (item >= 0 && item < 6) return Format("COM%d", item + 1);
    return s.openDevice;
}

std::string PortProblemText(const MainState& s, const PortProblem& problem) {
    // Unnamed where the front end names the port itself (the command line
    // puts it before every message).
    const std::string name = OpenPortName(s);
    const std::string who = name.empty() ? std::string() : name + ": ";
    switch (problem.fault) {
        case PortFault::Gone: return who + "the device is gone (unplugged?)";
        case PortFault::Failed:
            if (problem.err == ETIMEDOUT) return who + "the device took no bytes in time (line held up?)";
            return who + (problem.err ? std::strerror(problem.err) : "the operation failed");
        case PortFault::None: break;
    }
    return name;
}

std::string StatusLineText(const MainState& s) {
    const bool untitled = s.programFile.path.empty();
    std::string text = PortText(s);
    text += kSeparator;
    // The running indicator is the one place that knows: the poll sets it
    // from the master's own status.
    text += s.form.RunLEDShape.color == kGreen ? "running" : "stopped";
    text += kSeparator;
    text += untitled ? std::string("untitled") : BaseName(s.programFile.path);
    // An untitled program with no lines has nothing to lose (the close query
    // does not ask either); otherwise the saved indication says.
    const bool changed = s.form.SaveLabel.color == kRed && (!untitled || s.lineCount > 0);
    if (changed) {
        text += kSeparator;
        text += "changed";
    }
    // Whether the master holds this program, while that is still known.
    const std::string verdict = MasterVerdictText(CurrentMasterVerdict(s));
    if (!verdict.empty()) {
        text += kSeparator;
        text += verdict;
    }
    return text;
}
