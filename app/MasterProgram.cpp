// Reading the program back from the master into the window, and comparing
// the open program with the master's.

#include "app/MasterProgram.h"

#include <cstring>
#include <memory>

#include "app/FileTie.h"
#include "app/MainState.h"
#include "app/Progress.h"
#include "app/QuietPlatform.h"
#include "isa/Vocabulary.h"
#include "link/Upload.h"
#include "program/Assembly.h"
#include "app/DownloadButtons.h"
#include "app/Editing.h"
#include "app/Execution.h"
#include "program/LineStore.h"
#include "program/ProgramFile.h"
#include "app/Files.h"

namespace {

const char* const kReadQuestion = "Program not saved - save before reading from master?";

// The open program assembled on a copy of its lines with nobody watching:
// the window's labels, addresses and image stay as they are, and a program
// that does not assemble shows no message.  Null when it does not.
std::unique_ptr<MainState> QuietCopy(const MainState& s, QuietPlatform& quiet) {
    auto copy = std::make_unique<MainState>(quiet);
    copy->lineCount = s.lineCount;
    std::memcpy(copy->lines, s.lines, sizeof(ProgramLine) * size_t(s.lineCount));
    std::memcpy(copy->moduleTypes, s.moduleTypes, sizeof s.moduleTypes);
    copy->moduleListCount = s.moduleListCount;
    RebuildListing(*copy);
    if (AssembleProgram(*copy) != 0) return nullptr;
    return copy;
}

bool QuietImage(const MainState& s, std::vector<uint8_t>& image) {
    QuietPlatform quiet;
    const std::unique_ptr<MainState> copy = QuietCopy(s, quiet);
    if (!copy) return false;
    image.assign(copy->programImage, copy->programImage + copy->imageLength);
    return true;
}

}  // namespace

std::vector<int> NetworkTypes(const MainState& s) {
    std::vector<int> types{kTypeMaster};
    const int count = s.status.moduleCount > kMaxModules ? kMaxModules : s.status.moduleCount;
    for (int i = 1; i <= count; ++i) types.push_back(HasFamily(s.detectedTypes[i]) ? s.detectedTypes[i] : kTypeUnknown);
    return types;
}

int UploadProgram(MainState& s, const std::vector<int>& moduleTypes, Disassembly& out) {
    s.progress.label2 = "Reading program from master..";
    ShowProgress(s, 2);
    std::vector<uint8_t> image;
    if (ReadMasterImage(s, image) != 0) return -1;
    out = Disassemble(image, moduleTypes);
    // Read exactly, but longer than any image assembly makes: say so rather
    // than open a program that will not load.
    if (!out.fits)
        s.message(Format("Program in master is %d bytes - assembly makes at most %d, so it will not assemble again",
                         int(image.size()), kLastAssembledByte));
    return 0;
}

void TakeUploadedProgram(MainState& s, const Disassembly& d) {
    s.moduleMismatch = false;
    TakeProgramData(s, d.program);
    // A new program, untitled and unsaved: its own edit history.
    ++s.programOpens;
    UntieProgramFile(s);
    s.rememberedFile.clear();
    s.form.caption = "Tavo Stepwright";
    SetMasterVerdict(s, MasterVerdict::Same);
}

void ReadFromMaster1Click(MainState& s) {
    if (!s.online) {
        s.message("Stepwright not on line - the program cannot be read");
        return;
    }
    if (!SaveFirstIfUnsaved(s, kReadQuestion)) return;
    Disassembly d;
    if (UploadProgram(s, NetworkTypes(s), d) != 0) return;
    TakeUploadedProgram(s, d);
}

MasterVerdict CurrentMasterVerdict(const MainState& s) {
    if (s.verdictEdits != s.programEdits || s.verdictOpens != s.programOpens) return MasterVerdict::Unknown;
    return s.masterVerdict;
}

void SetMasterVerdict(MainState& s, MasterVerdict verdict) {
    s.masterVerdict = verdict;
    s.verdictEdits = s.programEdits;
    s.verdictOpens = s.programOpens;
}

const char* MasterVerdictText(MasterVerdict verdict) {
    switch (verdict) {
        case MasterVerdict::Same: return "Master holds this program";
        case MasterVerdict::Different: return "Master holds a different program";
        case MasterVerdict::NotCompared: return "Not compared";
        case MasterVerdict::Empty: return "Master holds no program";
        case MasterVerdict::Unknown: break;
    }
    return "";
}

// The master holds the open program, every block compared: that is what
// Verify finds, and it ends as Verify ends, in the loaded state with the
// program positioned at its start.  The window's own assembly is brought up
// to date first, so that its addresses are those of the image the master
// holds.
static void LoadedByComparison(MainState& s) {
    s.programHasBaudChange = false;
    if (AssembleProgram(s) != 0) return;
    SetMasterVerdict(s, MasterVerdict::Same);
    EnterLoadedState(s);
    RestartButtonClick(s);
}

CompareOutcome CompareProgramWithMaster(MainState& s, ProgramComparison& out) {
    out = ProgramComparison();
    QuietPlatform quiet;
    const std::unique_ptr<MainState> copy = QuietCopy(s, quiet);
    if (!copy) return CompareOutcome::NotAssembled;
    const std::vector<uint8_t> mine(copy->programImage, copy->programImage + copy->imageLength);
    std::vector<uint8_t> theirs;
    switch (ReadImageForComparison(s, mine, theirs)) {
        case ImageComparison::NoReply: return CompareOutcome::NoReply;
        case ImageComparison::Unreliable: return CompareOutcome::Unreliable;
        case ImageComparison::Empty: return CompareOutcome::Empty;
        case ImageComparison::Same:
        case ImageComparison::Different:
        case ImageComparison::NotRead: break;
    }
    out = CompareProgramWithImage(*copy, *copy, theirs);
    return out.same ? CompareOutcome::Same : CompareOutcome::Different;
}

void CompareWithMaster(MainState& s, bool whole) {
    if (!s.online || s.lineCount == 0) return;
    if (whole) {
        s.progress.label2 = "Comparing with master..";
        ShowProgress(s, 2);
        switch (CompareProgramWithMaster(s, s.masterComparison)) {
            case CompareOutcome::NoReply:
            case CompareOutcome::Unreliable: return;
            case CompareOutcome::NotAssembled: SetMasterVerdict(s, MasterVerdict::NotCompared); return;
            case CompareOutcome::Empty: SetMasterVerdict(s, MasterVerdict::Empty); return;
            case CompareOutcome::Same: LoadedByComparison(s); return;
            case CompareOutcome::Different: SetMasterVerdict(s, MasterVerdict::Different); return;
        }
        return;
    }
    std::vector<uint8_t> mine;
    if (!QuietImage(s, mine)) {
        SetMasterVerdict(s, MasterVerdict::NotCompared);
        return;
    }
    switch (CompareMasterImage(s, mine, false)) {
        case ImageComparison::NoReply:
        case ImageComparison::Unreliable: return;
        case ImageComparison::Same: LoadedByComparison(s); return;
        case ImageComparison::Different: SetMasterVerdict(s, MasterVerdict::Different); return;
        case ImageComparison::NotRead: SetMasterVerdict(s, MasterVerdict::NotCompared); return;
        case ImageComparison::Empty: SetMasterVerdict(s, MasterVerdict::Empty); return;
    }
}

void CompareWithMaster1Click(MainState& s) {
    if (!s.online) {
        s.message("Stepwright not on line - the program cannot be compared");
        return;
    }
    if (s.lineCount == 0) {
        s.message("No program to compare");
        return;
    }
    CompareWithMaster(s, true);
    if (CurrentMasterVerdict(s) == MasterVerdict::NotCompared)
        s.message("The program does not assemble - it cannot be compared");
    if (CurrentMasterVerdict(s) == MasterVerdict::Different && !s.masterComparison.lines.empty())
        s.ui.showMasterDifferences();
}
