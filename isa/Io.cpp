// The I/O family.  MakeOutputs, SetPWMs and GetStatus are module frames that
// the master passes to an I/O module; SetOutputs, If-GoTo and WaitFor are
// master instructions that the master executes on the module's behalf.
// IoCBoxClick lays out IoGroup, EncodeIoInstruction turns the panel into
// bytes, LoadIoInstruction puts a stored line back into the panel and
// IoListingRow gives the mnemonic of an I/O frame.

#include "isa/Io.h"

#include <string>

#include "app/MainState.h"
#include "isa/Commands.h"
#include "isa/Frames.h"
#include "isa/Instruction.h"

namespace {

using namespace IoCmd;
constexpr uint8_t kSetOutputs = MasterCmd::kSetOutputs;
constexpr uint8_t kIfGoTo = MasterCmd::kIfGoTo;
constexpr uint8_t kWaitFor = MasterCmd::kWaitFor;

// Command codes by IoCBox index.
constexpr int kCommandCount = 6;
constexpr uint8_t kCodeByIndex[kCommandCount] = {kMakeOutputs, kSetOutputs, kSetPWMs, kGetStatus, kIfGoTo, kWaitFor};

bool IsMasterForm(uint8_t code) { return code == kSetOutputs || code == kIfGoTo || code == kWaitFor; }

constexpr int kBits = 12;
constexpr uint8_t kHighBitsMask = 0x0F;   // bits 9 to 12 in the high bit byte

// GetStatus and WaitFor ask for the input bits.
constexpr uint8_t kStatusItems = kItemInputBits;
constexpr uint8_t kStatusTrailer = 3;

// IoRG items, and the compare values of a bit condition.
enum BitItem { kSetItem = 0, kClearItem = 1 };
constexpr uint8_t kBitSet = 0xFF;

// SetOutputs: 8 data bytes, four zero, the module address, the mode (1 sets
// the bits given, 0 clears the bits not given) and the two bit bytes.
constexpr uint8_t kSetOutputsData = 8;
constexpr int kSetOutputsAddress = 7;
constexpr uint8_t kModeSet = 1, kModeClear = 0;

// Bit k (1 to 12) lives in the low bit byte for k <= 8, else in the high one.
uint8_t BitMask(int k) { return uint8_t(1u << (k <= 8 ? k - 1 : k - 9)); }

// The two bit bytes with a 1 for every checked box.
void CheckedBits(const IoPanel& p, uint8_t& low, uint8_t& high) {
    low = high = 0;
    for (int k = 1; k <= kBits; ++k)
        if (p.IoCheck[k].checked) (k <= 8 ? low : high) |= BitMask(k);
}

// Checks Bit k for every 1 bit of the two bit bytes (high byte: bits 0 to 3 only).
void CheckBits(IoPanel& p, uint8_t low, uint8_t high) {
    for (int k = 1; k <= kBits; ++k) p.IoCheck[k].checked = ((k <= 8 ? low : high) & BitMask(k)) != 0;
}

// The first checked bit, 1 to 12, or 0 when none is checked.
int FirstCheckedBit(const IoPanel& p) {
    for (int k = 1; k <= kBits; ++k)
        if (p.IoCheck[k].checked) return k;
    return 0;
}

bool ClearSelected(const IoPanel& p) { return p.IoRG.index == kClearItem; }

// Condition triplet for a single bit: selector 1 (Bit 1-8) or 2 (Bit 9-12),
// compare value 0xFF for "Set" or 0 for "Clear", the bit's mask.
void PutBitCondition(uint8_t* p, const IoPanel& panel, int bit) {
    p[0] = bit <= 8 ? kSelectIoLow : kSelectIoHigh;
    p[1] = ClearSelected(panel) ? 0 : kBitSet;
    p[2] = BitMask(bit);
}

void LoadBitCondition(IoPanel& p, const uint8_t* triplet) {
    p.IoRG.index = triplet[1] == kBitSet ? kSetItem : kClearItem;
    if (triplet[0] == kSelectIoLow)
        CheckBits(p, triplet[2], 0);
    else
        CheckBits(p, 0, uint8_t(triplet[2] & kHighBitsMask));
}

void ShowBits(IoPanel& p, const char* instruction) {
    ShowCaption(p.IoLabel[0], instruction);
    for (int k = 1; k <= kBits; ++k) p.IoCheck[k].visible = true;
}

}  // namespace

void IoCBoxClick(MainState& s) {
    const int index = s.form.IoCBox.index;
    if (index < 0 || index >= kCommandCount) return;
    const uint8_t code = kCodeByIndex[index];
    const bool jump = code == kIfGoTo || code == kWaitFor;   // SetOutputs keeps the class text "I/O"
    CommandChosen(s, s.form.io.IoGroup, jump ? "Master" : "I/O", IsMasterForm(code) ? kMasterMarker : kFrameHeader,
                  code, kIoCommands[index]);

    IoPanel& p = s.form.io;
    for (int i = 0; i <= 2; ++i) p.IoLabel[i].visible = false;
    for (int k = 1; k <= kBits; ++k) {
        p.IoCheck[k].visible = false;
        p.IoCheck[k].checked = false;
    }
    p.IoRG.visible = false;
    p.IoEdit[1].visible = false;
    p.IoEdit[2].visible = false;

    // IoRG keeps its selection from one command to the next.
    switch (code) {
        case kMakeOutputs: ShowBits(p, "Select bits to be outputs:"); break;
        case kSetOutputs:
            ShowBits(p, "Select output bits to be changed:");
            p.IoRG.visible = true;
            break;
        case kSetPWMs:
            ShowField(p.IoLabel[1], "PWM 1", p.IoEdit[1], "0");
            ShowField(p.IoLabel[2], "PWM 2", p.IoEdit[2], "0");
            break;
        case kIfGoTo:
            ShowBits(p, "If (select a single bit):");
            p.IoRG.visible = true;
            ShowField(p.IoLabel[1], "GoTo Label", p.IoEdit[1], "");
            break;
        case kWaitFor:
            ShowBits(p, "Wait For (select a single bit):");
            p.IoRG.visible = true;
            ShowField(p.IoLabel[1], "Timeout (.01 sec)", p.IoEdit[1], "");
            ShowField(p.IoLabel[2], "GoTo on Timeout", p.IoEdit[2], "");
            break;
        default:  // GetStatus: no fields
            break;
    }
}

int EncodeIoInstruction(MainState& s, ProgramLine& line) {
    const uint8_t code = line.commandCode;
    if (IndexOfCode(kCodeByIndex, code) < 0) return -1;  // no I/O command chosen

    IoPanel& p = s.form.io;
    // A bit must be chosen before anything of the record is touched.
    const int bit = FirstCheckedBit(p);
    if ((code == kIfGoTo || code == kWaitFor) && bit == 0) {
        s.message("Choose a bit.");
        return -1;
    }

    StartEncoding(s, line, line.moduleAddress);

    uint8_t low = 0, high = 0;
    CheckedBits(p, low, high);
    const auto bitCondition = [&p, bit](uint8_t* t) {
        PutBitCondition(t, p, bit);
        return 0;
    };
    switch (code) {
        case kMakeOutputs:
            // A checked box makes the bit an output: a 0 bit.
            line.bytes[3] = uint8_t(~low);
            line.bytes[4] = uint8_t(~high);
            FinishModuleFrame(line, 2, kTrailerStatusOnly);
            return 0;
        case kSetOutputs: {
            const bool clear = ClearSelected(p);
            line.bytes[1] = kSetOutputsData;
            for (int i = 3; i < kSetOutputsAddress; ++i) line.bytes[i] = 0;
            line.bytes[kSetOutputsAddress] = line.moduleAddress;
            line.bytes[8] = clear ? kModeClear : kModeSet;
            line.bytes[9] = clear ? uint8_t(~low) : low;
            line.bytes[10] = clear ? uint8_t(~high) : high;
            line.length = 3 + kSetOutputsData;
            return 0;
        }
        case kSetPWMs:
            for (int i = 1; i <= 2; ++i) {
                int v = 0;
                if (!ReadField(s, p.IoEdit[i], 0, 255, v)) return -1;
                line.bytes[2 + i] = uint8_t(v);
            }
            FinishModuleFrame(line, 2, kTrailerStatusOnly);
            return 0;
        case kGetStatus:
            line.bytes[3] = kStatusItems;
            FinishModuleFrame(line, 1, kStatusTrailer);
            return 0;
        case kIfGoTo: return EncodeIfGoTo(line, p.IoEdit[1].text, bitCondition);
        case kWaitFor: return EncodeModuleWaitFor(s, line, kStatusItems, kStatusTrailer, bitCondition, p.IoEdit[1], p.IoEdit[2].text);
        default: return -1;
    }
}

int LoadIoInstruction(MainState& s) {
    const ProgramLine& line = s.builderLine;
    if (!ChooseLoadedCommand(s, s.form.IoCBox, IndexOfCode(kCodeByIndex, line.commandCode), IoCBoxClick)) return 0;

    IoPanel& p = s.form.io;
    const uint8_t* b = line.bytes;
    switch (line.commandCode) {
        case kMakeOutputs: CheckBits(p, uint8_t(~b[3]), uint8_t(~b[4] & kHighBitsMask)); break;
        case kSetOutputs:
            if (b[8] == kModeSet) {
                p.IoRG.index = kSetItem;
                CheckBits(p, b[9], uint8_t(b[10] & kHighBitsMask));
            } else {
                p.IoRG.index = kClearItem;
                CheckBits(p, uint8_t(~b[9]), uint8_t(~b[10] & kHighBitsMask));
            }
            break;
        case kSetPWMs:
            p.IoEdit[1].text = std::to_string(b[3]);
            p.IoEdit[2].text = std::to_string(b[4]);
            break;
        case kIfGoTo:
            p.IoEdit[1].text = line.gotoLabelText();
            LoadBitCondition(p, b + kIfGoToCondition);
            break;
        case kWaitFor:
            p.IoEdit[1].text = std::to_string(GetU16(b + kWaitForTimeout));
            p.IoEdit[2].text = line.gotoLabelText();
            LoadBitCondition(p, b + kWaitForCondition);
            break;
        default:  // GetStatus
            break;
    }
    return 0;
}

std::string IoListingRow(const ProgramLine& line) {
    switch (line.commandCode) {
        case kGetStatus: return "GetStatus";
        case kMakeOutputs: return "MakeOutputs";
        case kSetPWMs: return "SetPWMs";
        default: return std::string();
    }
}
