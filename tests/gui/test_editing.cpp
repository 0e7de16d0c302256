// Editing through the widgets: typing, buttons, Enter, the listing's mouse and
// keyboard selection, and the core's listing changes drawn item by item.
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTemporaryDir>

#include "GuiTest.h"
#include "app/gui/Latin1.h"

namespace {

QString itemText(QListWidget* list, int row) { return list->item(row) ? list->item(row)->text() : QString(); }

// The text an item is painted with.
QString paintedText(QListWidget* list, int row) {
    auto* delegate = qobject_cast<QStyledItemDelegate*>(list->itemDelegate());
    return delegate ? delegate->displayText(itemText(list, row), QLocale()) : QString();
}

// Adds comment lines "c0", "c1", ... through the widgets.
void addComments(Gui& g, int count) {
    for (int i = 0; i < count; ++i) {
        typeText(g.w("CommentEdit"), QStringLiteral("c%1").arg(i));
        g.w<QPushButton>("CommentButton")->click();
    }
}

TEST(Editing, CommentTypedAndAddedAppearsInTheListing) {
    Gui g;
    g.start();
    auto* edit = g.w<QLineEdit>("CommentEdit");
    typeText(edit, QStringLiteral("hello"));
    EXPECT_EQ(g.s.form.CommentEdit.text, "hello");
    g.w<QPushButton>("CommentButton")->click();

    auto* listing = g.w<QListWidget>("ProgramListBox");
    ASSERT_EQ(listing->count(), 2);
    EXPECT_EQ(itemText(listing, 0), QStringLiteral(";hello"));
    EXPECT_EQ(itemText(listing, 1), QStringLiteral("            [END]"));
    EXPECT_EQ(g.s.lineCount, 1);
    EXPECT_EQ(edit->text(), QString());
    EXPECT_EQ(g.w<QLabel>("SaveLabel")->text(), QStringLiteral("Not Saved"));
    EXPECT_EQ(g.w<QLabel>("LoadLabel")->text(), QStringLiteral("Not Loaded"));
    EXPECT_EQ(g.w("SaveLabel")->palette().color(QPalette::Window), QColor(0xFF, 0, 0));
}

TEST(Editing, TypedTextBecomesLatin1Bytes) {
    Gui g;
    g.start();
    // e-acute has a Latin-1 byte; the euro sign and a character outside the
    // basic plane do not and become '?'.
    typeText(g.w("CommentEdit"), QString::fromUtf8("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"));
    EXPECT_EQ(g.s.form.CommentEdit.text, "caf\xE9 ? ?");
    g.w<QPushButton>("CommentButton")->click();
    EXPECT_EQ(itemText(g.w<QListWidget>("ProgramListBox"), 0), QString::fromUtf8(";caf\xC3\xA9 ? ?"));

    typeText(g.w("LabelEdit"), QString::fromUtf8("\xC3\x9F\xE2\x84\xA2"));
    EXPECT_EQ(g.s.form.LabelEdit.text, "\xDF?");
}

TEST(Editing, EnterPressesTheBuilderDefaultButton) {
    Gui g;
    g.start();
    auto* comment = g.w<QPushButton>("CommentButton");
    auto* add = g.w<QPushButton>("AddInstrButton");
    EXPECT_TRUE(add->isDefault());
    EXPECT_FALSE(comment->isDefault());

    typeText(g.w("CommentEdit"), QStringLiteral("by enter"));
    EXPECT_TRUE(g.s.form.commentIsDefault);
    EXPECT_TRUE(comment->isDefault());
    EXPECT_FALSE(add->isDefault());
    pressKey(g.w("CommentEdit"), Qt::Key_Return);
    ASSERT_EQ(g.s.lineCount, 1);
    EXPECT_EQ(itemText(g.w<QListWidget>("ProgramListBox"), 0), QStringLiteral(";by enter"));

    // Focus moving into the builder from outside makes Add the default again.
    g.main.activateWindow();
    QApplication::processEvents();
    g.w("ProgramListBox")->setFocus();
    g.w("LabelEdit")->setFocus();
    QApplication::processEvents();
    EXPECT_FALSE(g.s.form.commentIsDefault);
    EXPECT_TRUE(add->isDefault());

    // Add is disabled until a command is chosen: Enter then inserts nothing.
    pressKey(g.w("LabelEdit"), Qt::Key_Return);
    EXPECT_EQ(g.s.lineCount, 1);
}

TEST(Editing, ClickingTheListingSelectsAndLoadsTheLine) {
    Gui g;
    g.start();
    addComments(g, 4);  // c0 c1 c2 c3 [END]
    auto* listing = g.w<QListWidget>("ProgramListBox");
    ASSERT_EQ(listing->count(), 5);

    clickRow(listing, 1);
    EXPECT_EQ(g.s.currentLine, 1);
    EXPECT_EQ(g.s.listing.focus(), 1);
    EXPECT_EQ(selectedLines(g.s), std::vector<int>{1});
    // A comment line goes back into the comment edit, Change becomes possible.
    EXPECT_EQ(g.w<QLineEdit>("CommentEdit")->text(), QStringLiteral("c1"));
    EXPECT_TRUE(g.w("ChangeButton")->isEnabled());

    clickRow(listing, 3, Qt::ShiftModifier);
    EXPECT_EQ(selectedLines(g.s), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(selectedRows(listing), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(g.s.currentLine, 3);

    // Ctrl+click selects the clicked line alone.
    clickRow(listing, 2, Qt::ControlModifier);
    EXPECT_EQ(selectedLines(g.s), std::vector<int>{2});
    EXPECT_EQ(selectedRows(listing), std::vector<int>{2});
    EXPECT_EQ(g.s.currentLine, 2);

    // The keyboard moves the selection as a click does.
    listing->setFocus();
    pressKey(listing, Qt::Key_Down);
    EXPECT_EQ(g.s.currentLine, 3);
    EXPECT_EQ(selectedLines(g.s), std::vector<int>{3});
    EXPECT_EQ(g.w<QLineEdit>("CommentEdit")->text(), QStringLiteral("c3"));

    // The right button does nothing.
    clickRow(listing, 0, Qt::NoModifier, Qt::RightButton);
    EXPECT_EQ(g.s.currentLine, 3);
    EXPECT_EQ(selectedLines(g.s), std::vector<int>{3});
}

TEST(Editing, ListingButtonsActOnTheUsersSelection) {
    Gui g;
    g.start();
    addComments(g, 4);
    auto* listing = g.w<QListWidget>("ProgramListBox");
    clickRow(listing, 1);
    clickRow(listing, 2, Qt::ShiftModifier);
    g.w<QPushButton>("CutButton")->click();
    ASSERT_EQ(listing->count(), 3);
    EXPECT_EQ(itemText(listing, 0), QStringLiteral(";c0"));
    EXPECT_EQ(itemText(listing, 1), QStringLiteral(";c3"));

    clickRow(listing, 0);
    g.w<QPushButton>("PasteButton")->click();
    ASSERT_EQ(listing->count(), 5);
    const char* const expected[] = {";c1", ";c2", ";c0", ";c3", "            [END]"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(itemText(listing, i), QLatin1String(expected[i])) << i;
    // Paste leaves the line that was current selected alone.
    EXPECT_EQ(selectedRows(listing), std::vector<int>{2});
    EXPECT_EQ(listing->currentRow(), 2);

    // Clear All asks first; No keeps everything.
    g.ui.answers.push_back(Answer::No);
    g.w<QPushButton>("ClearButton")->click();
    ASSERT_EQ(g.ui.boxes.size(), 1u);
    EXPECT_EQ(g.ui.boxes[0], "Are you sure you want to clear the entire program?");
    EXPECT_EQ(listing->count(), 5);
    g.ui.answers.push_back(Answer::Yes);
    g.w<QPushButton>("ClearButton")->click();
    ASSERT_EQ(listing->count(), 1);
    EXPECT_EQ(selectedRows(listing), std::vector<int>{0});
}

TEST(Editing, CoreListingChangesAreDrawnItemByItem) {
    Gui g;
    g.start();
    auto* listing = g.w<QListWidget>("ProgramListBox");
    g.main.run([](MainState& s) {
        for (int i = 0; i < 60; ++i) s.listing.insert(0, "line " + std::to_string(59 - i));
        s.listing.setText(5, std::string("\x01") + "reak");
        s.listing.setText(6, "Print 'Hi\r\n'");
        s.listing.deselectAll();
        s.listing.select(40);
        s.listing.setTopIndex(30);
    });
    ASSERT_EQ(listing->count(), 61);
    EXPECT_EQ(itemText(listing, 0), QStringLiteral("line 0"));
    EXPECT_EQ(itemText(listing, 60), QStringLiteral("            [END]"));
    // The items keep the bytes; the breakpoint mark and control bytes are
    // painted visibly, on one line.
    EXPECT_EQ(fromQ(itemText(listing, 5)), std::string("\x01") + "reak");
    EXPECT_EQ(fromQ(itemText(listing, 6)), "Print 'Hi\r\n'");
    EXPECT_EQ(paintedText(listing, 5), QString(QChar(0x25CF)) + QStringLiteral("reak"));
    EXPECT_EQ(paintedText(listing, 6), QStringLiteral("Print 'Hi") + QChar(0x21B5) + QChar(0x2193) + QLatin1Char('\''));
    EXPECT_EQ(selectedRows(listing), std::vector<int>{40});
    EXPECT_EQ(listing->currentRow(), 40);
    EXPECT_EQ(listing->verticalScrollBar()->value(), 30);

    // The user scrolling is recorded, not echoed.
    listing->verticalScrollBar()->setValue(10);
    EXPECT_EQ(g.s.listing.topIndex(), 10);

    g.main.run([](MainState& s) { s.listing.remove(0); });
    EXPECT_EQ(listing->count(), 60);
    EXPECT_EQ(itemText(listing, 0), QStringLiteral("line 1"));
    EXPECT_EQ(selectedRows(listing), std::vector<int>{39});
}

TEST(Editing, ModuleMenuAddsAServoModuleAndMoveIsAdded) {
    Gui g;
    g.start();
    auto* menu = g.main.moduleMenu();
    QAction* addServo = menu->findChild<QAction*>(QStringLiteral("AddServoModule1"));
    ASSERT_NE(addServo, nullptr);
    addServo->trigger();

    auto* modules = g.w<QListWidget>("ModuleListBox");
    ASSERT_EQ(modules->count(), 2);
    EXPECT_EQ(modules->item(1)->text(), QStringLiteral(" 1 ZEL-SERVO"));
    clickRow(modules, 0);
    EXPECT_EQ(g.w<QLineEdit>("ModAddrEdit")->text(), QStringLiteral(" 0"));
    clickRow(modules, 1);
    EXPECT_EQ(g.w<QLineEdit>("ModAddrEdit")->text(), QStringLiteral(" 1"));
    EXPECT_TRUE(g.w("ServoCBox")->isEnabled());
    EXPECT_FALSE(g.w("MasterCBox")->isEnabled());

    auto* servo = g.w<QComboBox>("ServoCBox");
    servo->setCurrentIndex(0);
    emit servo->activated(0);
    ASSERT_FALSE(g.w("ServoEdit1")->isHidden()) << "choosing Move lays out the servo panel";
    EXPECT_TRUE(g.w("ServoGroup")->isVisible());
    EXPECT_EQ(g.w<QLineEdit>("CmdEdit")->text(), QStringLiteral("Move"));

    typeText(g.w("ServoEdit1"), QStringLiteral("1000"));
    typeText(g.w("ServoEdit2"), QStringLiteral("5000"));
    typeText(g.w("ServoEdit3"), QStringLiteral("100"));
    ASSERT_TRUE(g.w("AddInstrButton")->isEnabled());
    g.w<QPushButton>("AddInstrButton")->click();
    EXPECT_TRUE(g.ui.boxes.empty()) << g.ui.boxes.front();
    auto* listing = g.w<QListWidget>("ProgramListBox");
    ASSERT_EQ(listing->count(), 2);
    EXPECT_EQ(itemText(listing, 0), QStringLiteral("          1 Move - Pos. 1000"));
}

TEST(Editing, TypingInAnEditableConditionBoxKeepsOnlyExactItems) {
    Gui g;
    g.start();
    auto& box = g.s.form.servo.ServoIfCBox;
    box.visible = true;
    g.s.form.servo.ServoGroup.visible = true;
    g.main.syncAll();
    auto* combo = g.w<QComboBox>("ServoIfCBox");
    ASSERT_TRUE(combo->isEditable());
    ASSERT_EQ(combo->count(), int(box.items.size()));

    emit combo->activated(3);
    EXPECT_EQ(box.index, 3);
    EXPECT_EQ(box.text, box.items[3]);

    combo->lineEdit()->clear();
    typeText(combo->lineEdit(), QStringLiteral("Power O"));
    EXPECT_EQ(box.index, -1);
    EXPECT_EQ(box.text, "Power O");
    typeText(combo->lineEdit(), QStringLiteral("n"));
    EXPECT_EQ(box.text, "Power On");
    EXPECT_EQ(box.index, 2);
}

// Whatever keys and clicks the user combines, the selection stays one block
// holding the focus item, and Cut takes exactly the selected lines.
TEST(Editing, NoKeyOrClickSequenceSplitsTheSelection) {
    struct Step {
        int key;   // 0: a click on row
        int row;
        Qt::KeyboardModifiers mods;
    };
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier, none = Qt::NoModifier;
    const std::vector<std::vector<Step>> sequences = {
        {{Qt::Key_Down, 0, ctrl}, {Qt::Key_Down, 0, ctrl}, {Qt::Key_Space, 0, ctrl}},
        {{Qt::Key_Down, 0, shift}, {Qt::Key_Down, 0, shift}, {Qt::Key_Up, 0, ctrl}, {Qt::Key_Space, 0, ctrl}},
        {{Qt::Key_Space, 0, ctrl}, {Qt::Key_Down, 0, ctrl}, {Qt::Key_Space, 0, ctrl}},
        {{Qt::Key_PageDown, 0, shift}, {Qt::Key_Up, 0, ctrl}, {Qt::Key_Space, 0, ctrl}},
        {{Qt::Key_End, 0, ctrl}, {Qt::Key_Space, 0, ctrl}, {Qt::Key_Up, 0, shift}},
        {{0, 2, shift}, {0, 1, ctrl}},
        {{0, 1, none}, {0, 3, ctrl | shift}, {0, 0, ctrl}},
        {{Qt::Key_A, 0, ctrl}, {Qt::Key_Space, 0, ctrl}},
    };
    for (size_t n = 0; n < sequences.size(); ++n) {
        SCOPED_TRACE("sequence " + std::to_string(n));
        Gui g;
        g.start();
        addComments(g, 4);
        auto* listing = g.w<QListWidget>("ProgramListBox");
        clickRow(listing, 0);
        listing->setFocus();
        for (const Step& step : sequences[n]) {
            if (step.key)
                pressKey(listing, step.key, step.mods);
            else
                clickRow(listing, step.row, step.mods);
            const std::vector<int> rows = selectedLines(g.s);
            EXPECT_EQ(selectedRows(listing), rows);
            ASSERT_FALSE(rows.empty());
            EXPECT_EQ(rows.back() - rows.front() + 1, int(rows.size()));
            EXPECT_TRUE(g.s.listing.selected(g.s.listing.focus()));
        }
        std::vector<std::string> kept, cut;
        for (int i = 0; i < g.s.lineCount; ++i)
            (g.s.listing.selected(i) ? cut : kept).push_back(g.s.lines[i].commentText());
        g.w<QPushButton>("CutButton")->click();
        std::vector<std::string> buffer, left;
        for (int i = 0; i < g.s.copyCount; ++i) buffer.push_back(g.s.copyBuffer[i].commentText());
        for (int i = 0; i < g.s.lineCount; ++i) left.push_back(g.s.lines[i].commentText());
        EXPECT_EQ(buffer, cut);
        EXPECT_EQ(left, kept);
    }
}

// Pasted line breaks never reach a label, goto-label or comment; a Print text
// keeps its bytes.
TEST(Editing, PastedLineBreaksAreReplacedInTextFields) {
    struct Case {
        const char* command;  // master command chosen first, or nullptr
        const char* edit;
        QString pasted;
        QString kept;
    } cases[] = {
        {nullptr, "CommentEdit", QStringLiteral("one\ntwo\n"), QStringLiteral("one two")},
        {nullptr, "LabelEdit", QStringLiteral("\r\nLOOP\r\n"), QStringLiteral("LOOP")},
        {nullptr, "LabelEdit", QStringLiteral("A") + QChar(0) + QStringLiteral("B"), QStringLiteral("AB")},
        {"GoTo", "MasterEdit1", QStringLiteral("END\n"), QStringLiteral("END")},
        {"WaitFor", "MasterEdit2", QStringLiteral("a\r\rb"), QStringLiteral("a b")},
        {"Print", "MasterEdit1", QStringLiteral("a\nb"), QStringLiteral("a\nb")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.edit);
        Gui g;
        g.start();
        if (c.command) {
            auto* box = g.w<QComboBox>("MasterCBox");
            const int index = box->findText(QLatin1String(c.command));
            box->setCurrentIndex(index);
            emit box->activated(index);
        }
        auto* edit = g.w<QLineEdit>(c.edit);
        QGuiApplication::clipboard()->setText(c.pasted);
        edit->setFocus();
        pressKey(edit, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(edit->text(), c.kept);
        EXPECT_EQ(toQ(g.s.form.find(c.edit)->text), c.kept);
    }
}

// The caption shows a file name as the file system spells it; the bytes of the
// name still open and save the file.
TEST(Editing, FileNamesInTheCaptionAreDecoded) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString name = dir.path() + QString::fromUtf8("/M\xC3\xBCller-\xE2\x82\xAC.stw");
    const std::string bytes = QFile::encodeName(name).toStdString();
    Gui g;
    g.start();
    addComments(g, 1);
    g.ui.fileNames.push_back(bytes);
    g.w<QPushButton>("SaveButton")->click();
    EXPECT_TRUE(g.ui.boxes.empty());
    EXPECT_EQ(g.main.windowTitle(), QStringLiteral("Tavo Stepwright - ") + name);
    EXPECT_TRUE(QFileInfo::exists(name));

    g.ui.fileNames.push_back(bytes);
    g.w<QPushButton>("OpenButton")->click();
    EXPECT_TRUE(g.ui.boxes.empty());
    EXPECT_EQ(g.s.lineCount, 1);
    EXPECT_EQ(g.main.windowTitle(), QStringLiteral("Tavo Stepwright - ") + name);
}

}  // namespace

STEPWRIGHT_GUI_TEST_MAIN()
