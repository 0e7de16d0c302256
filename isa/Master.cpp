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

// Command codes by MasterCBox index; ChangeBaud (index 16) is code 19.
constexpr uint8_t kMasterCodes[17] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 19};

enum MasterCode : uint8_t {
    kGoTo = 0, kCall = 1, kReturn = 2, kIfGoTo = 3, kStopProgram = 4, kPrint = 5, kSetTimer = 6,
    kGetStatus = 7, kMonitorSub = 8, kDelay = 9, kWaitFor = 10, kClearKey = 11, kSetCounter = 12,
    kCountDown = 13, kTavoInit = 14, kReset = 15, kSetOutputs = 18, kChangeBaud = 19
};

// RadioGroup2 items (jump conditions) and RadioGroup1 items (wait conditions).
enum JumpItem { kJumpKey = 0, kJumpAnyKey, kJumpTimeout, kJumpCounter1, kJumpCounter2, kJumpCounter3,
                kJumpCounter4, kJumpModules };
enum WaitItem { kWaitKey = 0, kWaitAnyKey };

constexpr uint8_t kKeySelector = 3;
constexpr uint8_t kTimerSelector = 2;
constexpr uint8_t kModuleCountSelector = 0;
constexpr uint8_t kCounterSelectors[4] = {24, 26, 28, 30};

constexpr int kMaxTime = 60000;      // hundredths of a second, the panel's limit
constexpr int kMaxPrintChars = 15;

struct BaudCode {
    int rate;
    uint8_t code;
    const char* text;
};
constexpr BaudCode kBaudCodes[4] = {
    {19200, 0x0F, "19200"}, {9600, 0x20, "9600"}, {2400, 0x81, "2400"}, {1200, 0xFF, "1200"}};

// Counter number (1 to 4) from edit into byte 5 as its selector; false after a message.
bool PutCounter(MainState& s, ProgramLine& line, const Ctl& edit) {
    int k = ReadIntField(s, edit, 1, 4);
    if (k == 0) return false;
    line.bytes[5] = uint8_t(2 * (k - 1));
    return true;
}

// Data bytes a stored line can hold after its three header bytes, whatever its
// byte 1 claims.
int StoredDataCount(const ProgramLine& line) {
    int n = line.bytes[1];
    return n <= kMaxInstrBytes - 3 ? n : kMaxInstrBytes - 3;
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
            t[0] = kKeySelector;
            t[1] = KeyCharacter(p.MasterEdit[3]);
            t[2] = 0xFF;
            return 0;
        case kJumpAnyKey:
            t[0] = kKeySelector;
            t[1] = 0;
            t[2] = 0x80;
            return 0;
        case kJumpTimeout:
            t[0] = kTimerSelector;
            t[1] = 0x10;
            t[2] = 0x10;
            return 0;
        case kJumpCounter1:
        case kJumpCounter2:
        case kJumpCounter3:
        case kJumpCounter4:
        case kJumpModules: {
            int item = p.RadioGroup2.index;
            const Ctl& edit = p.MasterEdit[4 + (item - kJumpCounter1)];
            int v = ReadIntField(s, edit, 0, 255);
            if (v == -1) return -1;
            t[0] = item == kJumpModules ? kModuleCountSelector : kCounterSelectors[item - kJumpCounter1];
            t[1] = uint8_t(v);
            t[2] = 0xFF;
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
    if (selector == kKeySelector) {
        if (mask == 0xFF) {
            p.RadioGroup2.index = kJumpKey;
            p.MasterEdit[3].text = KeyText(value);
        } else {
            p.RadioGroup2.index = kJumpAnyKey;
        }
    } else if (selector == kTimerSelector) {
        if (mask == 0x10) p.RadioGroup2.index = kJumpTimeout;
    } else if (selector == kModuleCountSelector) {
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
    if (index < 0 || index >= 17) return;
    MasterPanel& p = s.form.master;
    const uint8_t code = kMasterCodes[index];
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
            line.bytes[1] = 2;
            PutJumpTarget(line, 3, p.MasterEdit[1].text);
            line.length = 5;
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
            for (size_t i = 0; i < text.size() && n < kMaxPrintChars; ++i) line.bytes[3 + n++] = uint8_t(text[i]);
            if (p.MasterCheck[1].checked) line.bytes[3 + n++] = 13;
            if (p.MasterCheck[2].checked) line.bytes[3 + n++] = 10;
            line.bytes[1] = uint8_t(n);
            line.length = uint8_t(n + 3);
            return 0;
        }

        case kSetTimer:
        case kDelay: {
            line.bytes[1] = 2;
            int v = ReadIntField(s, p.MasterEdit[1], 0, kMaxTime);
            if (v == -1) return -1;
            PutU16(line.bytes + 3, uint32_t(v));
            line.length = 5;
            return 0;
        }

        case kWaitFor: {
            // Status request slot: a master GetStatus, padded with zeros.
            const uint8_t request[6] = {kMasterMarker, 0, kGetStatus, 0, 0, 0};
            const bool key = p.RadioGroup1.index == kWaitKey;
            const auto keyCondition = [&p, key](uint8_t* t) {
                t[0] = kKeySelector;
                t[1] = key ? KeyCharacter(p.MasterEdit[3]) : 0;
                t[2] = key ? 0xFF : 0x80;
                return 0;
            };
            return EncodeWaitFor(s, line, request, keyCondition, p.MasterEdit[1], p.MasterEdit[2].text);
        }

        case kSetCounter: {
            line.bytes[1] = 3;
            int v = ReadIntField(s, p.MasterEdit[2], 0, kMaxTime);
            if (v == -1) return -1;
            PutU16(line.bytes + 3, uint32_t(v));
            if (!PutCounter(s, line, p.MasterEdit[1])) return -1;
            line.length = 6;
            return 0;
        }

        case kCountDown: {
            line.bytes[1] = 3;
            PutJumpTarget(line, 3, p.MasterEdit[2].text);
            if (!PutCounter(s, line, p.MasterEdit[1])) return -1;
            line.length = 6;
            return 0;
        }

        case kChangeBaud: {
            line.bytes[1] = 1;
            int rate = ReadIntField(s, p.MasterEdit[1], 1200, 19200);
            for (const BaudCode& b : kBaudCodes) {
                if (b.rate != rate) continue;
                line.bytes[3] = b.code;
                line.length = 4;
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
    if (!ChooseLoadedCommand(s, s.form.MasterCBox, IndexOfCode(kMasterCodes, line.commandCode), MasterCBoxClick))
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
                const uint8_t b = line.bytes[3 + i];
                if (b == 13) {
                    p.MasterCheck[1].checked = true;
                    ended = true;
                } else if (b == 10) {
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
            p.MasterEdit[1].text = std::to_string(GetU16(line.bytes + 3));
            break;
        case kWaitFor:
            p.MasterEdit[1].text = std::to_string(GetU16(line.bytes + kWaitForTimeout));
            p.MasterEdit[2].text = line.gotoLabelText();
            if (line.bytes[kWaitForCondition + 2] == 0xFF) {
                p.RadioGroup1.index = kWaitKey;
                p.MasterEdit[3].text = KeyText(line.bytes[kWaitForCondition + 1]);
            } else {
                p.RadioGroup1.index = kWaitAnyKey;
            }
            break;
        case kSetCounter:
            p.MasterEdit[1].text = std::to_string(line.bytes[5] / 2 + 1);
            p.MasterEdit[2].text = std::to_string(GetU16(line.bytes + 3));
            break;
        case kCountDown:
            p.MasterEdit[1].text = std::to_string(line.bytes[5] / 2 + 1);
            p.MasterEdit[2].text = line.gotoLabelText();
            break;
        case kChangeBaud:
            for (const BaudCode& b : kBaudCodes)
                if (b.code == line.bytes[3]) p.MasterEdit[1].text = b.text;
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
            for (int i = 0; i < StoredDataCount(line); ++i) text += char(line.bytes[3 + i]);
            return text + "'";
        }
        case kSetTimer: return Format("SetTimer %d", int(GetU16(line.bytes + 3)));
        case kGetStatus: return "GetStatus";
        case kMonitorSub: return "MonitorSub " + target;
        case kDelay: return Format("Delay %d", int(GetU16(line.bytes + 3)));
        case kWaitFor: return "WaitFor [timeout->" + target + "]";
        case kClearKey: return "ClearKey";
        case kSetCounter:
            return Format("SetCounter %d = %d", line.bytes[5] / 2 + 1, int(GetU16(line.bytes + 3)));
        case kCountDown: return Format("CountDown %d, LoopTo ", line.bytes[5] / 2 + 1) + target;
        case kTavoInit: return "TavoInit";
        case kReset: return "Reset";
        case kSetOutputs: return "SetOutputs";
        case kChangeBaud:
            for (const BaudCode& b : kBaudCodes)
                if (b.code == line.bytes[3]) return std::string("ChangeBaud ") + b.text;
            return std::string();
        default: return std::string();
    }
}
