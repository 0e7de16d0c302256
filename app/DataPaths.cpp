#include "app/DataPaths.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kGuide = "stepwright.pdf";

bool IsFile(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

}  // namespace

std::string FindUserGuide(const std::string& executableDir, const std::string& currentDir) {
    // An empty directory stands for none: it must not turn into a relative path.
    std::vector<fs::path> candidates;
    if (!executableDir.empty()) {
        const fs::path dir(executableDir);
        candidates.push_back(dir / kGuide);
        candidates.push_back(dir / ".." / "share" / "doc" / "stepwright" / kGuide);
    }
    if (!currentDir.empty()) candidates.push_back(fs::path(currentDir) / kGuide);
    for (const fs::path& p : candidates)
        if (IsFile(p)) return p.lexically_normal().string();
    return std::string();
}

std::string FindExamplesFolder(const std::string& executableDir) {
    if (executableDir.empty()) return std::string();
    const fs::path dir(executableDir);
    for (const fs::path& p : {dir / ".." / "share" / "stepwright" / "examples", dir / ".." / "examples"}) {
        std::error_code ec;
        if (fs::is_directory(p, ec)) return p.lexically_normal().string();
    }
    return std::string();
}

std::string ExecutableDirectory() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

std::string CurrentDirectory() {
    std::error_code ec;
    const fs::path dir = fs::current_path(ec);
    return ec ? std::string() : dir.string();
}
