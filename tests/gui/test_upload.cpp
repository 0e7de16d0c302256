// Read from master in the window: Ctrl+Shift+R opens the master's program as
// a new untitled program, and the status line says the master holds it.
#include <QLabel>
#include <QPushButton>

#include "GuiTest.h"
#include "app/gui/SecondaryForms.h"
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

}  // namespace

STEPWRIGHT_GUI_TEST_MAIN()
