#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include "TestPlatform.h"
#include "app/MainState.h"
#include "isa/Vocabulary.h"
#include "isa/Describe.h"
#include "app/panels/Instruction.h"
#include "app/panels/Io.h"
#include "app/panels/Master.h"
#include "app/panels/Servo.h"
#include "app/panels/Stepper.h"
#include "program/Assembly.h"
#include "program/InstructionText.h"
#include "app/Editing.h"
#include "app/Files.h"
#include "program/ProgramText.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

const std::string kHeader =
    ".stepwright 1\n.module 0 [Master]\n.module 1 ZEL-SERVO\n.module 2 ZEL-I/O\n.module 3 ZEL-STEP\n"
    ".module 4 ZEL-STEP\n.module 5 ZEL-I/O\n.module 6 255\n";
const std::vector<int> kTypes = {kTypeMaster, kTypeServo, kTypeIo, kTypeStepper, kTypeStepper, kTypeIo, 255};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

Bytes BytesOf(const ProgramLine& l) { return Bytes(l.bytes, l.bytes + l.length); }

// The fields a round trip keeps: everything but the two assembly addresses.
void ExpectSameRecord(const ProgramLine& a, const ProgramLine& b, const std::string& where) {
    if (a.isComment() || b.isComment()) {
        EXPECT_EQ(a.commentText(), b.commentText()) << where;
        return;
    }
    EXPECT_EQ(a.labelText(), b.labelText()) << where;
    EXPECT_EQ(a.gotoLabelText(), b.gotoLabelText()) << where;
    EXPECT_EQ(a.patchOffset, b.patchOffset) << where;
    EXPECT_EQ(a.length, b.length) << where;
    EXPECT_EQ(BytesOf(a), BytesOf(b)) << where;
    EXPECT_EQ(a.commandCode, b.commandCode) << where;
    EXPECT_EQ(a.moduleAddress, b.moduleAddress) << where;
}

struct Image {
    int result;
    Bytes bytes;
};

Image Assemble(const ProgramFileData& data) {
    TestPlatform ui;
    auto s = std::make_unique<MainState>(ui);
    for (size_t a = 0; a < data.moduleTypes.size() && a < 32; ++a) s->moduleTypes[a] = data.moduleTypes[a];
    s->moduleListCount = uint8_t(data.moduleListCount);
    s->lineCount = int(data.lines.size());
    for (size_t i = 0; i < data.lines.size(); ++i) s->lines[i] = data.lines[i];
    const int r = AssembleProgram(*s);
    return {r, Bytes(s->programImage, s->programImage + s->imageLength)};
}

// .stw → .sws → .stw keeps every record and the image; the text of the
// result is the text it came from.
void ExpectRoundTrip(const ProgramFileData& data, const std::string& where) {
    const std::string text = FormatProgramText(data);
    ProgramFileData back;
    std::vector<ProgramTextError> errors;
    ASSERT_TRUE(ParseProgramText(text, back, errors))
        << where << ": " << (errors.empty() ? "" : DescribeProgramTextError("text", errors[0])) << "\n" << text;
    EXPECT_EQ(back.moduleTypes, data.moduleTypes) << where;
    ASSERT_EQ(back.lines.size(), data.lines.size()) << where;
    for (size_t i = 0; i < data.lines.size(); ++i)
        ExpectSameRecord(data.lines[i], back.lines[i], where + Format(" line %d", int(i) + 1));
    const Image before = Assemble(data), after = Assemble(back);
    EXPECT_EQ(before.result, after.result) << where;
    EXPECT_EQ(before.bytes, after.bytes) << where;
    EXPECT_EQ(FormatProgramText(back), text) << where;
}

// One instruction line under kHeader.
ProgramLine Import(const std::string& line, std::vector<ProgramTextError>* errorsOut = nullptr) {
    ProgramFileData data;
    std::vector<ProgramTextError> errors;
    const bool ok = ParseProgramText(kHeader + line + "\n", data, errors);
    if (errorsOut) *errorsOut = errors;
    if (!ok || data.lines.size() != 1) {
        ProgramLine empty;
        std::memset(&empty, 0, sizeof empty);
        if (!errorsOut) ADD_FAILURE() << line << ": " << (errors.empty() ? "no line" : errors[0].message);
        return empty;
    }
    return data.lines[0];
}

// ---------------------------------------------------------------------------
// Instruction lines give the builder's bytes.

TEST(ProgramText, LinesBuildTheBuildersBytes) {
    struct Case {
        const char* line;
        Bytes bytes;
        int patch;
        const char* gotoLabel;
    };
    const Case cases[] = {
        {"0 Print print-chars=Hi add-carriage-return add-line-feed", {0xBB, 4, 5, 'H', 'i', 13, 10}, 0, ""},
        {"0 Print print-chars=\"a \\\"b\\\\\\x01\"", {0xBB, 6, 5, 'a', ' ', '"', 'b', '\\', 1}, 0, ""},
        {"0 SetTimer timeout=60000", {0xBB, 2, 6, 0x60, 0xEA}, 0, ""},
        {"0 SetTimer timeout=\"12 sec\"", {0xBB, 2, 6, 12, 0}, 0, ""},
        {"0 SetCounter counter=3 initial-value=100", {0xBB, 3, 12, 100, 0, 4}, 0, ""},
        {"0 If-GoTo counter-2=7 -> L", {0xBB, 5, 3, 0xFF, 0xFF, 26, 7, 0xFF}, 3, "L"},
        {"0 If-GoTo key=k ->L", {0xBB, 5, 3, 0xFF, 0xFF, 3, 'k', 0xFF}, 3, "L"},
        {"0 If-GoTo timeout -> L @0102", {0xBB, 5, 3, 0x02, 0x01, 2, 0x10, 0x10}, 3, "L"},
        {"0 WaitFor timeout=500 any-key -> T1",
         {0xBB, 13, 10, 0xBB, 0, 7, 0, 0, 0, 3, 0, 0x80, 0xF4, 0x01, 0xFF, 0xFF}, 14, "T1"},
        {"0 ChangeBaud baud-rate=9600", {0xBB, 1, 19, 0x20}, 0, ""},
        {"0 ChangeBaud", {0xBB, 1, 19, 0x0F}, 0, ""},
        {"1 Move position=1000 velocity=5000 acceleration=100",
         {0xAA, 1, 0xE4, 0x9F, 0xE8, 3, 0, 0, 0x88, 0x13, 0, 0, 0x64, 0, 0, 0, 0, 0x6E, 1}, 0, ""},
        {"1 Move position=-2147483646 velocity=0 acceleration=0 pwm-mode move-relative",
         {0xAA, 1, 0xE4, 0x8F, 2, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF6, 1}, 0, ""},
        {"1 SetGain", {0xAA, 1, 0xE6, 0x64, 0, 0xE8, 3, 0, 0, 0, 0, 0xFF, 0, 0xD0, 7, 1, 0, 0x0D, 1}, 0, ""},
        {"1 Stop enable-amplifier stop-abruptly", {0xAA, 1, 0x17, 0x25, 0x3D, 1}, 0, ""},
        {"1 StartHoming limit-1 limit-2 index stop-on-home stop-abruptly", {0xAA, 1, 0x19, 0x1B, 0x35, 1}, 0, ""},
        {"1 If-GoTo limit2-lo -> L1", {0xBB, 5, 3, 0xFF, 0xFF, 0, 0, 0x40}, 3, "L1"},
        {"1 WaitFor timeout=1000 move-done -> T",
         {0xBB, 13, 10, 0xAA, 1, 0x13, 0, 0x14, 1, 0, 1, 1, 0xE8, 3, 0xFF, 0xFF}, 14, "T"},
        {"2 MakeOutputs bit-1 bit-12", {0xAA, 2, 0x20, 0xFE, 0xF7, 0x17, 1}, 0, ""},
        {"5 SetOutputs bit-2 bit-10 clear", {0xBB, 8, 18, 0, 0, 0, 0, 5, 0, 0xFD, 0xFD}, 0, ""},
        {"2 SetOutputs bit-2", {0xBB, 8, 18, 0, 0, 0, 0, 2, 1, 0x02, 0}, 0, ""},
        {"2 SetPWMs pwm-1=255", {0xAA, 2, 0x24, 0xFF, 0, 0x25, 1}, 0, ""},
        {"2 If-GoTo bit-3 bit-9 clear -> DONE", {0xBB, 5, 3, 0xFF, 0xFF, 1, 0, 4}, 3, "DONE"},
        {"4 Move position=-500 speed=100 acceleration=20",
         {0xAA, 4, 0x74, 0x87, 0x0C, 0xFE, 0xFF, 0xFF, 0x64, 0x14, 0x7F, 1}, 0, ""},
        {"4 Move speed=100 acceleration=20 velocity-mode reverse", {0xAA, 4, 0x34, 0x96, 0x64, 0x14, 0x46, 1}, 0, ""},
        // The words are the boxes checked: a box checked by default is written too.
        {"4 SetParam speed-1x", {0xAA, 4, 0x56, 0x03, 0x01, 0x14, 0x0A, 0x00, 0x7C, 1}, 0, ""},
        {"4 SetParam speed-8x", {0xAA, 4, 0x56, 0x00, 0x01, 0x14, 0x0A, 0x00, 0x79, 1}, 0, ""},
        {"4 SetParam speed-2x speed-8x", {0xAA, 4, 0x56, 0x02, 0x01, 0x14, 0x0A, 0x00, 0x7B, 1}, 0, ""},
        {"4 SetOutputs", {0xAA, 4, 0x18, 0x00, 0x1C, 1}, 0, ""},
        {"3 If-GoTo home-sw-lo -> X", {0xBB, 5, 3, 0xFF, 0xFF, 1, 0, 0x20}, 3, "X"},
        {"4 WaitFor timeout=300 not-moving -> W",
         {0xBB, 13, 10, 0xAA, 4, 0x13, 8, 0x1F, 2, 0, 0, 1, 0x2C, 1, 0xFF, 0xFF}, 14, "W"},
        {"6 raw code=7E bytes=\"AA 06 7E 00 01\" patch=3 -> \"A B\"", {0xAA, 6, 0x7E, 0, 1}, 3, "A B"},
        {"6 raw code=7E bytes=\"AA 06 7E\" patch=2", {0xAA, 6, 0x7E}, 2, ""},
        {"1 raw code=E4 bytes=\"\"", {}, 0, ""},
    };
    for (const Case& c : cases) {
        const ProgramLine l = Import(c.line);
        EXPECT_EQ(BytesOf(l), c.bytes) << c.line;
        EXPECT_EQ(l.patchOffset, c.patch) << c.line;
        EXPECT_EQ(l.gotoLabelText(), c.gotoLabel) << c.line;
    }
}

TEST(ProgramText, LabelsAndCommentsAsWritten) {
    ProgramFileData data;
    std::vector<ProgramTextError> errors;
    ASSERT_TRUE(ParseProgramText("\xEF\xBB\xBF;caf\xC3\xA9 \r\n\n  LOOP: 0 GoTo -> LOOP\r\n\"a b:\": 0 Return\n"
                                 "comment \";x\\x01\"\n",
                                 data, errors));
    ASSERT_EQ(data.lines.size(), 4u);
    EXPECT_EQ(data.lines[0].commentText(), ";caf\xE9 ");
    EXPECT_EQ(data.lines[1].labelText(), "LOOP");
    EXPECT_EQ(data.lines[2].labelText(), "a b:");
    EXPECT_EQ(data.lines[3].commentText(), ";x\x01");
    EXPECT_EQ(data.moduleTypes, std::vector<int>{kTypeMaster});
    // A trailing blank and a control byte keep the comment in quotes.
    EXPECT_NE(FormatProgramText(data).find("comment \";caf\xC3\xA9 \""), std::string::npos);
}

// ---------------------------------------------------------------------------
// Errors name the line, the column, the field and the builder's message.

TEST(ProgramText, ErrorsNameLineColumnFieldAndMessage) {
    struct Case {
        const char* line;
        const char* expected;  // "COLUMN field: message start"
    };
    const Case cases[] = {
        {"0 SetTimer timeout=60001", "12 timeout: Value out of range"},
        {"0 SetTimer", "3 timeout: Invalid numeric value"},
        {"1 Move position=1 velocity=x acceleration=1", "19 velocity: Invalid numeric value"},
        {"1 Move position=-2147483647 velocity=1", "8 position: Value out of range"},
        {"4 Move position=1 speed=0 acceleration=5", "19 speed: Value out of range"},
        {"1 SetGain sr=0", "11 sr: Value out of range"},
        {"0 ChangeBaud baud-rate=4800", "14 baud-rate: Baud rate must equal 1200, 2400, 9600 or 19200"},
        {"0 ChangeBaud baud-rate=38400",
         "14 baud-rate: Value out of range; Baud rate must equal 1200, 2400, 9600 or 19200"},
        {"0 If-GoTo counter-1=256 -> L", "11 counter-1: Value out of range"},
        {"0 CountDown counter=5 -> L", "13 counter: Value out of range"},
        {"3 WaitFor timeout=5 -> L", "3 condition: Choose a condition."},
        {"2 If-GoTo set -> L", "3 bit: Choose a bit."},
        {"1 Mvoe", "3 : 'Mvoe' is not a command of ZEL-SERVO; its commands are Move, Stop,"},
        {"1 Stop speed=3", "8 speed: Stop has no field 'speed'; its fields are enable-amplifier, motor-off,"},
        {"1 Stop motor-off stop-abruptly", "18 stop-abruptly: another choice of the same group"},
        {"1 Stop enable-amplifier=1", "8 enable-amplifier: a check box takes no value"},
        {"0 Return -> L", "13 ->: Return does not jump to a label"},
        {"0 GoTo -> ABCDEFGHIJKLMNOP", "11 ->: the goto-label is longer than 15 characters"},
        {"ABCDEFGHIJKLMNOP: 0 Return", "1 label: the label is longer than 15 characters"},
        {"\";x\": 0 Return", "1 label: a label cannot begin with ';'"},
        // A record that the program file cannot carry is refused, as Save refuses it.
        {"\"A\\x0AB\": 0 Return", "1 label: the label holds a line break"},
        {"\"A\\x0D\": 1 Stop motor-off", "1 label: the label holds a line break"},
        {"0 GoTo -> \"\\x0A\"", "11 ->: the goto-label holds a line break"},
        {"6 raw code=01 bytes=\"AA 06 01 FF FF\" patch=3 -> \"x\\x0D\"", "49 ->: the goto-label holds a line break"},
        {"comment \";a\\x0Ab\"", "9 : the comment holds a line break"},
        {"6 raw code=01 bytes=\"AA 06 01 FF\" patch=3 -> L", "35 patch: patch=3 leaves no room for the jump address"},
        {"6 raw code=01 bytes=\"AA 06 01 FF FF\" patch=2 -> L", "38 patch: patch=2 leaves no room"},
        {"6 raw code=01 bytes=\"AA 06 01 FF FF\" -> L", "41 patch: patch=0 leaves no room"},
        // A stepper SetParam names its speed factor: the panel always shows one.
        {"4 SetParam min-speed=1", "3 : SetParam names its speed factor: speed-1x, speed-2x, speed-4x or speed-8x"},
        // A value follows '=' at once; after a blank comes the next field.
        {"0 Print print-chars= add-line-feed", "9 print-chars: the value is missing: it follows '=' at once"},
        {"0 WaitFor timeout=5 key= any-key -> L", "21 key: the value is missing"},
        {"1 SetGain kp= kd=5", "11 kp: the value is missing"},
        {"0 SetTimer timeout=", "12 timeout: the value is missing"},
        {"0 SetTimer timeout =\"\"", "12 timeout: Invalid numeric value"},
        {"0 SetTimer timeout=1234567890123456789012345678901234567890", "12 timeout: the value is longer than 39"},
        {"0 If-GoTo counter-1=1234567890123456789012345678901234567890 -> L", "11 counter-1: the value is longer"},
        {"7 Return", "1 : module 7 is not in the module list"},
        {"6 GetStatus", "1 : module 6 has no command class; write its lines in the raw form"},
        {"x Return", "1 : expected the module address (0 to 31) after the label"},
        {"0 Print print-chars=\"abc", "21 : the quoted text has no closing '\"'"},
        {"0 Print print-chars=\"\\q\"", "22 : a '\\' in quotes is followed by"},
        {"0 GoTo -> L @12G4", "13 : the jump address is '@' and four hexadecimal digits"},
        {"6 raw code=1 bytes=\"AA\"", "7 code: the command code is two hexadecimal digits"},
        {"6 raw code=01 bytes=\"AA B\"", "15 bytes: the bytes are pairs of hexadecimal digits"},
        {"6 raw code=01", "3 : raw needs code=HH and bytes="},
        {"6 raw code=01 bytes=\"AA\" patch=", "26 patch: the value is missing"},
        {"0 Print print-chars=\xC3", "21 : the line is not UTF-8 text"},
        {"0 Print print-chars=\xE2\x82\xAC", "21 : the character is not one of Latin-1"},
    };
    for (const Case& c : cases) {
        std::vector<ProgramTextError> errors;
        Import(c.line, &errors);
        ASSERT_EQ(errors.size(), 1u) << c.line;
        const ProgramTextError& e = errors[0];
        EXPECT_EQ(e.line, 9) << c.line;  // below the eight header lines
        const std::string got = Format("%d ", e.column) + e.field + ": " + e.message;
        EXPECT_EQ(got.compare(0, std::strlen(c.expected), c.expected), 0) << c.line << "\n  got " << got;
    }
}

TEST(ProgramText, EveryErrorOfAFileInOneRunUpToALimit) {
    ProgramFileData data;
    std::vector<ProgramTextError> errors;
    EXPECT_FALSE(ParseProgramText("0 Return\n0 SetTimer timeout=-1\n;fine\n0 Delay time=x\n.module 1 ZEL-STEP\n",
                                  data, errors));
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(DescribeProgramTextError("p.sws", errors[0]), "p.sws:2:12: field 'timeout': Value out of range");
    EXPECT_EQ(DescribeProgramTextError("p.sws", errors[1]), "p.sws:4:9: field 'time': Invalid numeric value");
    EXPECT_EQ(DescribeProgramTextError("p.sws", errors[2]),
              "p.sws:5:1: the header comes before the first program line");

    std::string many;
    for (int i = 0; i < 300; ++i) many += "0 Delay time=x\n";
    EXPECT_FALSE(ParseProgramText(many, data, errors));
    ASSERT_EQ(errors.size(), size_t(kMaxProgramTextErrors) + 1);
    EXPECT_EQ(errors.back().message, "more than 100 errors; reading stopped");

    std::string tooLong;
    for (int i = 0; i <= kMaxLines; ++i) tooLong += ";\n";
    EXPECT_FALSE(ParseProgramText(tooLong, data, errors));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].line, kMaxLines + 1);

    const char* headers[][2] = {{".module 1 ZEL-SERVO\n", "the next module address is 0"},
                                {".module 0 [Master]\n.module 2 ZEL-IO\n", "the next module address is 1"},
                                {".module 0 [Master]\n.module 1 SERVO\n", "the type is [Master], ZEL-SERVO"},
                                {".stepwright 2\n", "this reader knows version 1"},
                                {".org 5\n", "unknown header line"}};
    for (const auto& h : headers) {
        EXPECT_FALSE(ParseProgramText(h[0], data, errors)) << h[0];
        ASSERT_FALSE(errors.empty()) << h[0];
        EXPECT_EQ(errors[0].message.compare(0, std::strlen(h[1]), h[1]), 0) << errors[0].message;
    }
}

TEST(ProgramText, OpenOfATextWithErrorsChangesNothing) {
    const fs::path dir = fs::temp_directory_path() / ("sws_open_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string bad = (dir / "bad.sws").string(), good = (dir / "good.sws").string();
    std::ofstream(bad) << ".module 0 [Master]\n.module 1 ZEL-SERVO\nA: 0 Return\n1 Stop bogus\n1 SetGain kp=-1\n";
    std::ofstream(good) << ".module 0 [Master]\n.module 1 ZEL-STEP\nA: 1 GetStatus\n;c\n";

    TestPlatform ui;
    auto s = std::make_unique<MainState>(ui);
    ASSERT_TRUE(OpenProgramFile(*s, good));
    const std::string caption = s->form.caption;
    ui.messages.clear();
    EXPECT_FALSE(OpenProgramFile(*s, bad));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "Not a valid program file: 2 errors\n" + bad +
                                  ":4:8: field 'bogus': Stop has no field 'bogus'; its fields are enable-amplifier, "
                                  "motor-off, stop-abruptly, stop-smoothly\n" +
                                  bad + ":5:11: field 'kp': Value out of range");
    EXPECT_EQ(s->lineCount, 2);
    EXPECT_EQ(s->moduleTypes[1], kTypeStepper);
    EXPECT_EQ(s->form.caption, caption);

    // Save by a .sws name writes the text; Open reads it back.
    const std::string saved = (dir / "saved.sws").string();
    EXPECT_EQ(WriteProgramFile(*s, saved), "");
    EXPECT_EQ(ReadAll(saved), ".stepwright 1\n.module 0 [Master]\n.module 1 ZEL-STEP\n\nA:        1 GetStatus\n;c\n");
    fs::remove_all(dir);
}

// The lines that import once turned into a program file that did not read
// back: each is refused at its line, column and field.
TEST(ProgramText, RecordsAProgramFileCannotCarryAreRefused) {
    const struct {
        const char* file;
        const char* error;
    } cases[] = {
        {"label-lf.sws", "5:1: field 'label': the label holds a line break, which a program file cannot store"},
        {"label-cr.sws", "5:1: field 'label': the label holds a line break, which a program file cannot store"},
        {"goto-lf.sws", "5:21: field '->': the goto-label holds a line break, which a program file cannot store"},
        {"goto-cr.sws", "5:59: field '->': the goto-label holds a line break, which a program file cannot store"},
        {"comment-lf.sws", "4:9: the comment holds a line break, which a program file cannot store"},
        {"comment-cr.sws", "4:9: the comment holds a line break, which a program file cannot store"},
        {"patch-past-end.sws", "5:45: field 'patch': patch=3 leaves no room for the jump address: its 2 bytes "
                               "must lie within the 4 bytes of the instruction, after the first 3"},
        {"patch-on-header.sws", "5:48: field 'patch': patch=1 leaves no room for the jump address: its 2 bytes "
                                "must lie within the 5 bytes of the instruction, after the first 3"},
        {"patch-missing.sws", "5:51: field 'patch': patch=0 leaves no room for the jump address: its 2 bytes "
                              "must lie within the 5 bytes of the instruction, after the first 3"},
    };
    for (const auto& c : cases) {
        ProgramFileData data;
        std::vector<ProgramTextError> errors;
        EXPECT_FALSE(ParseProgramText(ReadAll(STEPWRIGHT_SOURCE_DIR "/tests/data/sws/" + std::string(c.file)), data,
                                      errors))
            << c.file;
        ASSERT_EQ(errors.size(), 1u) << c.file;
        EXPECT_EQ(DescribeProgramTextError(c.file, errors[0]), c.file + std::string(":") + c.error);
    }
}

long PeakKilobytes() {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A line longer than any program line is refused before it is split, and a
// word quoted in a message is cut to a readable length.
TEST(ProgramText, LongLinesAreRefusedBeforeTheyAreSplit) {
    auto escaped = [](const std::string& text) {
        std::string out = "\"";
        for (unsigned char c : text) out += Format("\\x%02X", unsigned(c));
        return out + "\"";
    };
    // The longest line of the grammar: a quoted label, the widest module
    // address and SetGain's nine fields at the most an edit holds, every
    // character escaped.
    std::string longest = escaped("ABCDEFGHIJKLMNO") + ": 0000000001 SetGain";
    for (const char* name : {"kp", "kd", "ki", "il", "ol", "cl", "el", "sr", "dc"})
        longest += std::string(" ") + name + "=" + escaped("1" + std::string(38, ' '));
    const std::string atBound = "0 Return" + std::string(size_t(kMaxProgramTextLineBytes) - 8, ' ');
    const std::string tooLong = "Moving: servo moves, then waits; " + std::string(4096, 'x');
    const std::string y(200, 'Y'), z(200, 'z');
    const struct {
        std::string line;
        std::string error;  // "" when accepted
    } cases[] = {
        {longest, ""},
        {atBound, ""},
        {atBound + " ", "9:1: line 9 holds more than 4096 bytes, more than any program line can hold"},
        {";" + tooLong, "9:1: line 9 holds more than 4096 bytes, more than any program line can hold"},
        {"1 " + y, "9:3: '" + y.substr(0, 40) + "...' is not a command of ZEL-SERVO; its commands are Move, Stop, "
                   "SetGain, ResetPosition, StartHoming, GetStatus, ClearStatBits, If-GoTo, WaitFor"},
        {"1 ClearStatBits " + z, "9:17: field '" + z.substr(0, 40) + "...': ClearStatBits has no field '" +
                                    z.substr(0, 40) + "...'; it has none"},
    };
    for (const auto& c : cases) {
        ProgramFileData data;
        std::vector<ProgramTextError> errors;
        const bool ok = ParseProgramText(kHeader + c.line + "\n", data, errors);
        EXPECT_EQ(ok, c.error.empty()) << c.line.substr(0, 60);
        if (c.error.empty()) continue;
        ASSERT_EQ(errors.size(), 1u) << c.line.substr(0, 60);
        EXPECT_EQ(DescribeProgramTextError("p.sws", errors[0]), "p.sws:" + c.error);
    }
    EXPECT_LE(2 * longest.size(), size_t(kMaxProgramTextLineBytes));
}

// Open, in the window and for a dropped file, refuses a 60 MB line without
// holding more than the file's own bytes.
TEST(ProgramText, OpenOfAHugeLineKeepsMemoryBounded) {
    const std::string path =
        (fs::temp_directory_path() / ("sws_huge_" + std::to_string(::getpid()) + ".sws")).string();
    constexpr size_t kLineBytes = size_t(60) << 20;
    {
        std::ofstream out(path, std::ios::binary);
        out << ".module 0 [Master]\n0 Print print-chars=";
        const std::string chunk(size_t(1) << 20, 'x');
        for (size_t n = 0; n < kLineBytes; n += chunk.size()) out << chunk;
        out << "\n0 Return\n";
    }
    TestPlatform ui;
    auto s = std::make_unique<MainState>(ui);
    const long before = PeakKilobytes();
    EXPECT_FALSE(OpenProgramFile(*s, path));
    const long grownKb = PeakKilobytes() - before;
    fs::remove(path);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "Not a valid program file: 1 error\n" + path +
                                  ":2:1: line 2 holds more than 4096 bytes, more than any program line can hold");
    // The file's bytes, and little beyond them.
    EXPECT_LT(grownKb, long(kLineBytes >> 10) + 16 * 1024);
}

// ---------------------------------------------------------------------------
// Round trips

TEST(ProgramText, FieldNamesAreUniqueWithinEveryCommand) {
    InstructionTexts texts(kTypes);
    struct {
        int type, count;
    } families[] = {{kTypeMaster, 0}, {kTypeServo, 0}, {kTypeStepper, 0}, {kTypeIo, 0}};
    for (auto& f : families)
        for (const isa::CommandDesc& c : isa::commandTable()) f.count += isa::typeOfFamily(c.family) == f.type;
    for (const auto& f : families) {
        EXPECT_TRUE(texts.fieldNames(f.type, f.count).empty());
        for (int i = 0; i < f.count; ++i) {
            std::vector<std::string> names = texts.fieldNames(f.type, i);
            for (std::string& n : names)
                if (!n.empty() && n.back() == '=') n.pop_back();
            for (size_t a = 0; a < names.size(); ++a) {
                EXPECT_FALSE(names[a].empty());
                EXPECT_NE(names[a], "raw");
                for (size_t b = a + 1; b < names.size(); ++b)
                    EXPECT_NE(names[a], names[b]) << f.type << " command " << i;
            }
        }
    }
    EXPECT_EQ(texts.fieldNames(kTypeMaster, 10),
              (std::vector<std::string>{"timeout=", "->", "key", "any-key"}));
}

// The words every command's fields are written with: the names .sws files hold
// today.  They are the descriptions' field ids; a caption renamed in a panel
// must not rename one.
TEST(ProgramText, FieldNamesOfEveryCommandAsFilesHoldThem) {
    struct Row {
        isa::Family family;
        const char* command;
        const char* names;  // in the order a line writes them; "name=" takes a value
    };
    const Row rows[] = {
        {isa::Family::Master, "GoTo", "->"},
        {isa::Family::Master, "Call", "->"},
        {isa::Family::Master, "Return", ""},
        {isa::Family::Master, "If-GoTo", "-> key any-key timeout counter-1 counter-2 counter-3 counter-4 mod"},
        {isa::Family::Master, "StopProgram", ""},
        {isa::Family::Master, "Print", "print-chars= add-carriage-return add-line-feed"},
        {isa::Family::Master, "SetTimer", "timeout="},
        {isa::Family::Master, "GetStatus", ""},
        {isa::Family::Master, "MonitorSub", "->"},
        {isa::Family::Master, "Delay", "time="},
        {isa::Family::Master, "WaitFor", "timeout= -> key any-key"},
        {isa::Family::Master, "ClearKey", ""},
        {isa::Family::Master, "SetCounter", "counter= initial-value="},
        {isa::Family::Master, "CountDown", "counter= ->"},
        {isa::Family::Master, "TavoInit", ""},
        {isa::Family::Master, "Reset", ""},
        {isa::Family::Master, "ChangeBaud", "baud-rate="},
        {isa::Family::Servo, "Move",
         "position= velocity= acceleration= pwm= pwm-mode vel-mode reverse move-relative"},
        {isa::Family::Servo, "Stop", "enable-amplifier motor-off stop-abruptly stop-smoothly"},
        {isa::Family::Servo, "SetGain", "kp= kd= ki= il= ol= cl= el= sr= dc="},
        {isa::Family::Servo, "ResetPosition", "relative-to-home"},
        {isa::Family::Servo, "StartHoming",
         "limit-1 limit-2 index pos-error cur-limit stop-on-home motor-off stop-abruptly "
         "stop-smoothly"},
        {isa::Family::Servo, "GetStatus", ""},
        {isa::Family::Servo, "ClearStatBits", ""},
        {isa::Family::Servo, "If-GoTo",
         "-> move-done move-not-done power-on power-not-on overcurrent no-overcurrent "
         "position-error no-position-error limit1-high limit1-lo limit2-high limit2-lo "
         "home-in-progress homing-done"},
        {isa::Family::Servo, "WaitFor",
         "timeout= -> move-done move-not-done power-on power-not-on overcurrent no-overcurrent "
         "position-error no-position-error limit1-high limit1-lo limit2-high limit2-lo "
         "home-in-progress homing-done"},
        {isa::Family::Stepper, "Move", "position= speed= acceleration= velocity-mode reverse"},
        {isa::Family::Stepper, "Stop", "enable-amplifier stop-abruptly stop-smoothly"},
        {isa::Family::Stepper, "SetParam",
         "min-speed= run-cur= hold-cur= therm-limit= ignore-limits speed-1x speed-2x "
         "ignore-stop speed-4x speed-8x off-on-e-stop"},
        {isa::Family::Stepper, "SetOutputs", "out1 half-step slow-decay run-mode out5"},
        {isa::Family::Stepper, "ResetPosition", ""},
        {isa::Family::Stepper, "StartHoming", "limit-1 home-switch limit-2 stop-on-home stop-abruptly stop-smoothly"},
        {isa::Family::Stepper, "GetStatus", ""},
        {isa::Family::Stepper, "If-GoTo",
         "-> moving not-moving power-on power-off amp-enabled amp-disabled at-speed "
         "not-at-speed home-in-progress homing-done limit1-hi limit1-lo limit2-hi limit2-lo "
         "home-sw-hi home-sw-lo e-stop-hi e-stop-lo input1-hi input1-lo input2-hi input2-lo"},
        {isa::Family::Stepper, "WaitFor",
         "timeout= -> moving not-moving power-on power-off amp-enabled amp-disabled at-speed "
         "not-at-speed home-in-progress homing-done limit1-hi limit1-lo limit2-hi limit2-lo "
         "home-sw-hi home-sw-lo e-stop-hi e-stop-lo input1-hi input1-lo input2-hi input2-lo"},
        {isa::Family::Io, "MakeOutputs",
         "bit-1 bit-2 bit-3 bit-4 bit-5 bit-6 bit-7 bit-8 bit-9 bit-10 bit-11 bit-12"},
        {isa::Family::Io, "SetOutputs",
         "bit-1 bit-2 bit-3 bit-4 bit-5 bit-6 bit-7 bit-8 bit-9 bit-10 bit-11 bit-12 set clear"},
        {isa::Family::Io, "SetPWMs", "pwm-1= pwm-2="},
        {isa::Family::Io, "GetStatus", ""},
        {isa::Family::Io, "If-GoTo",
         "-> bit-1 bit-2 bit-3 bit-4 bit-5 bit-6 bit-7 bit-8 bit-9 bit-10 bit-11 bit-12 set "
         "clear"},
        {isa::Family::Io, "WaitFor",
         "timeout= -> bit-1 bit-2 bit-3 bit-4 bit-5 bit-6 bit-7 bit-8 bit-9 bit-10 bit-11 "
         "bit-12 set clear"},
    };
    ASSERT_EQ(std::size(rows), isa::commandTable().size());
    for (const Row& r : rows) {
        const isa::CommandDesc* c = isa::findCommand(r.family, r.command);
        ASSERT_NE(c, nullptr) << r.command;
        std::string names;
        for (const std::string& n : InstructionTexts::fieldNames(isa::typeOfFamily(r.family), c->index))
            names += (names.empty() ? "" : " ") + n;
        EXPECT_EQ(names, r.names) << isa::familyName(r.family) << " " << r.command;
    }
}

// Random text of bytes 1 to 255 (labels do not begin with ';').
std::string RandomText(std::mt19937& rng, int maxLength) {
    std::string t(size_t(std::uniform_int_distribution<int>(0, maxLength)(rng)), ' ');
    for (char& c : t) c = char(std::uniform_int_distribution<int>(1, 255)(rng));
    if (!t.empty() && t[0] == ';') t[0] = 'x';
    return t;
}

// A label, goto-label or comment: random text without the line breaks that a
// program file cannot carry.
std::string RandomFieldText(std::mt19937& rng, int maxLength) {
    std::string t = RandomText(rng, maxLength);
    for (char& c : t)
        if (c == '\n' || c == '\r') c = '_';
    return t;
}

std::string RandomNumber(std::mt19937& rng) {
    static const char* const edges[] = {"0", "1", "4", "5", "255", "256", "250", "1200", "2400", "9600", "19200",
                                        "16383", "32767", "60000", "60001", "-1", "-2147483646", "2147483647",
                                        "", "x"};
    switch (std::uniform_int_distribution<int>(0, 3)(rng)) {
        case 0: return edges[std::uniform_int_distribution<size_t>(0, std::size(edges) - 1)(rng)];
        case 1: return std::to_string(std::uniform_int_distribution<int>(0, 300)(rng));
        case 2: return std::to_string(std::uniform_int_distribution<int>(0, 70000)(rng));
        default: return std::to_string(std::uniform_int_distribution<int>(INT32_MIN, INT32_MAX)(rng));
    }
}

// A random program built through the panels themselves: every command of
// every family with its edits, boxes and choices set at random, kept when the
// builder accepts it; raw records and assembled jump addresses among them.
ProgramFileData RandomProgram(std::mt19937& rng, int lines) {
    TestPlatform ui;
    auto s = std::make_unique<MainState>(ui);
    for (size_t a = 0; a < kTypes.size(); ++a) s->moduleTypes[a] = kTypes[a] == 255 ? kTypeUnknown : kTypes[a];
    ProgramFileData data;
    data.moduleTypes = kTypes;
    data.moduleListCount = int(kTypes.size()) - 1;
    auto pick = [&rng](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    auto fill = [&](Ctl* edits, int count, Ctl* labels) {
        for (int i = 1; i <= count; ++i) {
            const std::string& caption = labels ? labels[i].caption : std::string();
            const bool target = caption.find("Label") != std::string::npos || caption == "GoTo on Timeout" ||
                                caption == "LoopTo if not 0";
            edits[i].text = target                    ? RandomFieldText(rng, 15)
                            : caption == "Print Chars" ? RandomText(rng, 15)
                                                       : RandomNumber(rng);
        }
    };
    auto checks = [&](Ctl* c, int count) {
        for (int i = 1; i <= count; ++i) c[i].checked = pick(2) == 1;
    };
    auto motor = [&](Ctl& box, int commands, void (*click)(MainState&), Ctl* edits, Ctl* labels, Ctl* boxes,
                     Ctl& radioGroup, Ctl& conditionBox) {
        box.index = pick(commands);
        click(*s);
        fill(edits, 9, labels);
        checks(boxes, 7);
        radioGroup.index = pick(int(radioGroup.items.size()) + 1) - 1;
        conditionBox.index = pick(int(conditionBox.items.size()) + 1) - 1;
    };
    while (int(data.lines.size()) < lines) {
        const int kind = pick(20);
        if (kind == 0) {
            ProgramLine c;
            c.setComment(";" + RandomFieldText(rng, 59));
            data.lines.push_back(c);
            continue;
        }
        if (kind == 1) {  // a record as a hand-edited file may hold it
            ProgramLine r;
            std::memset(&r, 0, sizeof r);
            r.setLabel(RandomFieldText(rng, 15));
            r.setGotoLabel(RandomFieldText(rng, 15));
            r.moduleAddress = uint8_t(pick(256));
            r.commandCode = uint8_t(pick(256));
            r.patchOffset = uint8_t(pick(30));
            r.length = uint8_t(pick(25));
            for (int k = 0; k < r.length; ++k) r.bytes[k] = uint8_t(pick(256));
            // A record that jumps has room for its jump address, as a program file demands.
            if (r.gotoLabel[0] != '\0' && !PatchFits(r)) {
                if (r.length >= 5) r.patchOffset = uint8_t(3 + pick(r.length - 4));
                else r.setGotoLabel("");
            }
            data.lines.push_back(r);
            continue;
        }
        const int module = pick(6);
        std::memset(&s->builderLine, 0, sizeof s->builderLine);
        s->builderLine.moduleAddress = uint8_t(module);
        Form& f = s->form;
        switch (kTypes[size_t(module)]) {
            case kTypeMaster:
                f.MasterCBox.index = pick(17);
                MasterCBoxClick(*s);
                fill(f.master.MasterEdit, 2, f.master.MasterLabel);
                for (int i = 3; i <= 8; ++i) f.master.MasterEdit[i].text = i == 3 ? RandomText(rng, 2) : RandomNumber(rng);
                checks(f.master.MasterCheck, 2);
                f.master.RadioGroup1.index = pick(3) - 1;
                f.master.RadioGroup2.index = pick(9) - 1;
                break;
            case kTypeServo:
                motor(f.ServoCBox, 9, ServoCBoxClick, f.servo.ServoEdit, f.servo.ServoLabel, f.servo.ServoCheck,
                      f.servo.ServoRG, f.servo.ServoIfCBox);
                break;
            case kTypeStepper:
                motor(f.StepCBox, 9, StepCBoxClick, f.step.StepEdit, f.step.StepLabel, f.step.StepCheck,
                      f.step.StepRG, f.step.StepIfCBox);
                break;
            default:
                f.IoCBox.index = pick(6);
                IoCBoxClick(*s);
                fill(f.io.IoEdit, 2, f.io.IoLabel);
                checks(f.io.IoCheck, 12);
                f.io.IoRG.index = pick(2);
                break;
        }
        f.LabelEdit.text = RandomFieldText(rng, 15);
        if (BuildInstruction(*s) != 0) continue;
        ProgramLine l = s->builderLine;
        for (int k = l.length; k < kMaxInstrBytes; ++k) l.bytes[k] = 0;
        if (l.gotoLabel[0] && pick(3) == 0) {  // an assembly wrote the target address
            l.bytes[l.patchOffset] = uint8_t(pick(256));
            l.bytes[l.patchOffset + 1] = uint8_t(pick(256));
        }
        data.lines.push_back(l);
    }
    return data;
}

TEST(ProgramText, RandomProgramsOfEveryCommandRoundTrip) {
    std::mt19937 rng(20261207);
    for (int round = 0; round < 40; ++round) {
        const ProgramFileData data = RandomProgram(rng, 150);
        ExpectRoundTrip(data, Format("round %d", round));
        if (HasFatalFailure()) return;
    }
}

TEST(ProgramText, EveryProgramFileOfTheProjectRoundTrips) {
    int files = 0;
    for (const char* dir : {STEPWRIGHT_SOURCE_DIR "/tests/data/cli", STEPWRIGHT_SOURCE_DIR "/examples"}) {
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (entry.path().extension() != ".stw") continue;
            ProgramFileData data;
            ASSERT_EQ(ParseProgramFile(ReadAll(entry.path()), data), "") << entry.path();
            ExpectRoundTrip(data, entry.path().string());
            ++files;
        }
    }
    EXPECT_GE(files, 10);
}

// Each example is kept in both forms, and the two agree.
TEST(ProgramText, ExamplePairsAgree) {
    int pairs = 0;
    for (const auto& entry : fs::directory_iterator(STEPWRIGHT_SOURCE_DIR "/examples")) {
        if (entry.path().extension() != ".stw") continue;
        fs::path text = entry.path();
        text.replace_extension(".sws");
        ASSERT_TRUE(fs::exists(text)) << text;
        ProgramFileData stw, sws;
        std::vector<ProgramTextError> errors;
        ASSERT_EQ(ParseProgramFile(ReadAll(entry.path()), stw), "");
        ASSERT_TRUE(ParseProgramText(ReadAll(text), sws, errors)) << DescribeProgramTextError(text, errors[0]);
        EXPECT_EQ(FormatProgramText(stw), ReadAll(text)) << text;
        ASSERT_EQ(stw.lines.size(), sws.lines.size());
        for (size_t i = 0; i < stw.lines.size(); ++i)
            ExpectSameRecord(stw.lines[i], sws.lines[i], text.string() + Format(" line %d", int(i) + 1));
        EXPECT_EQ(Assemble(stw).bytes, Assemble(sws).bytes) << text;
        ++pairs;
    }
    EXPECT_GE(pairs, 2);
}

}  // namespace
