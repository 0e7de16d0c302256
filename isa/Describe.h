#pragma once
// The instruction set as data: one description per command of the four
// families (41 in all), each with its framing, command code, fixed bytes,
// fields and listing rule.  Each field says what the builder panel shows
// (caption, kind, range, unit, default) and which bits or bytes it becomes;
// isa/Codec.h encodes, decodes and lists instructions from these tables alone.
//
// Pure: this header, isa/Codec.h and isa/desc/ include nothing outside isa/
// but the standard library (and isa/Vocabulary.h, which is plain constants).
//
// How a field becomes bytes.  Every field has an offset `at` (-1: the field
// writes no byte of its own):
//   Number  `width` little-endian bytes at `at` (4 bytes signed), through
//           its transform (counter k is stored 2(k-1), a baud rate as its code).
//   Check   when checked, its effects at `at`; it shows checked when all its
//           tests hold there.  Of a group, only the first checked box counts.
//   Choice, Condition
//           the chosen item's effects at `at`; the item shown is the first
//           whose tests hold, else `decodeNone`.
//   Text    the first `maxChars` characters, one byte each, from `at`.
//   Target  the placeholder 0xFF 0xFF at `at`, the patch position; the text
//           becomes the goto-label.
// Effects and tests are relative to the field's `at`.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace isa {

constexpr int kInstructionBytes = 24;   // the most bytes a line record holds
constexpr int kTextChars = 15;          // goto-labels and Print texts are cut to this
constexpr int kMaxFields = 32;          // fields of one command, headings included

enum class Family : uint8_t { Master, Servo, Stepper, Io };
inline constexpr Family kFamilies[] = {Family::Master, Family::Servo, Family::Stepper, Family::Io};

// Byte 0: 0xBB, the master executes it; 0xAA, a frame passed to a module.
enum class Framing : uint8_t { Master, Module };

enum class FieldKind : uint8_t {
    Number,     // an edit read by the numeric field rule
    Check,      // a check box
    Choice,     // a radio group
    Text,       // an edit whose characters are stored
    Label,      // a heading over the panel's boxes: no value, no bytes
    Target,     // the edit that names the label to jump to
    Condition,  // the condition combo box of If-GoTo and WaitFor
};

// A field's value as the panel holds it: an edit's number (Int) or text, a
// check box (Bool), a choice's item index (Int, -1 = none); None is an empty
// edit.
class Value {
public:
    enum class Type : uint8_t { None, Int, Bool, Text };
    Value() = default;
    static Value ofInt(long long v);
    static Value ofBool(bool v);
    static Value ofText(std::string v);

    Type type() const { return type_; }
    bool isNone() const { return type_ == Type::None; }
    long long asInt() const { return int_; }
    bool asBool() const { return int_ != 0; }
    const std::string& asText() const { return text_; }
    // As an edit would show it: "" for None, the number in decimal, the text.
    std::string shown() const;

    bool operator==(const Value& other) const = default;

private:
    Type type_ = Type::None;
    long long int_ = 0;
    std::string text_;
};

// Field id -> value.  A field not given keeps the default the panel shows
// when its command is chosen.
class FieldValues {
public:
    FieldValues() = default;
    FieldValues(std::initializer_list<std::pair<std::string, Value>> values);

    void set(std::string_view id, Value value);   // replaces a value given before
    void append(std::string_view id, Value value); // for an id not given yet
    const Value* find(std::string_view id) const;
    const std::vector<std::pair<std::string, Value>>& entries() const { return entries_; }
    void reserve(size_t n) { entries_.reserve(n); }

    bool operator==(const FieldValues& other) const = default;

private:
    std::vector<std::pair<std::string, Value>> entries_;
};

// One change to an instruction byte.
enum class Op : uint8_t {
    Or,      // set the bits of value
    Clear,   // clear the bits of value
    Xor,     // invert the bits of value (undone before the other fields are decoded)
    Put,     // write value
    Append,  // Print: add value after the text
};
struct Effect {
    Op op;
    int at;   // relative to the field's offset
    uint8_t value;
};

// (byte & mask) == value, or != value when equal is false.
struct Test {
    int at;   // relative to the field's offset
    uint8_t mask;
    uint8_t value;
    bool equal = true;
};

struct ChoiceItem {
    std::string id;        // the item's word in program text
    std::string caption;   // as the radio group or condition box lists it
    std::vector<Effect> effects;
    std::vector<Test> tests;
};

enum class Transform : uint8_t {
    None,
    Counter,   // Number: counter 1 to 4 stored as 0, 2, 4, 6
    Baud,      // Number: a baud rate stored as its ChangeBaud code
    Key,       // Text: the first character, 0 when empty; shown back as one character
};

// When a field is encoded (and, for IfItem, decoded) at all.
struct Gate {
    enum Kind : uint8_t {
        Always,
        IfChecked,      // only while check box `field` is checked
        UnlessChecked,  // not while `field` or `other` is checked
        IfItem,         // only while choice `field` has `item` chosen
    };
    Kind kind = Always;
    std::string field, other;
    int item = -1;
};

struct FieldDesc {
    std::string id;        // its name in program text ("->" the jump target, "" a heading)
    std::string caption;   // exactly as the panel shows it
    FieldKind kind = FieldKind::Number;
    long long min = 0, max = 0;   // Number
    std::vector<int> only;        // Number: the values taken inside the range
    std::string onlyMessage;      // Number: shown after a refusal or a value outside `only`
    std::string unit;             // Number: "" when the module decides
    Value initial;                // what the panel shows when the command is chosen
    int readOrder = 0;            // Number: read by (readOrder, place in fields)

    int at = -1;                  // first byte, or the byte its effects and tests refer to
    int altAt = -1;               // the same in the command's alternate layout
    uint8_t width = 0;            // Number: 1, 2 or 4 bytes
    Transform transform = Transform::None;
    int maxChars = 0;             // Text
    std::vector<Effect> effects;  // Check
    std::vector<Test> tests;      // Check
    int group = 0;                // Check: nonzero, only the first checked of the group counts
    std::vector<ChoiceItem> items;   // Choice, Condition
    int encodeNone = -1;          // Choice: item applied when none is chosen (-1: nothing)
    int decodeNone = -1;          // Choice: item shown when no item's tests hold
    std::string noneMessage;      // Choice: the build is refused when none is chosen
    Gate gate;
    Value altShows;               // shown in the alternate layout, which lacks the field

    bool holdsValue() const { return kind != FieldKind::Label; }
    bool isChoice() const { return kind == FieldKind::Choice || kind == FieldKind::Condition; }
};

// The fixed part of an instruction: byte 2 and the data bytes before the
// fields are written.
struct Layout {
    uint8_t commandByte = 0;      // byte 2 (a module frame's command byte)
    int dataCount = 0;            // n; -1: as many as the fields write (Print)
    std::vector<uint8_t> data;    // bytes 3 on
};

// The mnemonic column of the listing.
enum class ListingRule : uint8_t {
    Text,          // the text
    TextTarget,    // the text and the goto-label
    TextTime,      // the text and the unsigned 16-bit value of bytes 3, 4
    Print,         // Print '...' with the stored data bytes
    WaitFor,       // WaitFor [timeout->goto-label]
    SetCounter,    // SetCounter k = value
    CountDown,     // CountDown k, LoopTo goto-label
    ChangeBaud,    // ChangeBaud and the rate of the code in byte 3
    TextRelative,  // the text, and " rel. Home" when bit 0x01 of byte 3 is set
    ServoStop,     // Stop and each mode bit set
    StepStop,      // Stop - Motor Off unless the amplifier stays on, else the mode
    ServoMove,     // Move - PWM / Vel. / Pos. and the value of its mode
    StepMove,      // Move - Pos. position, or Move - Vel. speed
};

struct CommandDesc {
    Family family = Family::Master;
    std::string name;          // as the command box lists it
    int index = 0;             // place in the command box
    uint8_t code = 0;          // the line's command code
    Framing framing = Framing::Master;
    std::string classText;     // the command class the builder shows
    uint8_t trailer = 0;       // module frame: reply bytes the master collects

    Layout layout;
    bool hasAlternate = false;      // a second layout, chosen by a check box (stepper Move)
    Layout alternate;
    std::string alternateSwitch;    // the check box that chooses it
    Test alternateTest{0, 0, 0};    // on the absolute bytes: the record is in the alternate layout

    int addressAt = -1;             // a data byte that holds the module address
    bool statusRequest = false;     // bytes 3 to 8: the module's GetStatus frame
    uint8_t requestItems = 0, requestTrailer = 0;

    std::vector<FieldDesc> fields;  // in the order program text writes them
    std::string groupField;         // a check group that needs one box checked:
    std::string groupMessage;       //   the field named and the message when none is

    ListingRule listing = ListingRule::Text;
    std::string listingText;

    std::vector<int> numberOrder;   // Numbers by reading order (filled in by the table)

    const FieldDesc* field(std::string_view id) const;
    int fieldIndex(std::string_view id) const;
    // Where the goto address is patched; 0 when the command does not jump.
    int patchOffset() const;
};

// Every command: master, servo, stepper, I/O, each in command box order.
const std::vector<CommandDesc>& commandTable();
const CommandDesc* findCommand(Family family, std::string_view name);
const CommandDesc* commandAt(Family family, int index);

// The family of a module type code (127 master, 0 servo, 3 stepper, 2 I/O);
// false for a type without one.
bool familyOfType(int moduleType, Family& family);
int typeOfFamily(Family family);          // the module type code of the family
const char* familyName(Family family);   // "Master", "Servo", "Stepper", "I/O"
// The module type's name as the module list, program files and messages
// write it: "[Master]", "ZEL-SERVO", "ZEL-STEP", "ZEL-I/O".
const char* moduleTypeName(Family family);

}  // namespace isa
