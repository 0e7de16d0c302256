// The servo family as data: seven module frames, and If-GoTo and WaitFor on
// the servo's status byte.

#include "isa/Vocabulary.h"
#include "isa/desc/Build.h"

namespace isa::desc {

namespace {

using namespace ServoCmd;
constexpr uint8_t kStatusOnly = kTrailerStatusOnly;

CommandDesc Frame(int index, const char* name, uint8_t code, int dataCount, std::vector<uint8_t> data = {}) {
    CommandDesc c = Command(Family::Servo, index, name, code, Framing::Module, "Servo", dataCount, std::move(data));
    c.trailer = kStatusOnly;
    return c;
}

// The servo status byte as conditions; the selector is always the status
// byte, so only the mask and the compare value tell them apart.
std::vector<ChoiceItem> Conditions() {
    using namespace ServoStatus;
    return ConditionItems({{"move-done", "Move Done", "move-not-done", "Move NOT Done", 0, kMoveDone},
                           {"power-on", "Power On", "power-not-on", "Power NOT On", 0, kPowerOn},
                           {"overcurrent", "Overcurrent", "no-overcurrent", "NO Overcurrent", 0, kOvercurrent},
                           {"position-error", "Position Error", "no-position-error", "NO Position Error", 0,
                            kPositionError},
                           {"limit1-high", "Limit1 HIGH", "limit1-lo", "Limit1 LO", 0, kLimit1},
                           {"limit2-high", "Limit2 HIGH", "limit2-lo", "Limit2 LO", 0, kLimit2},
                           {"home-in-progress", "Home In Progress", "homing-done", "Homing Done", 0, kHoming}},
                          false);
}

// Move's control byte: 0x9F, bit 0x10 cleared for PWM mode, 0x20 set for
// velocity mode, 0x40 for reverse, or for a relative move in position mode.
// The reverse box and the relative box share bit 0x40: the relative box
// counts only in position mode, and a stored 0x40 shows as "Move Relative"
// in position mode and as "Reverse" in the other two.
CommandDesc Move() {
    std::vector<uint8_t> data(14, 0);
    data[0] = 0x9F;
    CommandDesc c = Frame(0, "Move", kMove, 14, data);
    constexpr int control = kDataStart;
    c.fields = {
        Number("position", "Position", 4, 4, kMinPosition, kMaxLong, {}, "encoder counts"),
        Number("velocity", "Velocity", 8, 4, 0, kMaxLong),
        Number("acceleration", "Acceleration", 12, 4, 0, kMaxLong),
        Number("pwm", "PWM", 16, 1, 0, 255, Value::ofInt(0)),
        Heading("Select operating modes:"),
        Check("pwm-mode", "PWM (default=Servo Mode)", control, {ClearBits(0x10)}, {Eq(0, 0x10, 0)}),
        Flag("vel-mode", "Vel. (default=Pos. Mode)", control, 0x20),
        Check("reverse", "Reverse (PWM, Vel. Mode)", control, {Or(0x40)}, {Ne(0, 0x40, 0), Ne(0, 0x30, 0x10)}),
        Gated(Check("move-relative", "Move Relative", control, {Or(0x40)}, {Eq(0, 0x70, 0x50)}), Gate::UnlessChecked,
              "pwm-mode", "vel-mode"),
    };
    return Listed(c, ListingRule::ServoMove);
}

CommandDesc SetGain() {
    CommandDesc c = Frame(2, "SetGain", kSetGain, 14);
    c.fields = {Number("kp", "Kp", 3, 2, 0, 32767, Value::ofInt(100)),
                Number("kd", "Kd", 5, 2, 0, 32767, Value::ofInt(1000)),
                Number("ki", "Ki", 7, 2, 0, 32767, Value::ofInt(0)),
                Number("il", "IL", 9, 2, 0, 32767, Value::ofInt(0)),
                Number("ol", "OL", 11, 1, 0, 255, Value::ofInt(255)),
                Number("cl", "CL", 12, 1, 0, 255, Value::ofInt(0)),
                Number("el", "EL", 13, 2, 0, 16383, Value::ofInt(2000)),
                Number("sr", "SR", 15, 1, 1, 255, Value::ofInt(1)),
                Number("dc", "DC", 16, 1, 0, 255, Value::ofInt(0))};
    return Listed(c, ListingRule::Text, "SetGain");
}

// StartHoming: one bit per condition; the stop mode only with "Stop on
// Home", which shows checked when a stop mode bit is stored.
CommandDesc StartHoming() {
    CommandDesc c = Frame(4, "StartHoming", kStartHoming, 1);
    constexpr int control = kDataStart;
    c.fields = {Heading("Home on any of these conditions:"),
                Flag("limit-1", "Limit 1", control, 0x01),
                Flag("limit-2", "Limit 2", control, 0x02),
                Flag("index", "Index", control, 0x08),
                Flag("pos-error", "Pos. Error", control, 0x40),
                Flag("cur-limit", "Cur. Limit", control, 0x80),
                Check("stop-on-home", "Stop on Home", control, {}, {Ne(0, 0x34, 0)}),
                Gated(StopModes(control, {{"Motor Off", 0x04}, {"Stop Abruptly", 0x10}, {"Stop Smoothly", 0x20}}, -1),
                      Gate::IfChecked, "stop-on-home")};
    return Listed(c, ListingRule::Text, "StartHoming");
}

}  // namespace

std::vector<CommandDesc> ServoCommands() {
    std::vector<CommandDesc> v;
    v.push_back(Move());

    CommandDesc c = Frame(1, "Stop", kStop, 1, {0x20});
    c.fields = {Flag("enable-amplifier", "Enable Amplifier", kDataStart, 0x01),
                StopModes(kDataStart, {{"Motor Off", 0x02}, {"Stop Abruptly", 0x04}, {"Stop Smoothly", 0x08}}, -1)};
    v.push_back(Listed(c, ListingRule::ServoStop));

    v.push_back(SetGain());

    // The box shows checked only when the byte is exactly 1.
    c = Frame(3, "ResetPosition", kResetPosition, 1);
    c.fields = {Check("relative-to-home", "Relative to Home", kDataStart, {Or(0x01)}, {Eq(0, 0xFF, 0x01)})};
    v.push_back(Listed(c, ListingRule::TextRelative, "ResetPosition"));

    v.push_back(StartHoming());

    c = Frame(5, "GetStatus", kGetStatus, 1, {0});   // no status items: the status byte alone
    v.push_back(Listed(c, ListingRule::Text, "GetStatus"));

    c = Frame(6, "ClearStatBits", kClearStatBits, 0);
    v.push_back(Listed(c, ListingRule::Text, "ClearStatBits"));

    const std::vector<ChoiceItem> conditions = Conditions();
    v.push_back(MotorIfGoTo(Family::Servo, 7, conditions));
    v.push_back(MotorWaitFor(Family::Servo, 8, conditions, 0, kStatusOnly));
    return v;
}

}  // namespace isa::desc
