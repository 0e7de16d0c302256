// The stepper family's panel, StepGroup: the control that shows each field of
// each stepper command.  The commands themselves are described in
// isa/desc/Stepper.cpp; app/panels/Panel.cpp lays the panel out, reads it and fills
// it from these rows.

#include "app/panels/Stepper.h"

#include "app/panels/Panel.h"

const PanelLayout& StepperLayout() {
    // As the servo panel: choosing any command unchecks StepCheck1 to 3 and 7.
    // StepEdit4 to StepEdit6, StepEdit8 and StepEdit9 are shown by no command.
    static const PanelLayout layout = {
        isa::Family::Stepper,
        {1, 2, 3, 7},
        {
            {"Move",
             {{"position", "StepEdit1"},
              {"speed", "StepEdit2"},
              {"acceleration", "StepEdit3"},
              {"velocity-mode", "StepCheck1"},
              {"reverse", "StepCheck2"}}},
            {"Stop", {{"enable-amplifier", "StepCheck7"}, {"stop-mode", "StepRG"}}},
            {"SetParam",
             {{"min-speed", "StepEdit1"},
              {"run-cur", "StepEdit2"},
              {"hold-cur", "StepEdit3"},
              {"therm-limit", "StepEdit7"},
              {"ignore-limits", "StepCheck1"},
              {"speed-1x", "StepCheck2"},
              {"speed-2x", "StepCheck3"},
              {"ignore-stop", "StepCheck4"},
              {"speed-4x", "StepCheck5"},
              {"speed-8x", "StepCheck6"},
              {"off-on-e-stop", "StepCheck7"}}},
            {"SetOutputs",
             {{"out1", "StepCheck1"},
              {"half-step", "StepCheck2"},
              {"slow-decay", "StepCheck3"},
              {"run-mode", "StepCheck4"},
              {"out5", "StepCheck5"}}},
            {"ResetPosition", {}},
            {"StartHoming",
             {{"", "StepLabel10"},
              {"limit-1", "StepCheck1"},
              {"home-switch", "StepCheck2"},
              {"limit-2", "StepCheck4"},
              {"stop-on-home", "StepCheck7"},
              {"stop-mode", "StepRG"}}},
            {"GetStatus", {}},
            {"If-GoTo", {{"->", "StepEdit1"}, {"condition", "StepIfCBox"}}},
            {"WaitFor", {{"timeout", "StepEdit1"}, {"->", "StepEdit2"}, {"condition", "StepIfCBox"}}},
        }};
    return layout;
}

void StepCBoxClick(MainState& s) { ChooseCommand(s, isa::Family::Stepper); }

int EncodeStepperInstruction(MainState& s, ProgramLine& line) { return EncodePanel(s, line, isa::Family::Stepper); }

int LoadStepperInstruction(MainState& s) {
    LoadPanel(s, isa::Family::Stepper);
    return 0;
}
