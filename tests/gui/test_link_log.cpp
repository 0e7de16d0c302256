// The Link Log window off-screen: opened by its key, rows after a failed
// download, filters and search, pause, and a save that decodes alike.

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <fstream>
#include <sstream>

#include "GuiTest.h"
#include "ScriptedMaster.h"
#include "app/DownloadButtons.h"
#include "app/PollTimer.h"
#include "app/gui/LinkLogForm.h"

namespace {

std::vector<std::string> Shown(const TLinkLogForm& w) {
    std::vector<std::string> rows;
    for (int i = 0; i < w.rowCount(); ++i)
        rows.push_back(std::string(w.exchangeAt(i).command) + "/" + LinkVerdictId(w.exchangeAt(i).verdict));
    return rows;
}

TEST(LinkLogWindow, ShowsTheBlockThatFailedAndSavesIt) {
    Gui g;
    g.start();
    ScriptedMaster m{g.s};
    m.send({'H', 'i'});
    g.main.run([](MainState& s) {
        PollTimerTimer(s);  // off line: the tick only collects
        s.online = true;
        DownloadButtonClick(s);  // two bytes, one block: it goes through
    });
    m.answerCC = true;
    g.main.run([](MainState& s) {
        s.online = true;
        DownloadButtonClick(s);  // refused
    });

    pressKey(g.w("ProgramListBox"), Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);
    TLinkLogForm* w = g.main.linkLogWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(Shown(*w),
              (std::vector<std::string>{"Unsolicited/unsolicited", "Write block/ok", "Write block/refused"}));

    // Filters by verdict and command, and the search over summary and bytes.
    auto* verdicts = w->findChild<QComboBox*>("LinkLogVerdictBox");
    auto* commands = w->findChild<QComboBox*>("LinkLogCommandBox");
    auto* search = w->findChild<QLineEdit*>("LinkLogSearchEdit");
    ASSERT_TRUE(verdicts && commands && search);
    verdicts->setCurrentIndex(verdicts->findData(QStringLiteral("refused")));
    EXPECT_EQ(Shown(*w), std::vector<std::string>{"Write block/refused"});
    verdicts->setCurrentIndex(0);
    commands->setCurrentIndex(commands->findText(QStringLiteral("Unsolicited")));
    EXPECT_EQ(Shown(*w), std::vector<std::string>{"Unsolicited/unsolicited"});
    commands->setCurrentIndex(0);
    search->setText(QStringLiteral("00 cc"));
    EXPECT_EQ(Shown(*w), std::vector<std::string>{"Write block/refused"});
    search->clear();

    // The selected row's bytes in hex.
    auto* table = w->findChild<QTableView*>("LinkLogTable");
    table->setCurrentIndex(table->model()->index(2, 0));
    EXPECT_TRUE(w->findChild<QPlainTextEdit*>("LinkLogHexView")->toPlainText().endsWith("\n< 00 CC"));

    // Paused, new exchanges wait; resumed, they come.
    w->setPaused(true);
    m.answerCC = false;
    g.main.run([](MainState& s) {
        s.online = true;
        DownloadButtonClick(s);
    });
    w->refresh();
    EXPECT_EQ(w->rowCount(), 3);
    w->setPaused(false);
    EXPECT_EQ(w->rowCount(), 4);

    // Saved, the file decodes to the rows shown.
    QTemporaryDir dir;
    const QString path = dir.path() + "/line.log";
    w->chooseFile = [&] { return path; };
    w->findChild<QPushButton*>("LinkLogSaveButton")->click();
    std::ifstream in(path.toStdString());
    std::stringstream text;
    text << in.rdbuf();
    LinkRuns runs;
    int32_t types[32];
    ASSERT_EQ(ParseLinkLog(text.str(), runs, types), "");
    const auto decoded = DecodeLinkRuns(runs, types);
    ASSERT_EQ(decoded.size(), size_t(w->rowCount()));
    for (size_t i = 0; i < decoded.size(); ++i)
        EXPECT_EQ(LinkExchangeJson(decoded[i]), LinkExchangeJson(w->exchangeAt(int(i))));
}

}  // namespace

STEPWRIGHT_GUI_TEST_MAIN()
