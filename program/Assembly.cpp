#include "program/Assembly.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "isa/Format.h"
#include "isa/Vocabulary.h"

namespace {

constexpr int kFirstAddress = 2;          // the two-byte length header comes first
constexpr int kLastStartOffset = 16344;   // latest start of a line: 16344 + 24 stays inside the image
constexpr uint16_t kNoAddress = 0xFFFF;

// A label that takes part in the duplicate check: neither empty nor "NULL".
bool IsCheckedLabel(const std::string& label) { return !label.empty() && label != "NULL"; }

int Fail(AssemblyError& error, AssemblyError::Mark mark, int line, std::string text) {
    error.mark = mark;
    error.line = line;
    error.text = std::move(text);
    return -1;
}

}  // namespace

int CheckDuplicateLabels(const ProgramState& s, AssemblyError& error) {
    // The first equal pair in order of its first line, then of its second, is
    // found in one pass: the first line i whose label occurs again later is the
    // first occurrence of its label, and the pair's second line is the next
    // occurrence of that label.
    std::unordered_map<std::string, int> firstLine;
    std::unordered_map<std::string, int> secondLine;
    for (int i = 0; i < s.lineCount; ++i) {
        const ProgramLine& line = s.lines[i];
        if (line.isComment()) continue;
        std::string label = line.labelText();
        if (!IsCheckedLabel(label)) continue;
        if (firstLine.emplace(label, i).second) continue;
        secondLine.emplace(label, i);
    }
    int first = -1;
    int later = -1;
    for (const auto& [label, j] : secondLine) {
        int i = firstLine[label];
        if (first < 0 || i < first) {
            first = i;
            later = j;
        }
    }
    if (later < 0) return 0;
    return Fail(error, AssemblyError::Mark::Select, later, "Redundant label found");
}

int BuildLabelTable(ProgramState& s, AssemblyError& error) {
    // Refuse before anything changes when the table cannot hold every label.
    int labelled = 0;
    for (int i = 0; i < s.lineCount; ++i)
        if (!s.lines[i].isComment() && s.lines[i].label[0] != '\0') ++labelled;
    if (labelled > kMaxLabels)
        return Fail(error, AssemblyError::Mark::None, -1,
                    Format("Too many labels: a program can hold at most %d labelled lines.", kMaxLabels));

    s.labelCount = 0;
    s.addressCounter = kFirstAddress;
    for (int i = 0; i < s.lineCount; ++i) {
        ProgramLine& line = s.lines[i];
        if (line.isComment()) continue;
        line.address = s.addressCounter;
        if (line.label[0] != '\0') {
            // Entries hold at most 15 characters; a longer label (never made by
            // the builder or the file reader) is cut rather than overrun.
            LabelEntry& entry = s.labelTable[s.labelCount];
            std::memset(entry.name, 0, sizeof entry.name);
            std::string label = line.labelText();
            std::memcpy(entry.name, label.data(), std::min(label.size(), sizeof entry.name - 1));
            entry.address = s.addressCounter;
            ++s.labelCount;
        }
        s.addressCounter = uint16_t(s.addressCounter + line.length);
    }
    return 0;
}

uint16_t FindLabel(const ProgramState& s, const std::string& name) {
    for (int k = 0; k < s.labelCount && k < kMaxLabels; ++k) {
        const LabelEntry& entry = s.labelTable[k];
        if (name == std::string(entry.name, strnlen(entry.name, sizeof entry.name))) return entry.address;
    }
    return kNoAddress;
}

int ResolveLabels(ProgramState& s, AssemblyError& error) {
    // Each label table entry's name to its address, the first entry of a name
    // kept (as FindLabel finds it): built once, so that resolving stays linear
    // in the lines however many of them jump.
    std::unordered_map<std::string_view, uint16_t> addresses;
    const int entries = std::min(int(s.labelCount), kMaxLabels);
    addresses.reserve(size_t(entries));
    for (int k = 0; k < entries; ++k) {
        const LabelEntry& entry = s.labelTable[k];
        addresses.emplace(std::string_view(entry.name, strnlen(entry.name, sizeof entry.name)), entry.address);
    }
    for (int i = 0; i < s.lineCount; ++i) {
        ProgramLine& line = s.lines[i];
        if (line.isComment() || line.gotoLabel[0] == '\0') continue;
        std::string target = line.gotoLabelText();
        const auto found = addresses.find(target);
        line.targetAddress = found == addresses.end() ? kNoAddress : found->second;
        if (line.targetAddress == kNoAddress && target != "NULL")
            return Fail(error, AssemblyError::Mark::Focus, i, Format("Label '%s' undefined", target.c_str()));
        // The address takes two bytes from patchOffset on; a position on the
        // header or past the instruction comes only from a damaged record.
        if (!PatchFits(line))
            return Fail(error, AssemblyError::Mark::Focus, i,
                        Format("Program line %d is damaged: its jump address cannot be placed at byte %d.", i + 1,
                               int(line.patchOffset)));
        line.bytes[line.patchOffset] = uint8_t(line.targetAddress & 0xFF);
        line.bytes[line.patchOffset + 1] = uint8_t(line.targetAddress >> 8);
    }
    return 0;
}

int AssembleProgram(ProgramState& s, AssemblyError& error) {
    if (CheckDuplicateLabels(s, error) != 0) return -1;
    if (BuildLabelTable(s, error) != 0) return -1;
    if (ResolveLabels(s, error) != 0) return -1;

    s.addressCounter = kFirstAddress;
    for (int i = 0; i < s.lineCount; ++i) {
        const ProgramLine& line = s.lines[i];
        if (line.isComment()) continue;
        if (s.addressCounter > kLastStartOffset)
            return Fail(error, AssemblyError::Mark::None, -1,
                        Format("Program exceeds available memory (%d)", kImageSize));
        if (line.moduleAddress == 0 && line.commandCode == MasterCmd::kChangeBaud) s.programHasBaudChange = true;
        if (line.length > kMaxInstrBytes)
            return Fail(error, AssemblyError::Mark::Focus, i,
                        Format("Program line %d is damaged: it claims %d instruction bytes, more than %d.", i + 1,
                               int(line.length), kMaxInstrBytes));
        std::memcpy(&s.programImage[s.addressCounter], line.bytes, line.length);
        s.addressCounter = uint16_t(s.addressCounter + line.length);
    }
    s.programImage[0] = uint8_t(s.addressCounter & 0xFF);
    s.programImage[1] = uint8_t(s.addressCounter >> 8);
    s.imageLength = s.addressCounter;
    return 0;
}
