#include "app/Files.h"

#include "app/Editing.h"
#include "app/FileTie.h"
#include "isa/Vocabulary.h"
#include "modules/ModuleList.h"
#include "app/ModuleListBox.h"

namespace {

constexpr const char* kCaptionPrefix = "Tavo Stepwright - ";
constexpr const char* kSavedText = "  Saved  ";
constexpr const char* kRestoreQuestion = "A save of %s did not finish - restore its earlier content from %s?";
constexpr const char* kRestoreWholeQuestion =
    "A save of %s was cut off after it had written the file whole - restore its earlier content from %s instead?";
constexpr const char* kOpenQuestion = "Program not saved - save before opening?";

void ShowSavedLabel(MainState& s) {
    s.form.SaveLabel.caption = kSavedText;
    s.form.SaveLabel.color = kGreen;
}

std::vector<int32_t> ListedModuleTypes(const MainState& s) {
    const int count = s.moduleListCount <= kMaxModules ? s.moduleListCount : kMaxModules;
    return std::vector<int32_t>(s.moduleTypes, s.moduleTypes + count + 1);
}

void ShowSaved(MainState& s, const std::string& fullPath) {
    ShowSavedLabel(s);
    s.form.caption = kCaptionPrefix + fullPath;
    TieProgramFile(s, fullPath);
    s.saved.known = true;
    s.saved.path = s.programFile.path;
    s.saved.lines.assign(s.lines, s.lines + s.lineCount);
    s.saved.moduleTypes = ListedModuleTypes(s);
}

// Two records as a file holds what the user wrote: the same comment, or the
// same label, jump, module, command and instruction bytes.  The addresses
// and the jump target patched into the bytes are the assembly's work.
bool SameWrittenLine(const ProgramLine& a, const ProgramLine& b) {
    if (a.isComment() || b.isComment()) return a.isComment() && b.isComment() && a.commentText() == b.commentText();
    if (a.labelText() != b.labelText() || a.gotoLabelText() != b.gotoLabelText() || a.patchOffset != b.patchOffset ||
        a.moduleAddress != b.moduleAddress || a.commandCode != b.commandCode || a.length != b.length)
        return false;
    const bool jumps = !a.gotoLabelText().empty();
    for (int k = 0; k < a.length && k < kMaxInstrBytes; ++k) {
        if (jumps && (k == a.patchOffset || k == a.patchOffset + 1)) continue;
        if (a.bytes[k] != b.bytes[k]) return false;
    }
    return true;
}

}  // namespace

bool SaveProgram(MainState& s) {
    // A program the file cannot hold is refused before a file is chosen.
    std::string refusal = SaveRefusal(s);
    if (!refusal.empty()) {
        s.message(refusal);
        return false;
    }
    std::string name = s.rememberedFile;
    std::string full;
    // Another file of that name is replaced only when the user agrees; No
    // goes back to the dialog.
    do {
        if (!s.ui.saveDialog(name)) return false;
        full = FullPath(name);
    } while (!MayReplaceFile(s, full));
    s.rememberedFile = full;
    std::string failure = WriteProgramFile(s, full);
    if (!failure.empty()) {
        s.message(failure);
        return false;
    }
    ShowSaved(s, full);
    return true;
}

bool SaveFirstIfUnsaved(MainState& s, const std::string& question) {
    if (s.form.SaveLabel.color != kRed || s.lineCount == 0) return true;
    switch (s.ui.askYesNoCancel(question)) {
        case Answer::Yes: return SaveProgram(s);
        case Answer::No: return true;
        default: return false;
    }
}

bool HoldsSavedContent(const MainState& s) {
    const MainState::SavedContent& saved = s.saved;
    if (!saved.known || saved.path != s.programFile.path || s.programFile.path.empty()) return false;
    if (size_t(s.lineCount) != saved.lines.size() || ListedModuleTypes(s) != saved.moduleTypes) return false;
    for (int i = 0; i < s.lineCount; ++i)
        if (!SameWrittenLine(s.lines[i], saved.lines[size_t(i)])) return false;
    return true;
}

void ShowSavedIfUnchanged(MainState& s) {
    if (s.form.SaveLabel.color == kRed && HoldsSavedContent(s)) ShowSavedLabel(s);
}

void SaveButtonClick(MainState& s) { SaveProgram(s); }

void TakeProgramData(MainState& s, const ProgramFileData& data) {
    auto& items = s.form.ModuleListBox.items;
    items.clear();
    for (int i = 0; i <= data.moduleListCount && i <= kMaxModules; ++i)
        items.push_back(ModuleListLine(i, data.moduleTypes[size_t(i)]));
    TakeModuleList(s, data);
    SelectModule(s, 0);
    TakeLines(s, data);
    RebuildListing(s);
    MarkProgramChanged(s);
}

bool ReadForOpen(MainState& s, const std::string& full, ProgramFileData& data, const ProgramFileData* read) {
    // A save that was cut off while rewriting the file in place left its
    // earlier content beside it; it is put back only when the user says so.
    if (const std::string backup = LeftBackup(full); !backup.empty()) {
        // The save may have been cut off after the new content was on the
        // disk, before the copy was removed: a file that reads whole is then
        // the complete one, and the question says so.
        ProgramFileData probe;
        const bool whole = ReadProgramFile(full, probe).empty();
        const char* question = whole ? kRestoreWholeQuestion : kRestoreQuestion;
        if (s.ui.askYesNo(Format(question, full.c_str(), backup.c_str())) == Answer::Yes) {
            const std::string failure = RestoreLeftBackup(full);
            if (!failure.empty()) {
                s.message(failure);
                return false;
            }
            read = nullptr;   // the file holds other bytes now
        }
    }
    if (read) {
        data = *read;
        return true;
    }
    if (const std::string failure = ReadProgramFile(full, data); !failure.empty()) {
        s.message(failure);
        return false;
    }
    return true;
}

bool OpenProgramFile(MainState& s, const std::string& path, const ProgramFileData* read) {
    std::string full = FullPath(path);
    ProgramFileData data;
    if (!ReadForOpen(s, full, data, read)) return false;

    s.rememberedFile = full;
    s.moduleMismatch = false;
    for (int i = 0; i <= data.moduleListCount; ++i) {
        const int detected = i == 0 ? kTypeMaster : s.detectedTypes[i];
        if (s.online && detected != data.moduleTypes[size_t(i)]) {
            s.message("Program module list does not match detected modules - program execution may fail");
            s.moduleMismatch = true;
        }
    }
    TakeProgramData(s, data);
    ++s.programOpens;
    ShowSaved(s, full);
    return true;
}

void OpenButtonClick(MainState& s) {
    // Unsaved work is not thrown away without asking, as on closing.
    if (!SaveFirstIfUnsaved(s, kOpenQuestion)) return;
    std::string name = s.rememberedFile;
    if (!s.ui.openDialog(name)) return;
    OpenProgramFile(s, name);
}

bool OpenGivenFile(MainState& s, const std::string& path) {
    if (!SaveFirstIfUnsaved(s, kOpenQuestion)) return false;
    return OpenProgramFile(s, path);
}
