// The program's tie to its file: the replace question of the save dialog,
// New, Save As, the recent files and the status line's text.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "FakeSerial.h"
#include "TestPlatform.h"
#include "app/FileTie.h"
#include "app/Lifecycle.h"
#include "app/MainState.h"
#include "app/MasterProgram.h"
#include "app/StatusText.h"
#include "app/Editing.h"
#include "app/Files.h"
#include "app/ModuleListBox.h"
#include "link/Upload.h"
#include "modules/ModuleList.h"
#include "program/LineStore.h"
#include "program/ProgramFile.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteAll(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

struct FileTie : ::testing::Test {
    TestPlatform ui;
    std::unique_ptr<MainState> s = std::make_unique<MainState>(ui);
    std::string dir;

    void SetUp() override {
        std::string templ = (fs::temp_directory_path() / "stwtie.XXXXXX").string();
        ASSERT_NE(mkdtemp(templ.data()), nullptr);
        dir = templ;
        StartTimerTimer(*s);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Path(const std::string& name) const { return dir + "/" + name; }
    void AddComment(const std::string& text) {
        s->form.CommentEdit.text = text;
        CommentButtonClick(*s);
    }
    // Saves the program to name through the dialog (answering the questions
    // with answers); true when it was written.
    bool SaveTo(std::vector<std::string> names, std::vector<Answer> answers = {}) {
        ui.saveNames.assign(names.begin(), names.end());
        ui.answers.assign(answers.begin(), answers.end());
        ui.questions.clear();
        ui.proposedSaveNames.clear();
        return SaveProgram(*s);
    }
};

std::string Replace(const std::string& path) { return path + " already exists - replace it?"; }

// The open problem: a file the program did not come from is never replaced
// without a question, under whatever name; the program's own file is.
TEST_F(FileTie, SaveAsksBeforeReplacingAnotherFile) {
    const std::string kOld = "another program's bytes";
    struct Case {
        const char* what;
        std::function<std::string()> setUp;  // returns the name chosen in the dialog
        std::vector<Answer> answers;
        bool asked, written;
    };
    const Case cases[] = {
        {"a new name", [&] { return Path("new.stw"); }, {}, false, true},
        {"another file, Yes", [&] { return WriteAll(Path("b.stw"), kOld), Path("b.stw"); }, {Answer::Yes}, true, true},
        {"another file, No", [&] { return WriteAll(Path("b.stw"), kOld), Path("b.stw"); }, {Answer::No}, true, false},
        {"its own file", [&] { return Path("mine.stw"); }, {}, false, true},
        {"its own file through a link",
         [&] { return fs::create_symlink(Path("mine.stw"), Path("l.stw")), Path("l.stw"); }, {}, false, true},
        {"its own file by a hard link",
         [&] { return fs::create_hard_link(Path("mine.stw"), Path("h.stw")), Path("h.stw"); }, {}, false, true},
        {"its own name, now another file",
         [&] { return fs::rename(Path("mine.stw"), Path("old.stw")), WriteAll(Path("mine.stw"), kOld), Path("mine.stw"); },
         {Answer::Yes}, true, true},
        {"its own name after New",
         [&] {
             ui.answers = {Answer::No};  // to saving the work first
             return New1Click(*s), AddComment(";after new"), Path("mine.stw");
         },
         {Answer::No}, true, false},
        {"its own name after Clear All",
         [&] {
             ui.answers = {Answer::Yes};  // to clearing the program
             return ClearButtonClick(*s), AddComment(";after clear"), Path("mine.stw");
         },
         {Answer::No}, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        AddComment(";mine");
        ASSERT_TRUE(SaveTo({Path("mine.stw")}));
        AddComment(";more");
        const std::string chosen = c.setUp();
        const std::string before = fs::exists(chosen) ? ReadAll(chosen) : "";
        // After No the dialog comes back, proposing the name refused; here
        // it is cancelled then.
        EXPECT_EQ(SaveTo({chosen}, c.answers), c.written);
        EXPECT_EQ(ui.questions, c.asked ? std::vector<std::string>{Replace(chosen)} : std::vector<std::string>{});
        // Refused, the dialog came back proposing the name (then cancelled).
        EXPECT_EQ(ui.proposedSaveNames.size(), c.written ? 1u : 2u);
        if (!c.written) {
            EXPECT_EQ(ui.proposedSaveNames.back(), chosen);
        }
        EXPECT_EQ(ReadAll(chosen) != before, c.written);
        EXPECT_EQ(IsProgramFile(*s, chosen), c.written);
    }
}

TEST_F(FileTie, NewAsksAsOpenDoesAndLeavesAnUntitledProgram) {
    const std::string kQuestion = "Program not saved - save before starting a new program?";
    struct Case {
        const char* what;
        bool saved;                  // the program shows "Saved" before New
        std::vector<Answer> answers;
        const char* saveName;         // chosen in the save dialog: "" cancels it
        bool asked, savedFirst, renewed;
    };
    const Case cases[] = {
        {"unsaved, Cancel", false, {Answer::Cancel}, "", true, false, false},
        {"unsaved, No", false, {Answer::No}, "", true, false, true},
        {"unsaved, Yes", false, {Answer::Yes}, "saved.stw", true, true, true},
        {"unsaved, Yes, save cancelled", false, {Answer::Yes}, "", true, false, false},
        {"saved", true, {}, "", false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        AddServoModule1Click(*s);
        AddComment(";work");
        if (c.saved) {
            ASSERT_TRUE(SaveTo({Path("mine.stw")}));
        }
        ui.answers.assign(c.answers.begin(), c.answers.end());
        ui.saveNames = {*c.saveName ? Path(c.saveName) : ""};
        ui.questions.clear();
        New1Click(*s);
        EXPECT_EQ(ui.questions, c.asked ? std::vector<std::string>{kQuestion} : std::vector<std::string>{});
        EXPECT_EQ(fs::exists(Path("saved.stw")), c.savedFirst);
        EXPECT_EQ(s->lineCount, c.renewed ? 0 : 1);
        if (!c.renewed) continue;
        EXPECT_EQ(s->listing.count(), 1);
        EXPECT_EQ(s->form.ModuleListBox.items, std::vector<std::string>{" 0 [Master]"});
        EXPECT_FALSE(s->moduleListDefined);
        EXPECT_EQ(s->form.caption, "Tavo Stepwright");
        EXPECT_EQ(s->form.SaveLabel.color, kRed);
        EXPECT_TRUE(s->programFile.path.empty());
        EXPECT_TRUE(s->rememberedFile.empty());
    }
}

TEST_F(FileTie, SaveAsTiesTheProgramToTheNewFile) {
    AddComment(";x");
    ASSERT_TRUE(SaveTo({Path("a.stw")}));
    ui.saveNames = {Path("b.stw")};
    SaveAs1Click(*s);
    EXPECT_EQ(ReadAll(Path("b.stw")), ReadAll(Path("a.stw")));
    EXPECT_EQ(s->form.caption, "Tavo Stepwright - " + Path("b.stw"));
    EXPECT_EQ(s->recentFiles, (std::vector<std::string>{Path("b.stw"), Path("a.stw")}));
    // a.stw is now another file: replacing it asks.
    ASSERT_FALSE(SaveTo({Path("a.stw")}, {Answer::No}));
    EXPECT_EQ(ui.questions, std::vector<std::string>{Replace(Path("a.stw"))});
}

TEST_F(FileTie, RecentFilesNewestFirstOnceAndAtMostEight) {
    using List = std::vector<std::string>;
    const List eight = {"/8", "/7", "/6", "/5", "/4", "/3", "/2", "/1"};
    struct Case {
        List before;
        std::string added;
        List after;
    };
    const Case cases[] = {
        {{}, "/a", {"/a"}},
        {{"/a", "/b"}, "/b", {"/b", "/a"}},
        {{"/a", "/b", "/c"}, "/a", {"/a", "/b", "/c"}},
        {eight, "/9", {"/9", "/8", "/7", "/6", "/5", "/4", "/3", "/2"}},
        {eight, "/1", {"/1", "/8", "/7", "/6", "/5", "/4", "/3", "/2"}},
        {{"/a"}, "", {"/a"}},
    };
    for (const Case& c : cases) {
        List list = c.before;
        AddRecentFile(list, c.added);
        EXPECT_EQ(list, c.after) << c.added;
    }
}

TEST_F(FileTie, OpenRecentDropsAFileThatIsGone) {
    AddComment(";x");
    ASSERT_TRUE(SaveTo({Path("a.stw")}));
    ASSERT_TRUE(SaveTo({Path("b.stw")}));
    fs::remove(Path("b.stw"));
    OpenRecentFile(*s, Path("b.stw"));
    EXPECT_EQ(ui.messages, std::vector<std::string>{Path("b.stw") + " no longer exists - removed from Open Recent"});
    EXPECT_EQ(s->recentFiles, std::vector<std::string>{Path("a.stw")});
    AddComment(";unsaved");
    ui.answers = {Answer::No};
    ui.questions.clear();
    OpenRecentFile(*s, Path("a.stw"));
    EXPECT_EQ(ui.questions, std::vector<std::string>{"Program not saved - save before opening?"});
    EXPECT_EQ(s->lineCount, 1);
    EXPECT_EQ(s->form.caption, "Tavo Stepwright - " + Path("a.stw"));
}

TEST(StatusLine, TextFollowsPortRunFileAndChanges) {
    struct Case {
        bool port;
        int item;
        bool online, running;
        const char* file;  // "" = untitled
        int lines;
        bool saved;
        const char* text;
        MasterVerdict verdict = MasterVerdict::Unknown;
        bool editedSince = false;
    };
    const Case cases[] = {
        {false, -1, false, false, "", 0, false, "no port | stopped | untitled"},
        {false, -1, false, false, "", 2, false, "no port | stopped | untitled | changed"},
        {true, 0, true, true, "/p/mine.stw", 3, true, "COM1 on line | running | mine.stw"},
        {true, 2, false, false, "/p/mine.stw", 0, false, "COM3 off line | stopped | mine.stw | changed"},
        {true, 5, true, false, "/p/q/x.sws", 1, true, "COM6 on line | stopped | x.sws"},
        {true, 0, true, false, "/p/a.stw", 1, true, "COM1 on line | stopped | a.stw | Master holds this program",
         MasterVerdict::Same},
        {true, 0, true, false, "", 1, false, "COM1 on line | stopped | untitled | changed | Master holds a different program",
         MasterVerdict::Different},
        {true, 0, true, false, "/p/a.stw", 1, true, "COM1 on line | stopped | a.stw | Not compared",
         MasterVerdict::NotCompared},
        {true, 0, true, false, "/p/a.stw", 1, true, "COM1 on line | stopped | a.stw", MasterVerdict::Same, true},
    };
    for (const Case& c : cases) {
        TestPlatform ui;
        MainState s(ui);
        if (c.port) s.port = std::make_unique<FakeSerial>();
        s.com.openItem = c.item;
        s.online = c.online;
        s.form.RunLEDShape.color = c.running ? kGreen : kRed;
        s.programFile.path = c.file;
        s.lineCount = c.lines;
        s.form.SaveLabel.color = c.saved ? kGreen : kRed;
        SetMasterVerdict(s, c.verdict);
        if (c.editedSince) ++s.programEdits;
        EXPECT_EQ(StatusLineText(s), c.text);
    }
}

}  // namespace
