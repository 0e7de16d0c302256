// The I/O family as data: MakeOutputs, SetPWMs and GetStatus are module
// frames; SetOutputs, If-GoTo and WaitFor are master instructions that the
// master executes for the module.  Bit k (1 to 12) is bit k-1 of the low bit
// byte for k <= 8, else bit k-9 of the high bit byte.

#include "isa/Vocabulary.h"
#include "isa/desc/Build.h"

namespace isa::desc {

namespace {

using namespace IoCmd;
constexpr uint8_t kStatusTrailer = 3;   // GetStatus: the status byte and the two bit bytes

uint8_t BitMask(int k) { return uint8_t(1u << (k <= 8 ? k - 1 : k - 9)); }
int BitByte(int k) { return k <= 8 ? 0 : 1; }
std::string BitId(int k) { return "bit-" + std::to_string(k); }
std::string BitCaption(int k) { return "Bit " + std::to_string(k); }

CommandDesc Frame(int index, const char* name, uint8_t code, int dataCount, std::vector<uint8_t> data = {}) {
    CommandDesc c = Command(Family::Io, index, name, code, Framing::Module, "I/O", dataCount, std::move(data));
    c.trailer = kTrailerStatusOnly;
    return c;
}

// If-GoTo and WaitFor test one bit: the first checked box gives the selector
// (1: Bit 1 to 8, 2: Bit 9 to 12) and the mask of the triplet at `at`.  A
// stored triplet checks every bit of its mask, in the low byte for selector
// 1 and in the high byte for any other.
void AddConditionBits(CommandDesc& c, int at) {
    for (int k = 1; k <= 12; ++k) {
        const uint8_t selector = k <= 8 ? kSelectIoLow : kSelectIoHigh;
        FieldDesc f = Check(BitId(k), BitCaption(k), at, {Put(0, selector), Put(2, BitMask(k))},
                            {k <= 8 ? Eq(0, 0xFF, kSelectIoLow) : Ne(0, 0xFF, kSelectIoLow), Ne(2, BitMask(k), 0)});
        f.group = 1;
        c.fields.push_back(f);
    }
    c.groupField = "bit";
    c.groupMessage = "Choose a bit.";
}

// "Set" compares with 0xFF, "Clear" with 0; a stored 0xFF shows "Set".
FieldDesc BitState(int at) {
    FieldDesc f = Choice("set-or-clear", "", FieldKind::Choice, at,
                         {Item("set", "Set", {Put(0, 0xFF)}, {Eq(0, 0xFF, 0xFF)}), Item("clear", "Clear", {Put(0, 0)})},
                         0);
    f.encodeNone = 0;
    return f;
}

}  // namespace

std::vector<CommandDesc> IoCommands() {
    std::vector<CommandDesc> v;

    // A checked box makes the bit an output: a 0 bit in bytes that start as 0xFF.
    CommandDesc c = Frame(0, "MakeOutputs", kMakeOutputs, 2, {0xFF, 0xFF});
    c.fields = {Heading("Select bits to be outputs:")};
    for (int k = 1; k <= 12; ++k)
        c.fields.push_back(Check(BitId(k), BitCaption(k), kDataStart, {ClearBits(BitMask(k), BitByte(k))},
                                 {Eq(BitByte(k), BitMask(k), 0)}));
    v.push_back(Listed(c, ListingRule::Text, "MakeOutputs"));

    // SetOutputs: four zeros, the module address, the mode (1 set, 0 clear)
    // and the two bit bytes: "Set" sets the checked bits, "Clear" stores the
    // bytes inverted, so that the checked bits are 0.  A stored mode byte
    // other than 1 shows "Clear".
    c = Command(Family::Io, 1, "SetOutputs", MasterCmd::kSetOutputs, Framing::Master, "I/O", 8,
                {0, 0, 0, 0, 0, 1, 0, 0});
    c.addressAt = 7;
    c.fields = {Heading("Select output bits to be changed:")};
    for (int k = 1; k <= 12; ++k)
        c.fields.push_back(Flag(BitId(k), BitCaption(k), 9 + BitByte(k), BitMask(k)));
    FieldDesc mode = Choice("set-or-clear", "", FieldKind::Choice, 8,
                            {Item("set", "Set", {Put(0, 1)}, {Eq(0, 0xFF, 1)}),
                             Item("clear", "Clear", {Put(0, 0), Xor(0xFF, 1), Xor(0xFF, 2)})},
                            0);
    mode.encodeNone = 0;
    c.fields.push_back(mode);
    v.push_back(Listed(c, ListingRule::Text, "SetOutputs"));

    c = Frame(2, "SetPWMs", kSetPWMs, 2);
    c.fields = {Number("pwm-1", "PWM 1", 3, 1, 0, 255, Value::ofInt(0)),
                Number("pwm-2", "PWM 2", 4, 1, 0, 255, Value::ofInt(0))};
    v.push_back(Listed(c, ListingRule::Text, "SetPWMs"));

    c = Frame(3, "GetStatus", kGetStatus, 1, {kItemInputBits});
    c.trailer = kStatusTrailer;
    v.push_back(Listed(c, ListingRule::Text, "GetStatus"));

    c = Command(Family::Io, 4, "If-GoTo", MasterCmd::kIfGoTo, Framing::Master, "Master", kIfGoToData);
    c.fields = {Heading("If (select a single bit):"), Target("GoTo Label", kIfGoToTarget)};
    AddConditionBits(c, kIfGoToCondition);
    c.fields.push_back(BitState(kIfGoToCondition + 1));
    v.push_back(Listed(c, ListingRule::TextTarget, "If-GoTo "));

    c = Command(Family::Io, 5, "WaitFor", MasterCmd::kWaitFor, Framing::Master, "Master", kWaitForData);
    c.statusRequest = true;
    c.requestItems = kItemInputBits;
    c.requestTrailer = kStatusTrailer;
    c.fields = {Heading("Wait For (select a single bit):"), Time("timeout", "Timeout (.01 sec)", kWaitForTimeout),
                Target("GoTo on Timeout", kWaitForTarget)};
    AddConditionBits(c, kWaitForCondition);
    c.fields.push_back(BitState(kWaitForCondition + 1));
    v.push_back(Listed(c, ListingRule::WaitFor));

    return v;
}

}  // namespace isa::desc
