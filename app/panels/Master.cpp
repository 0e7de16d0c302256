// The sequencer (master) family's panel, MasterGroup: the control that shows
// each field of each master command.  The commands themselves (fields, bytes,
// listing) are described in isa/desc/Master.cpp; app/panels/Panel.cpp lays the panel
// out, reads it and fills it from these rows.

#include "app/panels/Master.h"

#include "app/panels/Panel.h"

const PanelLayout& MasterLayout() {
    // No check box is unchecked when a command is chosen: Print's two keep
    // their marks from one command to the next.
    static const PanelLayout layout = {
        isa::Family::Master,
        {},
        {
            {"GoTo", {{"->", "MasterEdit1"}}},
            {"Call", {{"->", "MasterEdit1"}}},
            {"Return", {}},
            // The edits beside RadioGroup2's items: the key, the four counters
            // and the module count.
            {"If-GoTo",
             {{"->", "MasterEdit1"},
              {"condition", "RadioGroup2"},
              {"key", "MasterEdit3"},
              {"counter-1", "MasterEdit4"},
              {"counter-2", "MasterEdit5"},
              {"counter-3", "MasterEdit6"},
              {"counter-4", "MasterEdit7"},
              {"mod", "MasterEdit8"}}},
            {"StopProgram", {}},
            {"Print",
             {{"print-chars", "MasterEdit1"},
              {"add-carriage-return", "MasterCheck1", true},
              {"add-line-feed", "MasterCheck2", true}}},
            {"SetTimer", {{"timeout", "MasterEdit1"}}},
            {"GetStatus", {}},
            {"MonitorSub", {{"->", "MasterEdit1"}}},
            {"Delay", {{"time", "MasterEdit1"}}},
            {"WaitFor",
             {{"timeout", "MasterEdit1"}, {"->", "MasterEdit2"}, {"condition", "RadioGroup1"}, {"key", "MasterEdit3"}}},
            {"ClearKey", {}},
            {"SetCounter", {{"counter", "MasterEdit1"}, {"initial-value", "MasterEdit2"}}},
            {"CountDown", {{"counter", "MasterEdit1"}, {"->", "MasterEdit2"}}},
            {"TavoInit", {}},
            {"Reset", {}},
            {"ChangeBaud", {{"baud-rate", "MasterEdit1"}}},
        }};
    return layout;
}

void MasterCBoxClick(MainState& s) { ChooseCommand(s, isa::Family::Master); }

int EncodeMasterInstruction(MainState& s, ProgramLine& line) { return EncodePanel(s, line, isa::Family::Master); }

int LoadMasterInstruction(MainState& s) {
    LoadPanel(s, isa::Family::Master);
    return 0;
}
