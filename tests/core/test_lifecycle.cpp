// Exit, the close query and Help.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "TestPlatform.h"
#include "app/DataPaths.h"
#include "app/Lifecycle.h"
#include "app/MainState.h"
#include "app/Editing.h"

namespace {

struct Lifecycle : ::testing::Test {
    TestPlatform ui;
    std::unique_ptr<MainState> s = std::make_unique<MainState>(ui);
    void SetUp() override { StartTimerTimer(*s); }
    void addComment() {
        s->form.CommentEdit.text = "x";
        CommentButtonClick(*s);
    }
};

TEST_F(Lifecycle, EmptyProgramClosesWithoutAsking) {
    addComment();
    ui.answers = {Answer::Yes};
    ClearButtonClick(*s);  // unsaved, but no lines
    EXPECT_TRUE(FormCloseQuery(*s));
    EXPECT_EQ(ui.questions.size(), 1u);  // only the Clear All question
}

TEST_F(Lifecycle, SavedProgramClosesWithoutAsking) {
    addComment();
    s->form.SaveLabel.color = kGreen;
    EXPECT_TRUE(FormCloseQuery(*s));
    EXPECT_TRUE(ui.questions.empty());
}

TEST_F(Lifecycle, UnsavedProgramAsks) {
    addComment();
    ui.answers = {Answer::No};
    EXPECT_TRUE(FormCloseQuery(*s));
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0], "Program not saved - save before exiting?");
    ui.answers = {Answer::Cancel};
    EXPECT_FALSE(FormCloseQuery(*s));
    EXPECT_EQ(s->lineCount, 1);
}

TEST_F(Lifecycle, YesWithCancelledSaveKeepsTheWindowOpen) {
    addComment();
    ui.answers = {Answer::Yes};
    ui.saveNames = {""};  // the user cancels the save dialog
    EXPECT_FALSE(FormCloseQuery(*s));
    EXPECT_EQ(s->lineCount, 1);
}

TEST_F(Lifecycle, ExitClosesTheMainWindow) {
    ExitButtonClick(*s);
    EXPECT_EQ(ui.closeRequests, 1);
}

// Help looks beside the executable, then in the installed place, then in the
// current directory, and opens the first guide it finds.
TEST_F(Lifecycle, HelpFindsTheGuideFromAnyStartingFolder) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("stepwright-help-" + std::to_string(::getpid()));
    const fs::path bin = root / "prefix" / "bin", installed = root / "prefix" / "share" / "doc" / "stepwright";
    const fs::path cwd = root / "work";
    struct Case {
        bool beside, inShare, inCwd, opens;
        fs::path expected;   // empty: nothing opened
    };
    const Case cases[] = {
        {true, true, true, true, bin / "stepwright.pdf"},
        {false, true, true, true, installed / "stepwright.pdf"},
        {false, false, true, true, cwd / "stepwright.pdf"},
        {false, false, false, true, {}},
        {true, false, false, false, bin / "stepwright.pdf"},   // a viewer that fails
    };
    for (const Case& c : cases) {
        fs::remove_all(root);
        for (const fs::path& dir : {bin, installed, cwd}) fs::create_directories(dir);
        const std::pair<bool, fs::path> files[] = {{c.beside, bin}, {c.inShare, installed}, {c.inCwd, cwd}};
        for (const auto& [present, dir] : files)
            if (present) std::ofstream(dir / "stepwright.pdf") << "%PDF";
        if (!c.inCwd) fs::create_directories(cwd / "stepwright.pdf");   // a directory is no guide
        ui.documents.clear();
        ui.messages.clear();
        ui.executableDir = bin.string();
        ui.currentDir = cwd.string();
        ui.documentOpens = c.opens;
        HelpButtonClick(*s);
        const bool shown = !c.expected.empty() && c.opens;
        EXPECT_EQ(ui.documents, c.expected.empty() ? std::vector<std::string>{}
                                                   : std::vector<std::string>{c.expected.string()});
        const std::string why = c.expected.empty() ? "Acrobat Reader or 'stepwright.pdf' not found"
                                                   : "No PDF viewer could be started to show " + c.expected.string();
        EXPECT_EQ(ui.messages, shown ? std::vector<std::string>{} : std::vector<std::string>{why});
        EXPECT_EQ(FindUserGuide(bin.string(), cwd.string()), c.expected.string());
    }
    // No directory known: nothing is looked up relative to wherever we are.
    EXPECT_EQ(FindUserGuide("", ""), "");
    fs::remove_all(root);
}

}  // namespace
