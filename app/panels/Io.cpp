// The I/O family's panel, IoGroup: the control that shows each field of each
// I/O command.  The commands themselves are described in isa/desc/Io.cpp;
// app/panels/Panel.cpp lays the panel out, reads it and fills it from these rows.

#include "app/panels/Io.h"

#include <string>

#include "app/panels/Panel.h"

namespace {

// The heading IoLabel0 over the twelve bit boxes, IoCheck1 to IoCheck12.  The
// boxes keep their captions "Bit 1" to "Bit 12" and are unchecked whenever a
// command is chosen; IoRG keeps its choice from one command to the next.
std::vector<FieldSlot> Bits(bool setOrClear) {
    static const char* const kIds[12] = {"bit-1", "bit-2", "bit-3", "bit-4",  "bit-5",  "bit-6",
                                         "bit-7", "bit-8", "bit-9", "bit-10", "bit-11", "bit-12"};
    static const char* const kBoxes[12] = {"IoCheck1", "IoCheck2", "IoCheck3", "IoCheck4",  "IoCheck5",  "IoCheck6",
                                           "IoCheck7", "IoCheck8", "IoCheck9", "IoCheck10", "IoCheck11", "IoCheck12"};
    std::vector<FieldSlot> slots = {{"", "IoLabel0"}};
    for (int k = 0; k < 12; ++k) slots.push_back({kIds[k], kBoxes[k], true});
    if (setOrClear) slots.push_back({"set-or-clear", "IoRG", true});
    return slots;
}

std::vector<FieldSlot> With(std::vector<FieldSlot> slots, const std::vector<FieldSlot>& more) {
    slots.insert(slots.end(), more.begin(), more.end());
    return slots;
}

}  // namespace

const PanelLayout& IoLayout() {
    static const PanelLayout layout = {
        isa::Family::Io,
        {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
        {
            {"MakeOutputs", Bits(false)},
            {"SetOutputs", Bits(true)},
            {"SetPWMs", {{"pwm-1", "IoEdit1"}, {"pwm-2", "IoEdit2"}}},
            {"GetStatus", {}},
            {"If-GoTo", With(Bits(true), {{"->", "IoEdit1"}})},
            {"WaitFor", With(Bits(true), {{"timeout", "IoEdit1"}, {"->", "IoEdit2"}})},
        }};
    return layout;
}

void IoCBoxClick(MainState& s) { ChooseCommand(s, isa::Family::Io); }

int EncodeIoInstruction(MainState& s, ProgramLine& line) { return EncodePanel(s, line, isa::Family::Io); }

int LoadIoInstruction(MainState& s) {
    LoadPanel(s, isa::Family::Io);
    return 0;
}
