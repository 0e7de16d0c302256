// The Problems window: opened by its key and the module menu, following
// edits live, a double click selecting the line, the listing's tool tips.

#include <QHelpEvent>
#include <QLabel>
#include <QPushButton>
#include <QToolTip>
#include <QListWidget>
#include <QTemporaryDir>
#include <fstream>

#include "GuiTest.h"
#include "app/gui/Latin1.h"
#include "app/gui/ProblemsForm.h"
#include "app/Editing.h"
#include "app/Files.h"

namespace {

// Listing line 2 (0-based) jumps nowhere, line 3 loops; line 4 is never reached.
const char kProgram[] =
    ".stepwright 1\n.module 0 [Master]\n\n"
    "; faults\n"
    "          0 Delay time=1\n"
    "          0 If-GoTo any-key -> NOWHERE\n"
    "S:        0 GoTo -> S\n"
    "          0 Delay time=2\n";

QStringList Rows(QListWidget* list) {
    QStringList rows;
    for (int i = 0; i < list->count(); ++i) rows << list->item(i)->text();
    return rows;
}

TEST(ProblemsWindow, FollowsEditsSelectsLinesAndTipsTheListing) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/faults.sws";
    std::ofstream(path, std::ios::binary) << kProgram;
    Gui g;
    g.start();
    g.main.run([&](MainState& s) { OpenGivenFile(s, path); });

    // Ctrl+Shift+P opens it, with the findings of the program already open.
    pressKey(&g.main, Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
    TProblemsForm* form = g.main.problemsWindow();
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->objectName(), "ProblemsForm");
    auto* list = form->findChild<QListWidget*>(QStringLiteral("ProblemsList"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(Rows(list), (QStringList{"3: error: jump to 'NOWHERE', which no line defines [undefined-label]",
                                       "4: note: a loop with no Delay or WaitFor starts here: the master runs it at "
                                       "full speed [busy-loop]",
                                       "5: warning: no path from the first instruction reaches this line "
                                       "[unreachable]"}));
    auto* listing = g.w<QListWidget>("ProgramListBox");
    EXPECT_EQ(listing->item(2)->toolTip(), "error: jump to 'NOWHERE', which no line defines [undefined-label]");
    EXPECT_TRUE(listing->item(1)->toolTip().isEmpty());

    // A double click selects the line alone and loads it as a click would.
    const QPoint p = list->visualItemRect(list->item(2)).center();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(p), list->viewport()->mapToGlobal(QPointF(p)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &press);
    QMouseEvent twice(QEvent::MouseButtonDblClick, QPointF(p), list->viewport()->mapToGlobal(QPointF(p)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &twice);
    EXPECT_EQ(g.s.currentLine, 4);
    EXPECT_EQ(selectedRows(listing), std::vector<int>{4});
    EXPECT_EQ(g.s.form.CmdEdit.text, "Delay");

    // Deleting the faulty jump: the list and the tips follow at once.
    g.main.run([](MainState& s) { SelectProblemLine(s, 2); });
    g.main.run(DeleteButtonClick);
    EXPECT_EQ(Rows(list), (QStringList{"3: note: a loop with no Delay or WaitFor starts here: the master runs it at "
                                       "full speed [busy-loop]",
                                       "4: warning: no path from the first instruction reaches this line "
                                       "[unreachable]"}));
    EXPECT_TRUE(listing->item(2)->toolTip().startsWith("note: a loop"));
    EXPECT_TRUE(listing->item(4)->toolTip().isEmpty());
    EXPECT_EQ(form->findChild<QLabel*>(QStringLiteral("ProblemsSummary"))->text(),
              "0 error(s), 1 warning(s), 1 note(s)");
}

// A "; check: ignore" comment: the finding stays in the list, greyed and
// marked, and out of the counts; removing the comment brings it back.
TEST(ProblemsWindow, SuppressedFindingsAreGreyed) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/spin.sws";
    std::ofstream(path, std::ios::binary) << ".stepwright 1\n.module 0 [Master]\n\n"
                                             "; check: ignore busy-loop\n"
                                             "SPIN:     0 WaitFor timeout=0 any-key -> SPIN\n"
                                             "          0 GoTo -> NOWHERE\n";
    Gui g;
    g.start();
    g.main.run([&](MainState& s) { OpenGivenFile(s, path); });
    pressKey(&g.main, Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
    TProblemsForm* form = g.main.problemsWindow();
    ASSERT_NE(form, nullptr);
    auto* list = form->findChild<QListWidget*>(QStringLiteral("ProblemsList"));
    ASSERT_NE(list, nullptr);
    // Listing lines, from 1, the comment counted.
    EXPECT_EQ(Rows(list), (QStringList{"2: note: a loop with no Delay or WaitFor starts here: the master runs it at "
                                       "full speed [busy-loop] (suppressed)",
                                       "3: error: jump to 'NOWHERE', which no line defines [undefined-label]"}));
    ASSERT_EQ(list->count(), 2);
    EXPECT_NE(list->item(0)->foreground().color(), list->item(1)->foreground().color());
    EXPECT_EQ(list->item(0)->foreground().color(), list->palette().color(QPalette::Disabled, QPalette::Text) ==
                                                           list->palette().color(QPalette::Active, QPalette::Text)
                                                       ? QColor(Qt::gray)
                                                       : list->palette().color(QPalette::Disabled, QPalette::Text));
    auto* summary = form->findChild<QLabel*>(QStringLiteral("ProblemsSummary"));
    EXPECT_EQ(summary->text(), "1 error(s), 0 warning(s), 0 note(s), 1 suppressed");

    // The comment removed: the finding counts again, in the list's own colour.
    g.main.run([](MainState& s) { SelectProblemLine(s, 0); });
    g.main.run(DeleteButtonClick);
    EXPECT_EQ(Rows(list), (QStringList{"1: note: a loop with no Delay or WaitFor starts here: the master runs it at "
                                       "full speed [busy-loop]",
                                       "2: error: jump to 'NOWHERE', which no line defines [undefined-label]"}));
    EXPECT_EQ(list->item(0)->foreground().color(), list->item(1)->foreground().color());
    EXPECT_EQ(summary->text(), "1 error(s), 0 warning(s), 1 note(s)");
}

// Hovering a listing line with findings shows them in its tool tip (with the
// whole text first when the line is cut off), and the margin carries a bar in
// the colour of the line's worst finding, beside the selection and the
// breakpoint mark.
TEST(ProblemsWindow, ListingToolTipsAndMarginShowTheFindings) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/faults.sws";
    std::ofstream(path, std::ios::binary)
        << kProgram << "; a comment longer than the listing is wide: it is cut off\n"
        << "ALONGLABELNAME1: 0 If-GoTo any-key -> NOWHEREATALL12\n";
    Gui g;
    g.start();
    g.main.run([&](MainState& s) { OpenGivenFile(s, path); });
    ASSERT_TRUE(g.ui.boxes.empty()) << g.ui.boxes.front();
    ASSERT_EQ(g.s.lineCount, 7);
    auto* listing = g.w<QListWidget>("ProgramListBox");
    QWidget* viewport = listing->viewport();
    auto hover = [&](int row) {
        const QPoint p = listing->visualItemRect(listing->item(row)).center();
        QHelpEvent help(QEvent::ToolTip, p, viewport->mapToGlobal(p));
        QApplication::sendEvent(viewport, &help);
        return (QToolTip::isVisible() ? QToolTip::text() : QString()).toStdString();
    };
    const std::string jump = "error: jump to 'NOWHERE', which no line defines [undefined-label]";
    const struct {
        int row;
        std::string tip;
    } cases[] = {
        {2, jump},
        {3, "note: a loop with no Delay or WaitFor starts here: the master runs it at full speed [busy-loop]"},
        // The last line's jump to an undefined label could reach any labelled
        // line, so only this one is counted unreachable.
        {4, "warning: no path from the first instruction reaches this line [unreachable]"},
        {5, "; a comment longer than the listing is wide: it is cut off"},
    };
    for (const auto& c : cases) EXPECT_EQ(hover(c.row), c.tip) << c.row;

    auto marginColor = [&](int row) {
        QApplication::processEvents();   // the list lays its items out from the event loop
        const QImage image = viewport->grab().toImage();
        const QRect r = listing->visualItemRect(listing->item(row));
        return image.pixelColor(r.left() + 2, r.center().y());
    };
    EXPECT_EQ(marginColor(2), FindingColor(3));
    EXPECT_EQ(marginColor(3), FindingColor(1));
    EXPECT_EQ(marginColor(4), FindingColor(2));
    for (int row : {0, 1, 5}) EXPECT_NE(marginColor(row), FindingColor(3)) << row;
    for (int row : {0, 1, 5}) EXPECT_EQ(marginColor(row), marginColor(0)) << row;

    // Selected, and with the breakpoint mark, the line keeps its bar; the
    // selection still shows behind the text.
    clickRow(listing, 2);
    g.s.breakpointLine = 2;
    std::string marked = g.s.listing.text(2);
    marked[0] = '\x01';
    g.main.run([&](MainState& s) { s.listing.setText(2, marked); });
    EXPECT_EQ(marginColor(2), FindingColor(3));
    const QImage image = viewport->grab().toImage();
    const QRect r = listing->visualItemRect(listing->item(2));
    EXPECT_EQ(image.pixelColor(r.right() - 2, r.center().y()), listing->palette().color(QPalette::Highlight));
    EXPECT_EQ(hover(2), jump);

    // A line with findings cut off (the listing narrowed to half its width):
    // its whole text, then the findings.
    const int last = g.s.lineCount - 1;
    // (Its label is unused, but that note waits until no label is undefined.)
    const std::string findings = "error: jump to 'NOWHEREATALL12', which no line defines [undefined-label]";
    EXPECT_EQ(hover(last), findings);
    listing->resize(listing->width() / 2, listing->height());
    const std::string whole = listingDisplayText(g.s.listing.text(last)).toStdString();
    ASSERT_NE(whole.find("NOWHEREATALL12"), std::string::npos) << whole;
    EXPECT_EQ(hover(last), whole + "\n" + findings);
}

}  // namespace
STEPWRIGHT_GUI_TEST_MAIN()
