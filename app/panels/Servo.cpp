// The servo family's panel, ServoGroup: the control that shows each field of
// each servo command.  The commands themselves are described in
// isa/desc/Servo.cpp; app/panels/Panel.cpp lays the panel out, reads it and fills it
// from these rows.

#include "app/panels/Servo.h"

#include "app/panels/Panel.h"

const PanelLayout& ServoLayout() {
    // Choosing any command unchecks ServoCheck1 to 3 and 7.  ServoLabel10 is
    // the heading over the boxes, and over the condition box of If-GoTo and
    // WaitFor.
    static const PanelLayout layout = {
        isa::Family::Servo,
        {1, 2, 3, 7},
        {
            {"Move",
             {{"position", "ServoEdit1"},
              {"velocity", "ServoEdit2"},
              {"acceleration", "ServoEdit3"},
              {"pwm", "ServoEdit7"},
              {"", "ServoLabel10"},
              {"pwm-mode", "ServoCheck1"},
              {"vel-mode", "ServoCheck2"},
              {"reverse", "ServoCheck3"},
              {"move-relative", "ServoCheck7"}}},
            {"Stop", {{"enable-amplifier", "ServoCheck7"}, {"stop-mode", "ServoRG"}}},
            {"SetGain",
             {{"kp", "ServoEdit1"},
              {"kd", "ServoEdit2"},
              {"ki", "ServoEdit3"},
              {"il", "ServoEdit4"},
              {"ol", "ServoEdit5"},
              {"cl", "ServoEdit6"},
              {"el", "ServoEdit7"},
              {"sr", "ServoEdit8"},
              {"dc", "ServoEdit9"}}},
            {"ResetPosition", {{"relative-to-home", "ServoCheck7"}}},
            {"StartHoming",
             {{"", "ServoLabel10"},
              {"limit-1", "ServoCheck1"},
              {"limit-2", "ServoCheck2"},
              {"index", "ServoCheck3"},
              {"pos-error", "ServoCheck4"},
              {"cur-limit", "ServoCheck5"},
              {"stop-on-home", "ServoCheck7"},
              {"stop-mode", "ServoRG"}}},
            {"GetStatus", {}},
            {"ClearStatBits", {}},
            {"If-GoTo", {{"->", "ServoEdit1"}, {"condition", "ServoIfCBox"}}},
            {"WaitFor", {{"timeout", "ServoEdit1"}, {"->", "ServoEdit2"}, {"condition", "ServoIfCBox"}}},
        }};
    return layout;
}

void ServoCBoxClick(MainState& s) { ChooseCommand(s, isa::Family::Servo); }

int EncodeServoInstruction(MainState& s, ProgramLine& line) { return EncodePanel(s, line, isa::Family::Servo); }

int LoadServoInstruction(MainState& s) {
    LoadPanel(s, isa::Family::Servo);
    return 0;
}
