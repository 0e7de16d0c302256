// The stepper family as data: seven module frames, and If-GoTo and WaitFor on
// the stepper's status and input bytes.

#include "isa/Vocabulary.h"
#include "isa/desc/Build.h"

namespace isa::desc {

namespace {

using namespace StepCmd;
constexpr uint8_t kStatusOnly = kTrailerStatusOnly;
constexpr uint8_t kStatusTrailer = 2;   // GetStatus: the status byte and the input byte

CommandDesc Frame(int index, const char* name, uint8_t code, int dataCount, std::vector<uint8_t> data = {}) {
    CommandDesc c = Command(Family::Stepper, index, name, code, Framing::Module, "Step", dataCount, std::move(data));
    c.trailer = kStatusOnly;
    return c;
}

// Selector 0 is the status byte, 1 the input byte.
std::vector<ChoiceItem> Conditions() {
    using namespace StepStatus;
    constexpr uint8_t kStat = kSelectStatusByte, kIn = kSelectStepInputs;
    return ConditionItems(
        {{"moving", "Moving", "not-moving", "Not Moving", kStat, kMoving},
         {"power-on", "Power On", "power-off", "Power Off", kStat, kPowerOn},
         {"amp-enabled", "Amp Enabled", "amp-disabled", "Amp Disabled", kStat, kAmpEnabled},
         {"at-speed", "At Speed", "not-at-speed", "NOT At Speed", kStat, kAtSpeed},
         {"home-in-progress", "Home In Progress", "homing-done", "Homing Done", kStat, kHoming},
         {"limit1-hi", "Limit1 HI", "limit1-lo", "Limit1 LO", kIn, StepInput::kLimit1},
         {"limit2-hi", "Limit2 HI", "limit2-lo", "Limit2 LO", kIn, StepInput::kLimit2},
         {"home-sw-hi", "Home Sw. HI", "home-sw-lo", "Home Sw. LO", kIn, StepInput::kHomeSwitch},
         {"e-stop-hi", "E-Stop HI", "e-stop-lo", "E-Stop LO", kIn, StepInput::kEStop},
         {"input1-hi", "Input1 HI", "input1-lo", "Input1 LO", kIn, StepInput::kInput1},
         {"input2-hi", "Input2 HI", "input2-lo", "Input2 LO", kIn, StepInput::kInput2}},
        true);
}

// Move has two frames under one command code.  Position mode: command byte
// 0x74, control 0x87, position, speed, acceleration.  Velocity mode ("Velocity
// mode" checked; control bit 0x01 clear): command byte 0x34, control 0x86 with
// 0x10 for reverse, speed, acceleration; the position is not read and shows 0.
CommandDesc Move() {
    CommandDesc c = Frame(0, "Move", kMove, 7, {0x87});
    c.hasAlternate = true;
    c.alternate.commandByte = kMoveVelocity;
    c.alternate.dataCount = 3;
    c.alternate.data = {0x86, 0, 0};
    c.alternateSwitch = "velocity-mode";
    c.alternateTest = Eq(kDataStart, 0x01, 0);

    FieldDesc position = Number("position", "Position", 4, 4, kMinPosition, kMaxLong, {}, "steps");
    position.altShows = Value::ofInt(0);
    FieldDesc speed = Number("speed", "Speed", 8, 1, 1, 250);
    speed.altAt = 4;
    FieldDesc acceleration = Number("acceleration", "Acceleration", 9, 1, 1, 255);
    acceleration.altAt = 5;
    FieldDesc velocityMode = Check("velocity-mode", "Velocity mode", kDataStart, {}, {Eq(0, 0x01, 0)});
    velocityMode.altAt = kDataStart;
    FieldDesc reverse = Check("reverse", "Reverse (vel. mode only)", -1, {Or(0x10)}, {Ne(0, 0x10, 0)});
    reverse.altAt = kDataStart;
    c.fields = {position, speed, acceleration, velocityMode, reverse};
    return Listed(c, ListingRule::StepMove);
}

// SetParam: three flags, and the speed factor in bits 0 and 1 from four
// independent boxes, of which the first checked of 1x, 2x and 4x counts (3,
// 2, 1); 8x or none gives 0.  A stored factor checks exactly one box.
CommandDesc SetParam() {
    CommandDesc c = Frame(2, "SetParam", kSetParam, 5);
    constexpr int control = kDataStart;
    auto speed = [](const char* id, const char* caption, uint8_t factor, bool initial) {
        FieldDesc f = Check(id, caption, control, factor ? std::vector<Effect>{Or(factor)} : std::vector<Effect>{},
                            {Eq(0, 0x03, factor)}, initial);
        f.group = 1;
        return f;
    };
    c.fields = {Number("min-speed", "Min. Speed", 4, 1, 0, 250, Value::ofInt(1)),
                Number("run-cur", "Run Cur.", 5, 1, 0, 255, Value::ofInt(20)),
                Number("hold-cur", "Hold Cur.", 6, 1, 0, 255, Value::ofInt(10)),
                Number("therm-limit", "Therm. Limit", 7, 1, 0, 255, Value::ofInt(0)),
                Flag("ignore-limits", "Ignore Limits", control, 0x04),
                speed("speed-1x", "Speed 1x", 3, true),
                speed("speed-2x", "Speed 2x", 2, false),
                Flag("ignore-stop", "Ignore Stop", control, 0x08),
                speed("speed-4x", "Speed 4x", 1, false),
                speed("speed-8x", "Speed 8x", 0, false),
                Flag("off-on-e-stop", "Off on E-Stop", control, 0x10)};
    return Listed(c, ListingRule::Text, "SetParam");
}

CommandDesc StartHoming() {
    CommandDesc c = Frame(5, "StartHoming", kStartHoming, 1);
    constexpr int control = kDataStart;
    c.fields = {Heading("Home on any of these conditions:"),
                Flag("limit-1", "Limit 1", control, 0x01),
                Flag("home-switch", "Home Switch", control, 0x08),
                Flag("limit-2", "Limit 2", control, 0x02),
                Check("stop-on-home", "Stop on Home", control, {}, {Ne(0, 0x30, 0)}),
                Gated(StopModes(control, {{"Stop Abruptly", 0x10}, {"Stop Smoothly", 0x20}}, -1), Gate::IfChecked,
                      "stop-on-home")};
    return Listed(c, ListingRule::Text, "StartHoming");
}

}  // namespace

std::vector<CommandDesc> StepperCommands() {
    std::vector<CommandDesc> v;
    v.push_back(Move());

    // A stored Stop without a mode bit shows the panel's default, "Stop Abruptly".
    CommandDesc c = Frame(1, "Stop", kStop, 1);
    c.fields = {Flag("enable-amplifier", "Enable Amplifier", kDataStart, 0x01),
                StopModes(kDataStart, {{"Stop Abruptly", 0x04}, {"Stop Smoothly", 0x08}}, 0)};
    v.push_back(Listed(c, ListingRule::StepStop));

    v.push_back(SetParam());

    c = Frame(3, "SetOutputs", kSetOutputs, 1);
    c.fields = {Flag("out1", "Out1", kDataStart, 0x01), Flag("half-step", "Half Step", kDataStart, 0x02, true),
                Flag("slow-decay", "Slow Decay", kDataStart, 0x04, true),
                Flag("run-mode", "Run Mode", kDataStart, 0x08, true), Flag("out5", "Out5", kDataStart, 0x10)};
    v.push_back(Listed(c, ListingRule::Text, "SetOutputs"));

    c = Frame(4, "ResetPosition", kResetPosition, 0);
    v.push_back(Listed(c, ListingRule::Text, "ResetPosition"));

    v.push_back(StartHoming());

    c = Frame(6, "GetStatus", kGetStatus, 1, {kItemStepInputs});
    c.trailer = kStatusTrailer;
    v.push_back(Listed(c, ListingRule::Text, "GetStatus"));

    const std::vector<ChoiceItem> conditions = Conditions();
    v.push_back(MotorIfGoTo(Family::Stepper, 7, conditions));
    v.push_back(MotorWaitFor(Family::Stepper, 8, conditions, kItemStepInputs, kStatusTrailer));
    return v;
}

}  // namespace isa::desc
