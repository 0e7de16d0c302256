// The sequencer (master) family: the commands the master executes itself.
// MasterCBoxClick lays out MasterGroup, EncodeMasterInstruction turns the panel
// into a master instruction (0xBB, data count, command code, data),
// LoadMasterInstruction puts a stored line back into the panel, and
// MasterListingRow gives the mnemonic of every 0xBB line, including the master
// instructions that the module families build.

#include "isa/Master.h"

#include <string>

#include "app/MainState.h"
#include "isa/Commands.h"
#include "isa/Frames.h"
#include "isa/Instruction.h"

namespace {

using namespace MasterCmd;

// Command codes by MasterCBox index.
constexpr int kCommandCount = 17;
constexpr uint8_t kCodeByIndex[kCommandCount] = {
    kGoTo,       kCall,  kReturn,   kIfGoTo,    kStopProgram, kPrint,     kSetTimer, kGetStatus, kMonitorSub,
    kDelay,      kWaitFor, kClearKey, kSetCounter, kCountDown, kTavoInit, kReset,    kChangeBaud};

// Data counts (byte 1) of the instructions with fixed data.
constexpr uint8_t kTargetData = 2;    // a jump target
constexpr uint8_t kTimeData = 2;      // a time in hundredths of a second
constexpr uint8_t kCounterData = 3;   // a start value or jump target, then the counter byte
constexpr uint8_t kBaudData = 1;      // a baud rate code
constexpr int kDataStart = 3;         // first data byte
constexpr int kCounterByte = 5;       // the counter in SetCounter and CountDown

// RadioGroup2 items (jump conditions) and RadioGroup1 items (wait conditions).
enum JumpItem { kJumpKey = 0, kJumpAnyKey, kJumpTimeout, kJumpCounter1, kJumpCounter2, kJumpCounter3,
                kJumpCounter4, kJumpModules };
enum WaitItem { kWaitKey = 0, kWaitAnyKey };

// Condition triplets: a key compares the whole key byte, any key its
// "pressed" bit; the timeout is one bit of the timer flags; counters and the
// module count compare their whole byte.
constexpr uint8_t kCounterSelectors[4] = {24, 26, 28, 30};
constexpr uint8_t kWholeByte = 0xFF;
constexpr uint8_t kKeyPressedBit = 0x80;
constexpr uint8_t kTimedOutBit = 0x10;

// Print's line-end boxes.
constexpr uint8_t kCarriageReturn = 13;
constexpr uint8_t kLineFeed = 10;

constexpr int kMaxTime = 60000;      // hundredths of a second, the panel's limit
constexpr int kMaxPrintChars = 15;


// Counter k (1 to 4) as SetCounter and CountDown name it: the offset of its
// two bytes among the counters; and back.
uint8_t CounterByte(int k) { return uint8_t(2 * (k - 1)); }
int CounterNumber(uint8_t b) { return b / 2 + 1; }

// Counter number (1 to 4) from edit into its byte; false after a message.
bool PutCounter(MainState& s, ProgramLine& line, const Ctl& edit) {
    int k = 0;
    if (!ReadField(s, edit, 1, 4, k)) return false;
    line.bytes[kCounterByte] = CounterByte(k);
    return true;
}

// Data bytes a stored line can hold after its three header bytes, whatever its
// byte 1 claims.
int StoredDataCount(const ProgramLine& line) {
    int n = line.bytes[1];
    return n <= kMaxInstrBytes - kDataStart ? n : kMaxInstrBytes - kDataStart;
}

// The key character of a "Key = " condition: the first character of the edit,
// 0 when it is empty.
uint8_t KeyCharacter(const Ctl& edit) { return edit.text.empty() ? 0 : uint8_t(edit.text[0]); }

// The inverse: a one-character text, empty for the value 0.
std::string KeyText(uint8_t value) { return value == 0 ? std::string() : std::string(1, char(value)); }

// Triplet of the selected RadioGroup2 item at t; -1 when nothing is chosen or
// a compare value is rejected (message shown).
int WriteJumpCondition(MainState& s, uint8_t* t) {
    MasterPanel& p = s.form.master;
    switch (p.RadioGroup2.index) {
        case kJumpKey:
            t[0] = kSelectKey;
            t[1] = KeyCharacter(p.MasterEdit[3]);
            t[2] = kWholeByte;
            return 0;
        case kJumpAnyKey:
            t[0] = kSelectKey;
            t[1] = 0;
            t[2] = kKeyPressedBit;
            return 0;
        case kJumpTimeout:
            t[0] = kSelectTimer;
            t[1] = kTimedOutBit;
            t[2] = kTimedOutBit;
            return 0;
        case kJumpCounter1:
        case kJumpCounter2:
        case kJumpCounter3:
        case kJumpCounter4:
        case kJumpModules: {
            int item = p.RadioGroup2.index;
            const Ctl& edit = p.MasterEdit[4 + (item - kJumpCounter1)];
            int v = 0;
            if (!ReadField(s, edit, 0, 255, v)) return -1;
            t[0] = item == kJumpModules ? kSelectModuleCount : kCounterSelectors[item - kJumpCounter1];
            t[1] = uint8_t(v);
            t[2] = kWholeByte;
            return 0;
        }
        default:
            s.message("Choose a jump condition.");
            return -1;
    }
}

void LoadJumpCondition(MainState& s, const ProgramLine& line) {
    MasterPanel& p = s.form.master;
    const uint8_t* t = line.bytes + kIfGoToCondition;
    const uint8_t selector = t[0], value = t[1], mask = t[2];
    p.RadioGroup2.index = -1;
    if (selector == kSelectKey) {
        if (mask == kWholeByte) {
            p.RadioGroup2.index = kJumpKey;
            p.MasterEdit[3].text = KeyText(value);
        } else {
            p.RadioGroup2.index = kJumpAnyKey;
        }
    } else if (selector == kSelectTimer) {
        if (mask == kTimedOutBit) p.RadioGroup2.index = kJumpTimeout;
    } else if (selector == kSelectModuleCount) {
        p.RadioGroup2.index = kJumpModules;
        p.MasterEdit[8].text = std::to_string(value);
    } else {
        for (int k = 0; k < 4; ++k) {
            if (selector != kCounterSelectors[k]) continue;
            p.RadioGroup2.index = kJumpCounter1 + k;
            p.MasterEdit[4 + k].text = std::to_string(value);
        }
    }
}

}  // namespace

void MasterCBoxClick(MainState& s) {
    const int index = s.form.MasterCBox.index;
    if (index < 0 || index >= kCommandCount) return;
    MasterPanel& p = s.form.master;
    const uint8_t code = kCodeByIndex[index];
    CommandChosen(s, p.MasterGroup, "Master", kMasterMarker, code, kMasterCommands[index]);

    for (int i = 1; i <= 2; ++i) p.MasterLabel[i].visible = false;
    for (int i = 1; i <= 8; ++i) p.MasterEdit[i].visible = false;
    p.MasterCheck[1].visible = p.MasterCheck[2].visible = false;
    p.RadioGroup1.visible = p.RadioGroup2.visible = false;

    Ctl& label1 = p.MasterLabel[1];
    Ctl& edit1 = p.MasterEdit[1];
    switch (code) {
        case kGoTo: ShowField(label1, "GoTo Label", edit1); break;
        case kCall: ShowField(label1, "Call Label", edit1); break;
        case kIfGoTo:
            ShowField(label1, "GoTo Label", edit1);
            p.RadioGroup2.visible = true;
            p.RadioGroup2.index = -1;
            for (int i = 3; i <= 8; ++i) {
                p.MasterEdit[i].visible = true;
                p.MasterEdit[i].text.clear();
            }
            break;
        case kPrint:
            ShowField(label1, "Print Chars", edit1);
            p.MasterCheck[1].visible = p.MasterCheck[2].visible = true;
            break;
        case kSetTimer: ShowField(label1, "Timeout (.01 sec)", edit1); break;
        case kMonitorSub: ShowField(label1, "Subroutine Label", edit1); break;
        case kDelay: ShowField(label1, "Time (.01 sec)", edit1); break;
        case kWaitFor:
            ShowField(label1, "Timeout (.01 sec)", edit1);
            ShowField(p.MasterLabel[2], "GoTo on Timeout", p.MasterEdit[2]);
            p.RadioGroup1.visible = true;
            p.RadioGroup1.index = -1;
            p.MasterEdit[3].visible = true;
            p.MasterEdit[3].text.clear();
            break;
        case kSetCounter:
            ShowField(label1, "Counter (1 - 4)", edit1);
            ShowField(p.MasterLabel[2], "Initial Value", p.MasterEdit[2]);
            break;
        case kCountDown:
            ShowField(label1, "Counter (1 - 4)", edit1);
            ShowField(p.MasterLabel[2], "LoopTo if not 0", p.MasterEdit[2]);
            break;
        case kChangeBaud: ShowField(label1, "Baud Rate", edit1, "19200"); break;
        default: break;  // Return, StopProgram, GetStatus, ClearKey, TavoInit, Reset: no fields
    }
}

int EncodeMasterInstruction(MainState& s, ProgramLine& line) {
    MasterPanel& p = s.form.master;
    StartEncoding(s, line, 0);
    line.length = 3;

    switch (line.commandCode) {
        case kGoTo:
        case kCall:
        case kMonitorSub:
            line.bytes[1] = kTargetData;
            PutJumpTarget(line, kDataStart, p.MasterEdit[1].text);
            line.length = kDataStart + kTargetData;
            return 0;

        case kReturn:
        case kStopProgram:
        case kGetStatus:
        case kClearKey:
        case kTavoInit:
        case kReset:
            return 0;

        case kIfGoTo:
            return EncodeIfGoTo(line, p.MasterEdit[1].text, [&s](uint8_t* t) { return WriteJumpCondition(s, t); });

        case kPrint: {
            const std::string& text = p.MasterEdit[1].text;
            int n = 0;
            for (size_t i = 0; i < text.size() && n < kMaxPrintChars; ++i)
                line.bytes[kDataStart + n++] = uint8_t(text[i]);
            if (p.MasterCheck[1].checked) line.bytes[kDataStart + n++] = kCarriageReturn;
            if (p.MasterCheck[2].checked) line.bytes[kDataStart + n++] = kLineFeed;
            line.bytes[1] = uint8_t(n);
            line.length = uint8_t(kDataStart + n);
            return 0;
        }

        case kSetTimer:
        case kDelay: {
            line.bytes[1] = kTimeData;
            int v = 0;
            if (!ReadField(s, p.MasterEdit[1], 0, kMaxTime, v)) return -1;
            PutU16(line.bytes + kDataStart, uint32_t(v));
            line.length = kDataStart + kTimeData;
            return 0;
        }

        case kWaitFor: {
            // Status request slot: a master GetStatus, padded with zeros.
            uint8_t request[6] = {};
            PutMasterInstruction(request, kGetStatus);
            const bool key = p.RadioGroup1.index == kWaitKey;
            const auto keyCondition = [&p, key](uint8_t* t) {
                t[0] = kSelectKey;
                t[1] = key ? KeyCharacter(p.MasterEdit[3]) : 0;
                t[2] = key ? kWholeByte : kKeyPressedBit;
                return 0;
            };
            return EncodeWaitFor(s, line, request, keyCondition, p.MasterEdit[1], p.MasterEdit[2].text);
        }

        case kSetCounter: {
            line.bytes[1] = kCounterData;
            int v = 0;
            if (!ReadField(s, p.MasterEdit[2], 0, kMaxTime, v)) return -1;
            PutU16(line.bytes + kDataStart, uint32_t(v));
            if (!PutCounter(s, line, p.MasterEdit[1])) return -1;
            line.length = kDataStart + kCounterData;
            return 0;
        }

        case kCountDown: {
            line.bytes[1] = kCounterData;
            PutJumpTarget(line, kDataStart, p.MasterEdit[2].text);
            if (!PutCounter(s, line, p.MasterEdit[1])) return -1;
            line.length = kDataStart + kCounterData;
            return 0;
        }

        case kChangeBaud: {
            line.bytes[1] = kBaudData;
            int rate = 0;
            if (!ReadField(s, p.MasterEdit[1], 1200, 19200, rate)) rate = 0;   // the message below follows
            for (const BaudRateCode& b : kBaudRateCodes) {
                if (b.rate != rate) continue;
                line.bytes[kDataStart] = b.code;
                line.length = kDataStart + kBaudData;
                return 0;
            }
            s.message("Baud rate must equal 1200, 2400, 9600 or 19200");
            return -1;
        }

        default:
            return -1;  // no command chosen: Add and Change are disabled then
    }
}

int LoadMasterInstruction(MainState& s) {
    const ProgramLine& line = s.builderLine;
    if (!ChooseLoadedCommand(s, s.form.MasterCBox, IndexOfCode(kCodeByIndex, line.commandCode), MasterCBoxClick))
        return 0;

    MasterPanel& p = s.form.master;
    switch (line.commandCode) {
        case kGoTo:
        case kCall:
        case kMonitorSub:
            p.MasterEdit[1].text = line.gotoLabelText();
            break;
        case kIfGoTo:
            p.MasterEdit[1].text = line.gotoLabelText();
            LoadJumpCondition(s, line);
            break;
        case kPrint: {
            p.MasterCheck[1].checked = p.MasterCheck[2].checked = false;
            std::string text;
            bool ended = false;
            for (int i = 0; i < StoredDataCount(line); ++i) {
                const uint8_t b = line.bytes[kDataStart + i];
                if (b == kCarriageReturn) {
                    p.MasterCheck[1].checked = true;
                    ended = true;
                } else if (b == kLineFeed) {
                    p.MasterCheck[2].checked = true;
                    ended = true;
                } else if (!ended) {
                    text += char(b);
                }
            }
            p.MasterEdit[1].text = text;
            break;
        }
        case kSetTimer:
        case kDelay:
            p.MasterEdit[1].text = std::to_string(GetU16(line.bytes + kDataStart));
            break;
        case kWaitFor:
            p.MasterEdit[1].text = std::to_string(GetU16(line.bytes + kWaitForTimeout));
            p.MasterEdit[2].text = line.gotoLabelText();
            if (line.bytes[kWaitForCondition + 2] == kWholeByte) {
                p.RadioGroup1.index = kWaitKey;
                p.MasterEdit[3].text = KeyText(line.bytes[kWaitForCondition + 1]);
            } else {
                p.RadioGroup1.index = kWaitAnyKey;
            }
            break;
        case kSetCounter:
            p.MasterEdit[1].text = std::to_string(CounterNumber(line.bytes[kCounterByte]));
            p.MasterEdit[2].text = std::to_string(GetU16(line.bytes + kDataStart));
            break;
        case kCountDown:
            p.MasterEdit[1].text = std::to_string(CounterNumber(line.bytes[kCounterByte]));
            p.MasterEdit[2].text = line.gotoLabelText();
            break;
        case kChangeBaud:
            for (const BaudRateCode& b : kBaudRateCodes)
                if (b.code == line.bytes[kDataStart]) p.MasterEdit[1].text = std::to_string(b.rate);
            break;
        default:
            break;  // Return, StopProgram, GetStatus, ClearKey, TavoInit, Reset
    }
    return 0;
}

std::string MasterListingRow(const ProgramLine& line) {
    const std::string target = line.gotoLabelText();
    switch (line.commandCode) {
        case kGoTo: return "GoTo " + target;
        case kCall: return "Call " + target;
        case kReturn: return "Return";
        case kIfGoTo: return "If-GoTo " + target;
        case kStopProgram: return "StopProgram";
        case kPrint: {
            std::string text = "Print '";
            for (int i = 0; i < StoredDataCount(line); ++i) text += char(line.bytes[kDataStart + i]);
            return text + "'";
        }
        case kSetTimer: return Format("SetTimer %d", int(GetU16(line.bytes + kDataStart)));
        case kGetStatus: return "GetStatus";
        case kMonitorSub: return "MonitorSub " + target;
        case kDelay: return Format("Delay %d", int(GetU16(line.bytes + kDataStart)));
        case kWaitFor: return "WaitFor [timeout->" + target + "]";
        case kClearKey: return "ClearKey";
        case kSetCounter:
            return Format("SetCounter %d = %d", CounterNumber(line.bytes[kCounterByte]), int(GetU16(line.bytes + kDataStart)));
        case kCountDown: return Format("CountDown %d, LoopTo ", CounterNumber(line.bytes[kCounterByte])) + target;
        case kTavoInit: return "TavoInit";
        case kReset: return "Reset";
        case kSetOutputs: return "SetOutputs";
        case kChangeBaud:
            for (const BaudRateCode& b : kBaudRateCodes)
                if (b.code == line.bytes[kDataStart]) return "ChangeBaud " + std::to_string(b.rate);
            return std::string();
        default: return std::string();
    }
}
