#include "app/StatusText.h"

#include "app/MainState.h"
#include "app/MasterProgram.h"

namespace {

constexpr const char* kSeparator = " | ";

std::string PortText(const MainState& s) {
    if (!s.port) return "no port";
    const int item = s.com.openItem;
    std::string name = item >= 0 && item < 6 ? Format("COM%d", item + 1) : std::string("port");
    return name + (s.online ? " on line" : " off line");
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

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
