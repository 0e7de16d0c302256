// The master family as data: the 17 commands of the master's command box,
// all master instructions (0xBB, data count, command code, data).

#include "isa/Vocabulary.h"
#include "isa/desc/Build.h"

namespace isa::desc {

namespace {

using namespace MasterCmd;

CommandDesc Master(int index, const char* name, uint8_t code, int dataCount, std::vector<uint8_t> data = {}) {
    return Command(Family::Master, index, name, code, Framing::Master, "Master", dataCount, std::move(data));
}

// The edit beside a condition item: read (and shown) only while that item is chosen.
FieldDesc Beside(FieldDesc f, int item) { return Gated(std::move(f), Gate::IfItem, "condition", "", item); }

// The key character beside "Key = ": its first character, 0 when empty.
FieldDesc KeyField(int at, int item) {
    FieldDesc f;
    f.id = "key";
    f.caption = "Key = ";
    f.kind = FieldKind::Text;
    f.at = at;
    f.maxChars = 1;
    f.transform = Transform::Key;
    f.initial = Value::ofText("");
    return Beside(std::move(f), item);
}

constexpr uint8_t kWholeByte = 0xFF;
constexpr uint8_t kKeyPressedBit = 0x80;
constexpr uint8_t kTimedOutBit = 0x10;

CommandDesc IfGoTo() {
    CommandDesc c = Master(3, "If-GoTo", kIfGoTo, kIfGoToData);
    // Items by RadioGroup2 order; a stored triplet shows the first item whose
    // tests hold: selector 3 is "Key = " with the whole byte compared, else
    // "Any key"; selector 2 is "Timeout" only with its mask.
    std::vector<ChoiceItem> items = {
        Item("key", "Key = ", {Put(0, kSelectKey), Put(2, kWholeByte)}, {Eq(0, 0xFF, kSelectKey), Eq(2, 0xFF, kWholeByte)}),
        Item("any-key", "Any key", {Put(0, kSelectKey), Put(1, 0), Put(2, kKeyPressedBit)}, {Eq(0, 0xFF, kSelectKey)}),
        Item("timeout", "Timeout", {Put(0, kSelectTimer), Put(1, kTimedOutBit), Put(2, kTimedOutBit)},
             {Eq(0, 0xFF, kSelectTimer), Eq(2, 0xFF, kTimedOutBit)}),
    };
    for (int k = 1; k <= 4; ++k) {
        const uint8_t selector = uint8_t(24 + 2 * (k - 1));
        items.push_back(Item("counter-" + std::to_string(k), "Counter " + std::to_string(k) + " =",
                             {Put(0, selector), Put(2, kWholeByte)}, {Eq(0, 0xFF, selector)}));
    }
    items.push_back(Item("mod", "# Mod. = ", {Put(0, kSelectModuleCount), Put(2, kWholeByte)},
                         {Eq(0, 0xFF, kSelectModuleCount)}));
    FieldDesc condition = Choice("condition", "Jump Condition: ", FieldKind::Choice, kIfGoToCondition, items, -1);
    condition.noneMessage = "Choose a jump condition.";

    c.fields = {Target("GoTo Label", kIfGoToTarget), condition, KeyField(kIfGoToCondition + 1, 0)};
    for (int k = 1; k <= 4; ++k)
        c.fields.push_back(Beside(Number("counter-" + std::to_string(k), "Counter " + std::to_string(k) + " =",
                                         kIfGoToCondition + 1, 1, 0, 255),
                                  2 + k));
    c.fields.push_back(Beside(Number("mod", "# Mod. = ", kIfGoToCondition + 1, 1, 0, 255), 7));
    Listed(c, ListingRule::TextTarget, "If-GoTo ");
    return c;
}

CommandDesc WaitFor() {
    // The status request slot holds a master GetStatus, padded with zeros.
    std::vector<uint8_t> data(kWaitForData, 0);
    data[0] = kMasterMarker;
    data[2] = kGetStatus;
    CommandDesc c = Master(10, "WaitFor", kWaitFor, kWaitForData, data);
    // No item chosen waits for any key; a stored triplet shows "Key = " when
    // it compares the whole key byte.
    FieldDesc condition = Choice("condition", "Wait Condition: ", FieldKind::Choice, kWaitForCondition,
                                 {Item("key", "Key = ", {Put(0, kSelectKey), Put(2, kWholeByte)}, {Eq(2, 0xFF, kWholeByte)}),
                                  Item("any-key", "Any key", {Put(0, kSelectKey), Put(1, 0), Put(2, kKeyPressedBit)})},
                                 -1);
    condition.encodeNone = 1;
    c.fields = {Time("timeout", "Timeout (.01 sec)", kWaitForTimeout), Target("GoTo on Timeout", kWaitForTarget),
                condition, KeyField(kWaitForCondition + 1, 0)};
    Listed(c, ListingRule::WaitFor);
    return c;
}

// Counter k (1 to 4) in byte 5 of SetCounter and CountDown.
FieldDesc CounterField() {
    FieldDesc f = Number("counter", "Counter (1 - 4)", 5, 1, 1, 4);
    f.transform = Transform::Counter;
    return f;
}

}  // namespace

std::vector<CommandDesc> MasterCommands() {
    std::vector<CommandDesc> v;

    CommandDesc c = Master(0, "GoTo", kGoTo, 2);
    c.fields = {Target("GoTo Label", kDataStart)};
    v.push_back(Listed(c, ListingRule::TextTarget, "GoTo "));

    c = Master(1, "Call", kCall, 2);
    c.fields = {Target("Call Label", kDataStart)};
    v.push_back(Listed(c, ListingRule::TextTarget, "Call "));

    c = Master(2, "Return", kReturn, 0);
    v.push_back(Listed(c, ListingRule::Text, "Return"));

    v.push_back(IfGoTo());

    c = Master(4, "StopProgram", kStopProgram, 0);
    v.push_back(Listed(c, ListingRule::Text, "StopProgram"));

    // Print: up to 15 characters, then a carriage return and a line feed as
    // checked; the check boxes keep their marks from one command to the next.
    c = Master(5, "Print", kPrint, -1);
    FieldDesc text;
    text.id = "print-chars";
    text.caption = "Print Chars";
    text.kind = FieldKind::Text;
    text.at = kDataStart;
    text.maxChars = kTextChars;
    text.initial = Value::ofText("");
    c.fields = {text, Check("add-carriage-return", "Add Carriage return", kDataStart, {Append(13)}, {}),
                Check("add-line-feed", "Add Line feed", kDataStart, {Append(10)}, {})};
    v.push_back(Listed(c, ListingRule::Print));

    c = Master(6, "SetTimer", kSetTimer, 2);
    c.fields = {Time("timeout", "Timeout (.01 sec)", kDataStart)};
    v.push_back(Listed(c, ListingRule::TextTime, "SetTimer "));

    c = Master(7, "GetStatus", kGetStatus, 0);
    v.push_back(Listed(c, ListingRule::Text, "GetStatus"));

    c = Master(8, "MonitorSub", kMonitorSub, 2);
    c.fields = {Target("Subroutine Label", kDataStart)};
    v.push_back(Listed(c, ListingRule::TextTarget, "MonitorSub "));

    c = Master(9, "Delay", kDelay, 2);
    c.fields = {Time("time", "Time (.01 sec)", kDataStart)};
    v.push_back(Listed(c, ListingRule::TextTime, "Delay "));

    v.push_back(WaitFor());

    c = Master(11, "ClearKey", kClearKey, 0);
    v.push_back(Listed(c, ListingRule::Text, "ClearKey"));

    // The initial value is read before the counter.
    c = Master(12, "SetCounter", kSetCounter, 3);
    FieldDesc initialValue = Number("initial-value", "Initial Value", kDataStart, 2, 0, kMaxTime);
    initialValue.readOrder = -1;
    c.fields = {CounterField(), initialValue};
    v.push_back(Listed(c, ListingRule::SetCounter));

    c = Master(13, "CountDown", kCountDown, 3);
    c.fields = {CounterField(), Target("LoopTo if not 0", kDataStart)};
    v.push_back(Listed(c, ListingRule::CountDown));

    c = Master(14, "TavoInit", kTavoInit, 0);
    v.push_back(Listed(c, ListingRule::Text, "TavoInit"));

    c = Master(15, "Reset", kReset, 0);
    v.push_back(Listed(c, ListingRule::Text, "Reset"));

    // The rate is read in 1200 to 19200 and must then be one of four; a
    // refused read shows its own message and then this one.
    c = Master(16, "ChangeBaud", kChangeBaud, 1);
    FieldDesc baud = Number("baud-rate", "Baud Rate", kDataStart, 1, 1200, 19200, Value::ofInt(19200), "baud");
    baud.transform = Transform::Baud;
    baud.only = {1200, 2400, 9600, 19200};
    baud.onlyMessage = "Baud rate must equal 1200, 2400, 9600 or 19200";
    c.fields = {baud};
    v.push_back(Listed(c, ListingRule::ChangeBaud));

    return v;
}

}  // namespace isa::desc
