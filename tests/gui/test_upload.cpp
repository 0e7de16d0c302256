// Read from master in the window: Ctrl+Shift+R opens the master's program as
// a new untitled program, and the status line says the master holds it.
#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

#include <fstream>

#include "GuiTest.h"
#include "app/gui/DifferencesForm.h"
#include "app/gui/MainForm.h"
#include "app/gui/SecondaryForms.h"
#include "program/ProgramFile.h"
#include "program/ProgramText.h"
#include "sim/SimMaster.h"

namespace {

TEST(ReadFromMaster, CtrlShiftROpensTheMastersProgramAsNewAndUntitled) {
    SimOptions options;
    options.paceBaud = 0;
    SimMaster sim(options);
    std::string error;
    ASSERT_TRUE(sim.start(error)) << error;

    Gui g;
    ApplyPortMap(g.s, StartOptions{}, sim.devicePath());
    g.start();
    g.windows->com().findChild<QPushButton*>(QStringLiteral("SetButton"))->click();
    for (int i = 0; i < 20 && !g.s.online; ++i) g.main.firePollTimer();
    ASSERT_TRUE(g.s.online);

    g.ui.fileNames = {std::string(STEPWRIGHT_EXAMPLES) + "/demo.stw"};
    g.w<QPushButton>("OpenButton")->click();
    const std::vector<std::string> listing = [&] {
        std::vector<std::string> texts;
        for (int i = 0; i < g.s.lineCount; ++i)
            if (!g.s.lines[i].isComment()) texts.push_back(g.s.listing.text(i).substr(9));
        return texts;
    }();
    // The goto-labels become the labels made at their addresses.
    const auto renamed = [](std::string text) {
        for (const auto& [from, to] : {std::pair<std::string, std::string>{"TIMEOUT", "L_007C"}, {"LOOP", "L_0017"}})
            if (const size_t at = text.find(from); at != std::string::npos) text.replace(at, from.size(), to);
        return text;
    };
    g.w<QPushButton>("DownloadButton")->click();
    auto* line = g.w<QLabel>("StatusLine");
    EXPECT_TRUE(line->text().endsWith("Master holds this program")) << line->text().toStdString();

    // The program came from its file and is saved: no question.
    pressKey(&g.main, Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(g.main.windowTitle(), "Tavo Stepwright");
    EXPECT_EQ(g.s.form.SaveLabel.caption, "Not Saved");
    std::vector<std::string> read;
    for (int i = 0; i < g.s.lineCount; ++i) read.push_back(g.s.listing.text(i).substr(9));
    ASSERT_EQ(read.size(), listing.size());
    for (size_t i = 0; i < read.size(); ++i) EXPECT_EQ(read[i], renamed(listing[i]));
    EXPECT_EQ(line->text(), "COM1 on line | stopped | untitled | changed | Master holds this program");
    EXPECT_EQ(g.ui.boxes, (std::vector<std::string>{"4 module(s) found", "Download complete"}));
    sim.stop();
}

// Compare with master lists the lines that differ; a click on one selects
// its listing line.  A master that holds the program makes it loaded.
TEST(ReadFromMaster, CompareWithMasterListsTheDifferingLines) {
    SimOptions options;
    options.paceBaud = 0;
    SimMaster sim(options);
    std::string error;
    ASSERT_TRUE(sim.start(error)) << error;
    QTemporaryDir dir;
    const std::string demo = std::string(STEPWRIGHT_EXAMPLES) + "/demo.stw";
    ProgramFileData data;
    ASSERT_EQ(ReadProgramFile(demo, data), "");
    std::string text = FormatProgramText(data);
    const size_t at = text.find("position=4000");
    ASSERT_NE(at, std::string::npos);

    Gui g;
    ApplyPortMap(g.s, StartOptions{}, sim.devicePath());
    g.start();
    g.windows->com().findChild<QPushButton*>(QStringLiteral("SetButton"))->click();
    for (int i = 0; i < 20 && !g.s.online; ++i) g.main.firePollTimer();
    ASSERT_TRUE(g.s.online);
    g.ui.fileNames = {demo};
    g.w<QPushButton>("OpenButton")->click();
    g.w<QPushButton>("DownloadButton")->click();

    // The same program from another file: not loaded until compared.
    const std::string copy = dir.path().toStdString() + "/copy.sws";
    std::ofstream(copy) << text;
    g.ui.fileNames = {copy};
    g.w<QPushButton>("OpenButton")->click();
    EXPECT_EQ(g.s.form.LoadLabel.caption, "Not Loaded");
    auto* compare = g.main.findChild<QAction*>(QStringLiteral("CompareWithMaster2"));
    ASSERT_TRUE(compare);
    compare->trigger();
    EXPECT_EQ(g.s.form.LoadLabel.caption, "  Loaded  ");
    EXPECT_TRUE(g.w<QPushButton>("RunButton")->isEnabled());
    EXPECT_EQ(g.main.differencesWindow(), nullptr);

    // The first Move goes to 4100.
    text.replace(at, 13, "position=4100");
    std::ofstream(copy) << text;
    g.ui.fileNames = {copy};
    g.w<QPushButton>("OpenButton")->click();
    compare->trigger();
    auto* form = g.main.differencesWindow();
    ASSERT_TRUE(form);
    EXPECT_TRUE(form->isVisible());
    auto* list = form->findChild<QListWidget*>(QStringLiteral("DifferencesList"));
    ASSERT_TRUE(list);
    std::vector<std::string> rows;
    for (int i = 0; i < list->count(); ++i) rows.push_back(list->item(i)->text().toStdString());
    EXPECT_EQ(rows, (std::vector<std::string>{"- line 6:  LOOP      1 Move - Pos. 4100",
                                              "+ master, before line 7:  LOOP      1 Move - Pos. 4000"}));
    EXPECT_EQ(g.s.currentLine, 0);
    clickRow(list, 1);
    EXPECT_EQ(g.s.currentLine, 6);
    clickRow(list, 0);
    EXPECT_EQ(g.s.currentLine, 5);
    EXPECT_EQ(selectedRows(g.w<QListWidget>("ProgramListBox")), std::vector<int>{5});
    EXPECT_EQ(g.s.form.LoadLabel.caption, "Not Loaded");

    // The master's program again: the list closes.
    g.ui.fileNames = {demo};
    g.w<QPushButton>("OpenButton")->click();
    compare->trigger();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(g.s.form.LoadLabel.caption, "  Loaded  ");
    sim.stop();
}

}  // namespace

STEPWRIGHT_GUI_TEST_MAIN()
