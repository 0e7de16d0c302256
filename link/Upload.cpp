// Reading the program back from the master, and comparing it with the open one.

#include "link/Upload.h"

#include <cstring>
#include <memory>

#include "app/FileTie.h"
#include "app/MainState.h"
#include "app/QuietPlatform.h"
#include "isa/Vocabulary.h"
#include "link/Download.h"
#include "app/Progress.h"
#include "link/Protocol.h"
#include "link/ProtocolBytes.h"
#include "modules/ModuleList.h"
#include "program/Assembly.h"
#include "app/Editing.h"
#include "app/Files.h"

namespace {

constexpr int kHeaderBytes = 2;

const char* const kReadQuestion = "Program not saved - save before reading from master?";

uint16_t Header(const uint8_t* block) { return uint16_t(block[0] | (block[1] << 8)); }

bool Running(const MainState& s) { return s.form.RunLEDShape.color == kGreen; }

// Reads blocks from offset `from` on while offset < length into image,
// telling the progress hook (blocks done counting the first).  false after
// the not-responding procedure.
bool ReadBlocks(MainState& s, int from, int length, uint8_t* image) {
    const int blocks = (length + kBlockLength - 1) / kBlockLength;
    for (int offset = from; offset < length; offset += kBlockLength) {
        uint8_t reply[17];
        if (!ReadImageBlock(s, offset, reply)) {
            HideProgress(s);
            NotResponding(s);
            return false;
        }
        std::memcpy(image + offset, reply, kBlockLength);
        if (s.progressHook) s.progressHook(offset / kBlockLength + 1, blocks);
    }
    return true;
}

// The open program's image, assembled on a copy of its lines with nobody
// watching: the window's labels, addresses and image stay as they are, and a
// program that does not assemble shows no message.  false when it does not.
bool QuietImage(const MainState& s, std::vector<uint8_t>& image) {
    QuietPlatform quiet;
    auto copy = std::make_unique<MainState>(quiet);
    copy->lineCount = s.lineCount;
    std::memcpy(copy->lines, s.lines, sizeof(ProgramLine) * size_t(s.lineCount));
    std::memcpy(copy->moduleTypes, s.moduleTypes, sizeof s.moduleTypes);
    copy->moduleListCount = s.moduleListCount;
    RebuildListing(*copy);
    if (AssembleProgram(*copy) != 0) return false;
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

int ReadMasterImage(MainState& s, std::vector<uint8_t>& image, const std::string& progressText) {
    if (!progressText.empty()) {
        s.progress.label2 = progressText;
        ShowProgress(s, 2);
    }
    uint8_t first[17];
    if (!ReadImageBlock(s, 0, first)) {
        HideProgress(s);
        NotResponding(s);
        return -1;
    }
    const int length = Header(first);
    if (length < kHeaderBytes || length > kImageSize) {
        HideProgress(s);
        s.message(length < kHeaderBytes
                      ? Format("Master holds no program (length %d)", length)
                      : Format("Program in master claims %d bytes - more than memory (%d)", length, kImageSize));
        return -1;
    }
    std::vector<uint8_t> bytes(size_t((length + kBlockLength - 1) / kBlockLength * kBlockLength));
    std::memcpy(bytes.data(), first, kBlockLength);
    if (s.progressHook) s.progressHook(1, int(bytes.size()) / kBlockLength);
    if (!ReadBlocks(s, kBlockLength, length, bytes.data())) return -1;
    HideProgress(s);
    bytes.resize(size_t(length));
    image = std::move(bytes);
    return 0;
}

int UploadProgram(MainState& s, const std::vector<int>& moduleTypes, Disassembly& out) {
    std::vector<uint8_t> image;
    if (ReadMasterImage(s, image, "Reading program from master..") != 0) return -1;
    out = Disassemble(image, moduleTypes);
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
        case MasterVerdict::Unknown: break;
    }
    return "";
}

void CompareWithMaster(MainState& s, bool whole) {
    if (!s.online || Running(s) || s.lineCount == 0) return;
    std::vector<uint8_t> mine;
    if (!QuietImage(s, mine)) {
        SetMasterVerdict(s, MasterVerdict::NotCompared);
        return;
    }
    if (whole) {
        s.progress.label2 = "Comparing with master..";
        ShowProgress(s, 2);
    }
    uint8_t first[17];
    if (!ReadImageBlock(s, 0, first)) {
        HideProgress(s);
        NotResponding(s);
        return;
    }
    const int length = Header(first);
    if (length != int(mine.size())) {
        HideProgress(s);
        SetMasterVerdict(s, MasterVerdict::Different);
        return;
    }
    if (length > kAutoCompareBytes && !whole) {
        SetMasterVerdict(s, MasterVerdict::NotCompared);
        return;
    }
    std::vector<uint8_t> theirs(size_t((length + kBlockLength - 1) / kBlockLength * kBlockLength));
    std::memcpy(theirs.data(), first, kBlockLength);
    if (!ReadBlocks(s, kBlockLength, length, theirs.data())) return;
    HideProgress(s);
    const bool same = std::memcmp(theirs.data(), mine.data(), mine.size()) == 0;
    SetMasterVerdict(s, same ? MasterVerdict::Same : MasterVerdict::Different);
}

void CompareWithMaster1Click(MainState& s) {
    if (!s.online) {
        s.message("Stepwright not on line - the program cannot be compared");
        return;
    }
    if (Running(s)) {
        s.message("Program running - stop it before comparing");
        return;
    }
    if (s.lineCount == 0) {
        s.message("No program to compare");
        return;
    }
    CompareWithMaster(s, true);
    if (CurrentMasterVerdict(s) == MasterVerdict::NotCompared)
        s.message("The program does not assemble - it cannot be compared");
}
