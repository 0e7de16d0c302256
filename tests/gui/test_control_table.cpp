// The windows' control tables: checked against the core's records, and the
// widgets built from them.

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/gui/ControlTable.h"
#include "tests/gui/GuiTest.h"

namespace {

TEST(ControlTable, MainWindowTableMatchesTheRecordsOfTheForm) {
    Form form;
    EXPECT_EQ(CheckControlTable(MainFormControls(), form.controls()), "");
    EXPECT_EQ(CheckControlTable(ComFormButtons(), {}), "");
    EXPECT_EQ(CheckControlTable(TerminalFormButtons(), {}), "");
}

TEST(ControlTable, CheckFindsEveryKindOfMismatch) {
    Ctl group, label, edit, radio;
    const std::vector<CtlRef> records = {{"Group", CtlKind::Group, &group},
                                         {"Label", CtlKind::Label, &label},
                                         {"Edit", CtlKind::Edit, &edit},
                                         {"Radio", CtlKind::Radio, &radio}};
    const ControlDesc good[] = {
        {"Group", "", CtlKind::Group, {0, 0, 10, 10}},
        {"Label", "Group", CtlKind::Label, {0, 0, 5, 5}, nullptr, "Edit"},
        {"Edit", "Group", CtlKind::Edit, {0, 5, 5, 5}},
        {"Radio", "Group", CtlKind::Radio, {5, 0, 5, 5}},
        {.name = "Listing", .parent = "", .kind = CtlKind::List, .place = {0, 0, 1, 1}, .options = kNoRecord},
    };
    ASSERT_EQ(CheckControlTable(good, records), "");

    struct Case {
        const char* what;
        std::function<void(std::vector<ControlDesc>&)> change;
        std::string fault;
    };
    const Case cases[] = {
        {"entry missing", [](auto& t) { t.erase(t.begin() + 3); }, "Radio: a record without an entry"},
        {"kind differs", [](auto& t) { t[2].kind = CtlKind::ReadOnlyEdit; }, "Edit: the entry's kind is not the record's"},
        {"entry without record", [](auto& t) { t[4].options = 0; }, "Listing: an entry without a record"},
        {"record marked absent", [](auto& t) { t[3].options = kNoRecord; }, "Radio: a record for an entry drawn without one"},
        {"parent after child", [](auto& t) { std::swap(t[0], t[1]); }, "Label: its parent Group is not an earlier entry"},
        {"parent unknown", [](auto& t) { t[3].parent = "Grup"; }, "Radio: its parent Grup is not an earlier entry"},
        {"twice", [](auto& t) { t.push_back(t[2]); }, "Edit: described twice"},
        {"buddy unknown", [](auto& t) { t[1].buddy = "Edt"; }, "Label: names Edt, which has no entry"},
        {"beside a label", [](auto& t) { t[2].beside = {"Label", 0}; }, "Edit: stands beside Label, which is no radio group"},
    };
    for (const Case& c : cases) {
        std::vector<ControlDesc> table(std::begin(good), std::end(good));
        c.change(table);
        EXPECT_EQ(CheckControlTable(table, records), c.fault) << c.what;
    }
}

// Every entry becomes a widget of its kind, with its name, parent and place,
// in tab order.
TEST(ControlTable, MainWindowIsBuiltFromItsTable) {
    Gui g;
    const std::map<CtlKind, const char*> classes = {
        {CtlKind::Label, "QLabel"},           {CtlKind::Button, "QPushButton"}, {CtlKind::Edit, "QLineEdit"},
        {CtlKind::ReadOnlyEdit, "QLineEdit"}, {CtlKind::Check, "QCheckBox"},     {CtlKind::Radio, "RadioGroup"},
        {CtlKind::Combo, "QComboBox"},        {CtlKind::EditCombo, "QComboBox"}, {CtlKind::Group, "QGroupBox"},
        {CtlKind::List, "QListWidget"},       {CtlKind::Shape, "LedShape"},
    };
    std::vector<QWidget*> focusable;
    for (const ControlDesc& d : MainFormControls()) {
        QWidget* w = g.w(d.name);
        ASSERT_TRUE(w) << d.name;
        EXPECT_TRUE(w->inherits(classes.at(d.kind))) << d.name;
        EXPECT_EQ(w->parentWidget()->objectName(), *d.parent ? QLatin1String(d.parent) : QLatin1String("MainForm"))
            << d.name;
        if (!d.beside.group) {
            EXPECT_EQ(w->geometry(), QRect(d.place.x, d.place.y, d.place.w, d.place.h)) << d.name;
        }
        if (d.accessible) {
            EXPECT_EQ(w->accessibleName(), QLatin1String(d.accessible)) << d.name;
        }
        if (d.kind == CtlKind::ReadOnlyEdit || d.kind == CtlKind::Edit) {
            EXPECT_EQ(static_cast<QLineEdit*>(w)->isReadOnly(), d.kind == CtlKind::ReadOnlyEdit) << d.name;
        }
        if (d.kind == CtlKind::Combo || d.kind == CtlKind::EditCombo) {
            EXPECT_EQ(static_cast<QComboBox*>(w)->isEditable(), d.kind == CtlKind::EditCombo) << d.name;
        }
        if (w->focusPolicy() & Qt::TabFocus) focusable.push_back(w);
    }
    // The focus chain visits the focusable controls in table order.
    std::vector<QWidget*> chain;
    for (QWidget* w = g.main.nextInFocusChain(); w != &g.main; w = w->nextInFocusChain())
        if (std::find(focusable.begin(), focusable.end(), w) != focusable.end()) chain.push_back(w);
    EXPECT_EQ(chain, focusable);
}

}  // namespace

STEPWRIGHT_GUI_TEST_MAIN()
