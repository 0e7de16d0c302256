// Exit, the close query and Help.
#include <gtest/gtest.h>

#include "TestPlatform.h"
#include "app/Lifecycle.h"
#include "app/MainState.h"
#include "program/LineStore.h"

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

TEST_F(Lifecycle, HelpOpensTheDocumentByBareName) {
    ui.documentOpens = true;
    HelpButtonClick(*s);
    EXPECT_EQ(ui.documents, std::vector<std::string>{"stepwright.pdf"});
    EXPECT_TRUE(ui.messages.empty());
    ui.documentOpens = false;
    HelpButtonClick(*s);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Acrobat Reader or 'stepwright.pdf' not found"});
}

}  // namespace
