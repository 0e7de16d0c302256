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
constexpr const char* kOpenQuestion = "Program not saved - save before opening?";

void ShowSaved(MainState& s, const std::string& fullPath) {
    s.form.SaveLabel.caption = kSavedText;
    s.form.SaveLabel.color = kGreen;
    s.form.caption = kCaptionPrefix + fullPath;
    TieProgramFile(s, fullPath);
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
        if (s.ui.askYesNo(Format(kRestoreQuestion, full.c_str(), backup.c_str())) == Answer::Yes) {
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
