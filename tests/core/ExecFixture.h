#pragma once
// Shared set-up of the download, execution and status window tests: a main
// window with the master on line, and program lines built byte by byte.

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "ScriptedMaster.h"
#include "app/Lifecycle.h"
#include "app/MainState.h"
#include "app/Editing.h"

// Exchanges of the scripted master with one command byte, in order.
inline std::vector<ScriptedMaster::Exchange> ExchangesOf(const ScriptedMaster& m, uint8_t command) {
    std::vector<ScriptedMaster::Exchange> out;
    for (const auto& e : m.exchanges)
        if (e.command == command) out.push_back(e);
    return out;
}

// A started main window with the master on line, as a detection leaves it.
inline std::unique_ptr<MainState> OnlineState(Platform& ui) {
    auto s = std::make_unique<MainState>(ui);
    StartTimerTimer(*s);
    s->com.visible = false;
    s->online = true;
    s->form.ProgExeGroup.enabled = true;
    s->form.ProgExeGroup.caption = "Program Execution";
    return s;
}

// A master instruction: 0xBB, data count, command code, data.
inline ProgramLine MasterLine(uint8_t code, std::vector<uint8_t> data, const char* label = "") {
    ProgramLine line;
    std::memset(&line, 0, sizeof line);
    line.setLabel(label);
    line.bytes[0] = 0xBB;
    line.bytes[1] = uint8_t(data.size());
    line.bytes[2] = code;
    for (size_t i = 0; i < data.size(); ++i) line.bytes[3 + i] = data[i];
    line.length = uint8_t(data.size() + 3);
    line.commandCode = code;
    line.moduleAddress = 0;
    return line;
}

// A master instruction of exactly length bytes (3 to 24).
inline ProgramLine FillerLine(int length, uint8_t fill = 0x01) {
    return MasterLine(5, std::vector<uint8_t>(size_t(length - 3), fill));
}

inline ProgramLine DelayLine(uint16_t hundredths) {
    return MasterLine(9, {uint8_t(hundredths & 0xFF), uint8_t(hundredths >> 8)});
}

// Puts the lines into the line store and rebuilds the listing.
inline void SetProgram(MainState& s, const std::vector<ProgramLine>& lines) {
    s.lineCount = 0;
    for (const auto& l : lines) s.lines[s.lineCount++] = l;
    RebuildListing(s);
}

inline ProgramLine CommentLine(const char* text) {
    ProgramLine line;
    line.setComment(text);
    return line;
}
