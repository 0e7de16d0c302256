#include "app/FileTie.h"

#include <sys/stat.h>

#include <algorithm>

#include "app/MainState.h"
#include "app/Editing.h"
#include "app/Files.h"
#include "app/ModuleListBox.h"
#include "modules/ModuleList.h"
#include "program/LineStore.h"
#include "program/ProgramFile.h"

namespace {

constexpr const char* kNewQuestion = "Program not saved - save before starting a new program?";

}  // namespace

FileIdentity IdentifyFile(const std::string& path) {
    FileIdentity id;
    id.path = path;
    struct stat st;
    if (!path.empty() && ::stat(path.c_str(), &st) == 0) {
        id.known = true;
        id.device = uint64_t(st.st_dev);
        id.inode = uint64_t(st.st_ino);
    }
    return id;
}

void TieProgramFile(MainState& s, const std::string& fullPath) {
    // Identified after the write: a save that renames a new file into place
    // gives the name a new inode.
    s.programFile = IdentifyFile(fullPath);
    AddRecentFile(s.recentFiles, fullPath);
}

void UntieProgramFile(MainState& s) { s.programFile = FileIdentity(); }

bool IsProgramFile(const MainState& s, const std::string& fullPath) {
    if (s.programFile.path.empty() || !s.programFile.known) return false;
    const FileIdentity chosen = IdentifyFile(fullPath);
    return chosen.known && chosen.device == s.programFile.device && chosen.inode == s.programFile.inode;
}

bool MayReplaceFile(MainState& s, const std::string& fullPath) {
    // Only a file the save could write over is asked about: the save
    // refuses directories, devices, pipes and read-only files with its own
    // message, and a link that points nowhere makes a new file.
    struct stat st;
    const bool replaceable = ::stat(fullPath.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0222) != 0;
    if (!replaceable || IsProgramFile(s, fullPath)) return true;
    return s.ui.askYesNo(fullPath + " already exists - replace it?") == Answer::Yes;
}

void AddRecentFile(std::vector<std::string>& list, const std::string& path) {
    if (path.empty()) return;
    list.erase(std::remove(list.begin(), list.end(), path), list.end());
    list.insert(list.begin(), path);
    if (list.size() > kMaxRecentFiles) list.resize(kMaxRecentFiles);
}

void New1Click(MainState& s) {
    if (!SaveFirstIfUnsaved(s, kNewQuestion)) return;
    s.lineCount = 0;
    s.imageLength = 0;
    s.labelCount = 0;
    s.addressCounter = 0;
    RebuildListing(s);
    // The module list as at start: the master alone, and not defined, so
    // that the next detection adopts what it finds.
    ClearModuleList1Click(s);
    // A new program starts a new edit history, as an opened one does.
    ++s.programOpens;
    UntieProgramFile(s);
    s.rememberedFile.clear();
    s.form.caption = "Tavo Stepwright";
}

void SaveAs1Click(MainState& s) { SaveProgram(s); }

void OpenRecentFile(MainState& s, const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        s.recentFiles.erase(std::remove(s.recentFiles.begin(), s.recentFiles.end(), path), s.recentFiles.end());
        s.message(path + " no longer exists - removed from Open Recent");
        return;
    }
    OpenGivenFile(s, path);
}
