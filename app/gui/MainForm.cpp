#include "app/gui/MainForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTimer>
#include <QWindow>
#include <stdexcept>

#include "app/Lifecycle.h"
#include "app/MainState.h"
#include "app/gui/Latin1.h"
#include "app/gui/SecondaryForms.h"
#include "app/gui/WatchForm.h"
#include "app/gui/Widgets.h"
#include "isa/Io.h"
#include "isa/Master.h"
#include "isa/Servo.h"
#include "isa/Stepper.h"
#include "link/ComSettings.h"
#include "link/Download.h"
#include "link/Execution.h"
#include "link/Polling.h"
#include "link/Terminal.h"
#include "modules/ModuleList.h"
#include "modules/StatusWindows.h"
#include "program/LineStore.h"
#include "program/ProgramFile.h"

namespace {

using Handler = void (*)(MainState&);

// Where every widget of the main window stands, in keyboard (tab) order.  The
// parent is another entry's name, or empty for the window itself.
struct Place {
    const char* name;
    const char* parent;
    int x, y, w, h;
};

constexpr const char* kMain = "";
constexpr const char* kBuilder = "GroupBox2";
constexpr const char* kMaster = "MasterGroup";
constexpr const char* kServo = "ServoGroup";
constexpr const char* kStep = "StepGroup";
constexpr const char* kIo = "IoGroup";
constexpr const char* kExec = "ProgExeGroup";

const Place kPlaces[] = {
    // Left column
    {"ModuleListLabel", kMain, 4, 4, 97, 14},
    {"ModuleListBox", kMain, 4, 20, 97, 181},
    {"MCBLabel", kMain, 4, 205, 97, 14},
    {"MasterCBox", kMain, 4, 219, 97, 21},
    {"SCBLabel", kMain, 4, 243, 97, 14},
    {"ServoCBox", kMain, 4, 257, 97, 21},
    {"STCBLabel", kMain, 4, 281, 97, 14},
    {"StepCBox", kMain, 4, 295, 97, 21},
    {"ICBLabel", kMain, 4, 319, 97, 14},
    {"IoCBox", kMain, 4, 333, 97, 21},
    {"ShowTermButton", kMain, 4, 359, 97, 21},
    {"ComButton", kMain, 4, 382, 97, 21},
    {"HelpButton", kMain, 4, 405, 97, 21},
    {"ExitButton", kMain, 4, 428, 97, 21},

    // The builder group
    {"GroupBox2", kMain, 104, 8, 177, 441},
    {"LabelLabel", kBuilder, 6, 21, 80, 14},
    {"LabelEdit", kBuilder, 88, 18, 81, 20},
    {"ModAddrLabel", kBuilder, 6, 43, 80, 14},
    {"ModAddrEdit", kBuilder, 88, 40, 81, 20},
    {"CmdClassLabel", kBuilder, 6, 65, 80, 14},
    {"CmdClassEdit", kBuilder, 88, 62, 81, 20},
    {"CmdLabel", kBuilder, 6, 87, 80, 14},
    {"CmdEdit", kBuilder, 88, 84, 81, 20},
    {"CommentButton", kBuilder, 6, 108, 62, 22},
    {"CommentEdit", kBuilder, 72, 109, 97, 20},

    // Master panel
    {"MasterGroup", kBuilder, 4, 134, 169, 252},
    {"MasterLabel1", kMaster, 4, 4, 161, 14},
    {"MasterEdit1", kMaster, 4, 18, 161, 20},
    {"MasterLabel2", kMaster, 4, 42, 161, 14},
    {"MasterEdit2", kMaster, 4, 56, 161, 20},
    {"MasterCheck1", kMaster, 4, 42, 161, 17},
    {"MasterCheck2", kMaster, 4, 60, 161, 17},
    {"RadioGroup1", kMaster, 4, 82, 161, 60},
    {"RadioGroup2", kMaster, 4, 82, 161, 162},
    // Beside items of the radio groups: moved onto the item rows once they are laid out
    {"MasterEdit3", kMaster, 94, 100, 67, 17},
    {"MasterEdit4", kMaster, 94, 151, 67, 17},
    {"MasterEdit5", kMaster, 94, 168, 67, 17},
    {"MasterEdit6", kMaster, 94, 185, 67, 17},
    {"MasterEdit7", kMaster, 94, 202, 67, 17},
    {"MasterEdit8", kMaster, 94, 219, 67, 17},

    // Servo panel
    {"ServoGroup", kBuilder, 4, 134, 169, 252},
    {"ServoLabel1", kServo, 3, 6, 88, 14},
    {"ServoEdit1", kServo, 92, 4, 73, 19},
    {"ServoLabel2", kServo, 3, 28, 88, 14},
    {"ServoEdit2", kServo, 92, 26, 73, 19},
    {"ServoLabel3", kServo, 3, 50, 88, 14},
    {"ServoEdit3", kServo, 92, 48, 73, 19},
    {"ServoLabel4", kServo, 3, 74, 24, 14},
    {"ServoEdit4", kServo, 28, 72, 52, 19},
    {"ServoLabel5", kServo, 3, 96, 24, 14},
    {"ServoEdit5", kServo, 28, 94, 52, 19},
    {"ServoLabel6", kServo, 3, 118, 24, 14},
    {"ServoEdit6", kServo, 28, 116, 52, 19},
    {"ServoLabel7", kServo, 86, 74, 28, 14},
    {"ServoEdit7", kServo, 115, 72, 50, 19},
    {"ServoLabel8", kServo, 86, 96, 28, 14},
    {"ServoEdit8", kServo, 115, 94, 50, 19},
    {"ServoLabel9", kServo, 86, 118, 28, 14},
    {"ServoEdit9", kServo, 115, 116, 50, 19},
    {"ServoLabel10", kServo, 3, 93, 165, 14},
    {"ServoIfCBox", kServo, 3, 109, 163, 21},
    {"ServoCheck1", kServo, 3, 108, 163, 17},
    {"ServoCheck4", kServo, 90, 108, 76, 17},
    {"ServoCheck2", kServo, 3, 125, 163, 17},
    {"ServoCheck5", kServo, 90, 125, 76, 17},
    {"ServoCheck3", kServo, 3, 142, 163, 17},
    {"ServoCheck6", kServo, 90, 142, 76, 17},
    {"ServoCheck7", kServo, 3, 159, 163, 17},
    {"ServoRG", kServo, 3, 176, 163, 74},

    // Stepper panel
    {"StepGroup", kBuilder, 4, 134, 169, 252},
    {"StepLabel1", kStep, 3, 6, 88, 14},
    {"StepEdit1", kStep, 92, 4, 73, 19},
    {"StepLabel2", kStep, 3, 28, 88, 14},
    {"StepEdit2", kStep, 92, 26, 73, 19},
    {"StepLabel3", kStep, 3, 50, 88, 14},
    {"StepEdit3", kStep, 92, 48, 73, 19},
    {"StepLabel4", kStep, 3, 74, 24, 14},
    {"StepEdit4", kStep, 28, 72, 52, 19},
    {"StepLabel5", kStep, 3, 96, 24, 14},
    {"StepEdit5", kStep, 28, 94, 52, 19},
    {"StepLabel6", kStep, 3, 118, 24, 14},
    {"StepEdit6", kStep, 28, 116, 52, 19},
    {"StepLabel7", kStep, 58, 74, 62, 14},
    {"StepEdit7", kStep, 122, 72, 43, 19},
    {"StepLabel8", kStep, 86, 96, 28, 14},
    {"StepEdit8", kStep, 115, 94, 50, 19},
    {"StepLabel9", kStep, 86, 118, 28, 14},
    {"StepEdit9", kStep, 115, 116, 50, 19},
    {"StepLabel10", kStep, 3, 93, 165, 14},
    {"StepIfCBox", kStep, 3, 109, 163, 21},
    {"StepCheck1", kStep, 3, 108, 163, 17},
    {"StepCheck4", kStep, 90, 108, 76, 17},
    {"StepCheck2", kStep, 3, 125, 163, 17},
    {"StepCheck5", kStep, 90, 125, 76, 17},
    {"StepCheck3", kStep, 3, 142, 163, 17},
    {"StepCheck6", kStep, 90, 142, 76, 17},
    {"StepCheck7", kStep, 3, 159, 163, 17},
    {"StepRG", kStep, 3, 176, 163, 57},

    // I/O panel
    {"IoGroup", kBuilder, 4, 134, 169, 252},
    {"IoLabel0", kIo, 3, 4, 165, 14},
    {"IoCheck1", kIo, 3, 20, 80, 17},
    {"IoCheck2", kIo, 3, 37, 80, 17},
    {"IoCheck3", kIo, 3, 54, 80, 17},
    {"IoCheck4", kIo, 3, 71, 80, 17},
    {"IoCheck5", kIo, 3, 88, 80, 17},
    {"IoCheck6", kIo, 3, 105, 80, 17},
    {"IoCheck7", kIo, 86, 20, 80, 17},
    {"IoCheck8", kIo, 86, 37, 80, 17},
    {"IoCheck9", kIo, 86, 54, 80, 17},
    {"IoCheck10", kIo, 86, 71, 80, 17},
    {"IoCheck11", kIo, 86, 88, 80, 17},
    {"IoCheck12", kIo, 86, 105, 80, 17},
    {"IoRG", kIo, 3, 126, 163, 26},
    {"IoLabel1", kIo, 3, 158, 88, 14},
    {"IoEdit1", kIo, 92, 156, 73, 19},
    {"IoLabel2", kIo, 3, 180, 88, 14},
    {"IoEdit2", kIo, 92, 178, 73, 19},

    {"AddInstrButton", kBuilder, 8, 388, 78, 22},
    {"ChangeButton", kBuilder, 91, 388, 78, 22},
    {"ExeNowButton", kBuilder, 8, 413, 161, 22},

    // Listing column
    {"ProgramListLabel", kMain, 288, 3, 80, 14},
    {"LoadLabel", kMain, 372, 2, 64, 15},
    {"SaveLabel", kMain, 440, 2, 60, 15},
    {"RunningLabel", kMain, 520, 3, 88, 14},
    {"RunLEDShape", kMain, 612, 4, 11, 11},
    {"Edit1", kMain, 288, 17, 341, 19},
    {"ProgramListBox", kMain, 288, 36, 341, 341},
    {"OpenButton", kMain, 288, 380, 47, 22},
    {"SaveButton", kMain, 337, 380, 47, 22},
    {"CopyButton", kMain, 386, 380, 47, 22},
    {"CutButton", kMain, 435, 380, 47, 22},
    {"PasteButton", kMain, 484, 380, 47, 22},
    {"DeleteButton", kMain, 533, 380, 47, 22},
    {"ClearButton", kMain, 582, 380, 47, 22},
    {"ProgExeGroup", kMain, 288, 404, 341, 45},
    {"DownloadButton", kExec, 5, 17, 39, 22},
    {"VerifyButton", kExec, 46, 17, 39, 22},
    {"RunButton", kExec, 87, 17, 39, 22},
    {"StopButton", kExec, 128, 17, 39, 22},
    {"StepButton", kExec, 169, 17, 39, 22},
    {"BreakButton", kExec, 210, 17, 39, 22},
    {"RestartButton", kExec, 251, 17, 39, 22},
    {"ResetButton", kExec, 292, 17, 39, 22},
};

// Labels and the control each one names (for screen readers and mnemonics).
const std::pair<const char*, const char*> kBuddies[] = {
    {"ModuleListLabel", "ModuleListBox"}, {"MCBLabel", "MasterCBox"},     {"SCBLabel", "ServoCBox"},
    {"STCBLabel", "StepCBox"},            {"ICBLabel", "IoCBox"},         {"LabelLabel", "LabelEdit"},
    {"ModAddrLabel", "ModAddrEdit"},      {"CmdClassLabel", "CmdClassEdit"}, {"CmdLabel", "CmdEdit"},
    {"ProgramListLabel", "ProgramListBox"}, {"MasterLabel1", "MasterEdit1"}, {"MasterLabel2", "MasterEdit2"},
    {"ServoLabel1", "ServoEdit1"},        {"ServoLabel2", "ServoEdit2"},  {"ServoLabel3", "ServoEdit3"},
    {"ServoLabel4", "ServoEdit4"},        {"ServoLabel5", "ServoEdit5"},  {"ServoLabel6", "ServoEdit6"},
    {"ServoLabel7", "ServoEdit7"},        {"ServoLabel8", "ServoEdit8"},  {"ServoLabel9", "ServoEdit9"},
    {"ServoLabel10", "ServoIfCBox"},      {"StepLabel1", "StepEdit1"},    {"StepLabel2", "StepEdit2"},
    {"StepLabel3", "StepEdit3"},          {"StepLabel4", "StepEdit4"},    {"StepLabel5", "StepEdit5"},
    {"StepLabel6", "StepEdit6"},          {"StepLabel7", "StepEdit7"},    {"StepLabel8", "StepEdit8"},
    {"StepLabel9", "StepEdit9"},          {"StepLabel10", "StepIfCBox"},  {"IoLabel1", "IoEdit1"},
    {"IoLabel2", "IoEdit2"},
};

const std::pair<const char*, Handler> kButtonHandlers[] = {
    {"ShowTermButton", ShowTermButtonClick}, {"ComButton", ComButtonClick},
    {"HelpButton", HelpButtonClick},         {"ExitButton", ExitButtonClick},
    {"CommentButton", CommentButtonClick},   {"AddInstrButton", AddInstrButtonClick},
    {"ChangeButton", ChangeButtonClick},     {"ExeNowButton", ExeNowButtonClick},
    {"OpenButton", OpenButtonClick},         {"SaveButton", SaveButtonClick},
    {"CopyButton", CopyButtonClick},         {"CutButton", CutButtonClick},
    {"PasteButton", PasteButtonClick},       {"DeleteButton", DeleteButtonClick},
    {"ClearButton", ClearButtonClick},       {"DownloadButton", DownloadButtonClick},
    {"VerifyButton", VerifyButtonClick},     {"RunButton", RunButtonClick},
    {"StopButton", StopButtonClick},         {"StepButton", StepButtonClick},
    {"BreakButton", BreakButtonClick},       {"RestartButton", RestartButtonClick},
    {"ResetButton", ResetButtonClick},
};

const std::pair<const char*, Handler> kComboHandlers[] = {
    {"MasterCBox", MasterCBoxClick},
    {"ServoCBox", ServoCBoxClick},
    {"StepCBox", StepCBoxClick},
    {"IoCBox", IoCBoxClick},
};

struct MenuItem {
    const char* name;
    const char* caption;
    Handler handler;  // nullptr: only closes the menu
};

const MenuItem kModuleMenu[] = {
    {"AddServoModule1", "Add Servo Module", AddServoModule1Click},
    {"AddStepModule1", "Add Stepper Module", AddStepModule1Click},
    {"AddIOModule1", "Add I/O Module", AddIOModule1Click},
    {"ClearModuleList1", "Clear Module List", ClearModuleList1Click},
    {"UseDetectedModules1", "Use Detected Modules", UseDetectedModules1Click},
    {"Cancel1", "Cancel", nullptr},
};

template <size_t N>
Handler lookup(const std::pair<const char*, Handler> (&table)[N], const QString& name) {
    for (const auto& entry : table)
        if (name == QLatin1String(entry.first)) return entry.second;
    return nullptr;
}

bool isInside(const QWidget* w, const QWidget* ancestor) {
    for (; w; w = w->parentWidget())
        if (w == ancestor) return true;
    return false;
}

void setBackground(QWidget* w, QPalette::ColorRole role, uint32_t rgb) {
    const QColor color = RgbColor(rgb);
    if (w->autoFillBackground() && w->palette().color(role) == color) return;
    QPalette p = w->palette();
    p.setColor(role, color);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

bool sameItems(const QComboBox* box, const std::vector<std::string>& items) {
    if (box->count() != int(items.size())) return false;
    for (int i = 0; i < box->count(); ++i)
        if (box->itemText(i) != toQ(items[size_t(i)])) return false;
    return true;
}

bool sameItems(const QListWidget* list, const std::vector<std::string>& items) {
    if (list->count() != int(items.size())) return false;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text() != toQ(items[size_t(i)])) return false;
    return true;
}

}  // namespace

TMainForm::TMainForm(Platform& ui) : QWidget(nullptr), s_(std::make_unique<MainState>(ui)) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(StepwrightFont());
    setFixedSize(634, 453);
    build();

    startTimer_ = new QTimer(this);
    startTimer_->setObjectName(QStringLiteral("StartTimer"));
    startTimer_->setSingleShot(true);
    startTimer_->setInterval(500);
    // Precise timers never fire early: the intervals are lower bounds.
    startTimer_->setTimerType(Qt::PreciseTimer);
    connect(startTimer_, &QTimer::timeout, this, &TMainForm::fireStartTimer);

    pollTimer_ = new QTimer(this);
    pollTimer_->setObjectName(QStringLiteral("PollTimer"));
    pollTimer_->setInterval(250);
    pollTimer_->setTimerType(Qt::PreciseTimer);
    connect(pollTimer_, &QTimer::timeout, this, &TMainForm::firePollTimer);

    connect(qApp, &QApplication::focusChanged, this, &TMainForm::onFocusChanged);
    auto* watchKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), this);
    connect(watchKey, &QShortcut::activated, this, &TMainForm::showWatchWindow);

    syncAll();
    CentreOnScreen(this);
    if (s_->startTimerOn) startTimer_->start();
}

TMainForm::~TMainForm() {
    closed_ = true;
    // The widgets go before the state they mirror.
    listing_->detach();
    const auto children = findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    qDeleteAll(children);
}

void TMainForm::build() {
    QHash<QString, CtlRef> refs;
    for (const CtlRef& ref : s_->form.controls()) refs.insert(QString::fromStdString(ref.name), ref);

    QHash<QString, QWidget*> widgets;
    widgets.insert(QString(), this);
    for (const Place& place : kPlaces) {
        const QString name = QLatin1String(place.name);
        QWidget* parent = widgets.value(QLatin1String(place.parent));
        if (!parent) throw std::logic_error("no parent for " + name.toStdString());
        QWidget* w = nullptr;
        if (name == QLatin1String("ProgramListBox")) {
            listing_ = new ListingWidget(parent, s_->listing);
            listing_->setFont(FixedPitchFont(12));
            listing_->setAccessibleName(QStringLiteral("Program Listing"));
            w = listing_;
        } else {
            auto it = refs.find(name);
            if (it == refs.end()) throw std::logic_error("no control state for " + name.toStdString());
            w = createControl(it.value(), parent);
            const bool colored = name == QLatin1String("LoadLabel") || name == QLatin1String("SaveLabel") ||
                                 name == QLatin1String("Edit1");
            bindings_.push_back({it.value().kind, it.value().ctl, w, nullptr, colored});
            refs.erase(it);
        }
        w->setObjectName(name);
        w->setGeometry(place.x, place.y, place.w, place.h);
        widgets.insert(name, w);
    }
    if (!refs.isEmpty()) throw std::logic_error("control without a place: " + refs.begin().key().toStdString());

    for (const auto& [label, target] : kBuddies) {
        auto* l = qobject_cast<QLabel*>(widgets.value(QLatin1String(label)));
        QWidget* buddy = widgets.value(QLatin1String(target));
        if (!l || !buddy) throw std::logic_error(std::string("bad label pair ") + label);
        l->setBuddy(buddy);
        for (Binding& b : bindings_)
            if (b.widget == l) b.buddy = buddy;
    }

    groupBox2_ = widgets.value(QStringLiteral("GroupBox2"));
    commentButton_ = qobject_cast<QPushButton*>(widgets.value(QStringLiteral("CommentButton")));
    addButton_ = qobject_cast<QPushButton*>(widgets.value(QStringLiteral("AddInstrButton")));
    moduleList_ = qobject_cast<ModuleListWidget*>(widgets.value(QStringLiteral("ModuleListBox")));

    // Fixed accessible names of controls without a label of their own.
    widgets.value(QStringLiteral("CommentEdit"))->setAccessibleName(QStringLiteral("Comment"));
    widgets.value(QStringLiteral("Edit1"))->setAccessibleName(QStringLiteral("Listing columns"));
    widgets.value(QStringLiteral("Edit1"))->setFocusPolicy(Qt::NoFocus);
    widgets.value(QStringLiteral("RunLEDShape"))->setAccessibleName(QStringLiteral("program running"));
    const Ctl& jump = s_->form.master.RadioGroup2;
    const std::pair<const char*, int> besideItems[] = {{"MasterEdit3", 0}, {"MasterEdit4", 3}, {"MasterEdit5", 4},
                                                       {"MasterEdit6", 5}, {"MasterEdit7", 6}, {"MasterEdit8", 7}};
    for (const auto& [edit, item] : besideItems)
        if (size_t(item) < jump.items.size())
            widgets.value(QLatin1String(edit))->setAccessibleName(accessibleFromCaption(jump.items[size_t(item)]));

    for (Binding& b : bindings_) {
        apply(b, true);
        connectControl(b, b.widget->objectName());
    }
    // The edits beside the condition items stand on the items' rows, wherever
    // the group's frame puts them.
    if (auto* conditions = qobject_cast<RadioGroup*>(widgets.value(QStringLiteral("RadioGroup2")))) {
        std::vector<std::pair<QWidget*, int>> beside;
        for (const auto& [edit, item] : besideItems) beside.emplace_back(widgets.value(QLatin1String(edit)), item);
        auto place = [conditions, beside] {
            for (const auto& [edit, item] : beside)
                if (item < conditions->count()) {
                    const QRect row = conditions->itemRect(item);
                    edit->setGeometry(conditions->x() + 90, row.y(), conditions->width() - 94, row.height());
                }
        };
        place();
        connect(conditions, &RadioGroup::arranged, this, place);
    }
    connectListing();
    buildModuleMenu();
}

QWidget* TMainForm::createControl(const CtlRef& ref, QWidget* parent) {
    switch (ref.kind) {
        case CtlKind::Label: {
            auto* l = new QLabel(parent);
            l->setTextFormat(Qt::PlainText);
            if (ref.name == "LoadLabel" || ref.name == "SaveLabel") l->setAlignment(Qt::AlignCenter);
            return l;
        }
        case CtlKind::Button: {
            auto* b = new QPushButton(parent);
            b->setAutoDefault(true);  // Enter presses the focused button
            return b;
        }
        case CtlKind::Edit: return new QLineEdit(parent);
        case CtlKind::ReadOnlyEdit: {
            auto* e = new QLineEdit(parent);
            e->setReadOnly(true);
            return e;
        }
        case CtlKind::Check: return new QCheckBox(parent);
        case CtlKind::Radio: return new RadioGroup(parent, ref.name == "IoRG" ? 2 : 1);
        case CtlKind::Combo: return new QComboBox(parent);
        case CtlKind::EditCombo: {
            auto* c = new QComboBox(parent);
            c->setEditable(true);
            c->setInsertPolicy(QComboBox::NoInsert);
            c->setCompleter(nullptr);
            return c;
        }
        case CtlKind::Group: return new QGroupBox(parent);
        case CtlKind::List: return new ModuleListWidget(parent);
        case CtlKind::Shape: return new LedShape(parent);
    }
    throw std::logic_error("unknown control kind for " + ref.name);
}

void TMainForm::connectControl(Binding& b, const QString& name) {
    Ctl* ctl = b.ctl;
    switch (b.kind) {
        case CtlKind::Button:
            if (Handler h = lookup(kButtonHandlers, name))
                connect(static_cast<QPushButton*>(b.widget), &QPushButton::clicked, this, [this, h] { run(h); });
            break;
        case CtlKind::Edit: {
            auto* edit = static_cast<QLineEdit*>(b.widget);
            const bool isComment = name == QLatin1String("CommentEdit");
            const std::string editName = fromQ(name);
            connect(edit, &QLineEdit::textEdited, this, [this, ctl, edit, isComment, editName](const QString& text) {
                ctl->text = s_->form.typedText(editName, fromQ(text));
                // What the field cannot keep is replaced at once, where the user sees it.
                const QString kept = toQ(ctl->text);
                if (kept != text) {
                    const int cursor = edit->cursorPosition() - int(text.size() - kept.size());
                    edit->setText(kept);
                    edit->setCursorPosition(qBound(0, cursor, int(kept.size())));
                }
                if (isComment) run(CommentEditChange);
            });
            break;
        }
        case CtlKind::Check:
            connect(static_cast<QCheckBox*>(b.widget), &QCheckBox::clicked, this,
                    [ctl](bool checked) { ctl->checked = checked; });
            break;
        case CtlKind::Radio:
            connect(static_cast<RadioGroup*>(b.widget), &RadioGroup::userChose, this,
                    [ctl](int index) { ctl->index = index; });
            break;
        case CtlKind::Combo: {
            Handler h = lookup(kComboHandlers, name);
            auto* box = static_cast<QComboBox*>(b.widget);
            connect(box, &QComboBox::activated, this, [this, ctl, h](int index) {
                ctl->index = index;
                if (h) run(h);
            });
            break;
        }
        case CtlKind::EditCombo: {
            auto* box = static_cast<QComboBox*>(b.widget);
            connect(box, &QComboBox::activated, this, [ctl, box](int index) {
                ctl->index = index;
                ctl->text = fromQ(box->itemText(index));
            });
            // Typing keeps a choice only when the text is exactly one of the items.
            connect(box->lineEdit(), &QLineEdit::textEdited, this, [ctl](const QString& text) {
                ctl->text = fromQ(text);
                ctl->index = -1;
                for (size_t i = 0; i < ctl->items.size(); ++i)
                    if (ctl->items[i] == ctl->text) {
                        ctl->index = int(i);
                        break;
                    }
            });
            break;
        }
        case CtlKind::List: {
            auto* list = static_cast<ModuleListWidget*>(b.widget);
            connect(list, &ModuleListWidget::userClicked, this, [this, ctl, list] {
                ctl->index = list->currentRow();
                run(ModuleListBoxClick);
            });
            connect(list, &ModuleListWidget::userDoubleClicked, this, [this] { run(ModuleListBoxDblClick); });
            connect(list, &ModuleListWidget::menuRequested, this, [this](const QPoint& pos) {
                modEditPopup_->setActiveAction(modEditPopup_->defaultAction());
                modEditPopup_->exec(pos, modEditPopup_->defaultAction());
            });
            break;
        }
        case CtlKind::Label:
        case CtlKind::ReadOnlyEdit:
        case CtlKind::Group:
        case CtlKind::Shape: break;
    }
}

void TMainForm::connectListing() {
    connect(listing_, &ListingWidget::userPressed, this, [this](bool ctrl) {
        run([ctrl](MainState& s) {
            ProgramListBoxClick(s);
            ProgramListBoxMouseDown(s, ctrl);
        });
    });
    connect(listing_, &ListingWidget::userMoved, this, [this] { run(ProgramListBoxClick); });
}

void TMainForm::buildModuleMenu() {
    modEditPopup_ = new QMenu(this);
    modEditPopup_->setObjectName(QStringLiteral("ModEditPopup"));
    for (const MenuItem& item : kModuleMenu) {
        QAction* action = modEditPopup_->addAction(QLatin1String(item.caption));
        action->setObjectName(QLatin1String(item.name));
        if (Handler h = item.handler)
            connect(action, &QAction::triggered, this, [this, h] { run(h); });
        else
            modEditPopup_->setDefaultAction(action);
    }
    // After the list's own items: the Watch window (also Ctrl+W).
    QAction* watch = modEditPopup_->addAction(QStringLiteral("Watch..."));
    watch->setObjectName(QStringLiteral("Watch1"));
    watch->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    connect(watch, &QAction::triggered, this, &TMainForm::showWatchWindow);
}

void TMainForm::apply(Binding& b, bool force) {
    const Ctl& c = *b.ctl;
    QWidget* w = b.widget;
    const QSignalBlocker blocker(w);
    switch (b.kind) {
        case CtlKind::Label: {
            auto* l = static_cast<QLabel*>(w);
            const QString text = b.buddy ? plainCaption(c.caption) : toQ(c.caption);
            if (force || l->text() != text) {
                l->setText(text);
                FitTextToWidth(l);
                if (b.buddy) b.buddy->setAccessibleName(accessibleFromCaption(c.caption));
            }
            if (b.colored) setBackground(l, QPalette::Window, c.color);
            break;
        }
        case CtlKind::Button: {
            auto* button = static_cast<QPushButton*>(w);
            const QString text = plainCaption(c.caption);
            if (button->text() != text) button->setText(text);
            break;
        }
        case CtlKind::Edit:
        case CtlKind::ReadOnlyEdit: {
            auto* edit = static_cast<QLineEdit*>(w);
            const QString text = toQ(c.text);
            if (edit->text() != text) edit->setText(text);
            if (b.colored) setBackground(edit, QPalette::Base, c.color);
            break;
        }
        case CtlKind::Check: {
            auto* box = static_cast<QCheckBox*>(w);
            const QString text = plainCaption(c.caption);
            if (box->text() != text) box->setText(text);
            if (box->isChecked() != c.checked) box->setChecked(c.checked);
            break;
        }
        case CtlKind::Radio: {
            auto* group = static_cast<RadioGroup*>(w);
            const QString title = plainCaption(c.caption);
            if (group->title() != title) group->setTitle(title);
            group->setItems(c.items);
            group->setIndex(c.index);
            if (!c.caption.empty()) group->setAccessibleName(accessibleFromCaption(c.caption));
            break;
        }
        case CtlKind::Combo:
        case CtlKind::EditCombo: {
            auto* box = static_cast<QComboBox*>(w);
            if (!sameItems(box, c.items)) {
                box->clear();
                for (const std::string& item : c.items) box->addItem(toQ(item));
            }
            const int index = c.index < box->count() ? c.index : -1;
            if (box->currentIndex() != index) box->setCurrentIndex(index);
            if (b.kind == CtlKind::EditCombo && index < 0 && box->currentText() != toQ(c.text))
                box->setEditText(toQ(c.text));
            break;
        }
        case CtlKind::Group: {
            auto* group = static_cast<QGroupBox*>(w);
            const QString title = plainCaption(c.caption);
            if (group->title() != title) group->setTitle(title);
            break;
        }
        case CtlKind::List: {
            auto* list = static_cast<QListWidget*>(w);
            if (!sameItems(list, c.items)) {
                list->clear();
                for (const std::string& item : c.items) list->addItem(toQ(item));
            }
            const int index = c.index < list->count() ? c.index : -1;
            if (list->currentRow() != index || (index >= 0 && !list->item(index)->isSelected())) {
                list->clearSelection();
                list->setCurrentRow(index);
            }
            break;
        }
        case CtlKind::Shape: {
            auto* led = static_cast<LedShape*>(w);
            led->setColor(RgbColor(c.color));
            led->setAccessibleDescription(c.color == kGreen ? QStringLiteral("green") : QStringLiteral("red"));
            break;
        }
    }
    const QString tip = toQ(c.hint);
    if (w->toolTip() != tip) w->setToolTip(tip);
    const bool ownEnabled = !w->testAttribute(Qt::WA_ForceDisabled);
    if (force || ownEnabled != c.enabled) w->setEnabled(c.enabled);
    if (force || w->isHidden() == c.visible) w->setVisible(c.visible);
}

void TMainForm::run(const std::function<void(MainState&)>& handler) {
    if (closed_) return;
    struct Running {
        int& n;
        explicit Running(int& count) : n(count) { ++n; }
        ~Running() { --n; }
    } running(handlersRunning_);
    try {
        handler(*s_);
        // Cut and Copy act on one block: no handler may leave a gap in it.
        KeepSelectionOneBlock(*s_);
    } catch (const std::exception& e) {
        s_->message(e.what());
    }
    syncAll();
}

void TMainForm::syncAll() {
    if (closed_) return;
    for (Binding& b : bindings_) apply(b, false);
    const bool commentDefault = s_->form.commentIsDefault;
    commentButton_->setDefault(commentDefault);
    addButton_->setDefault(!commentDefault);
    listing_->applyPendingTop();
    // The caption names a file: its bytes are shown in the file system's encoding.
    const QString title = QFile::decodeName(QByteArray::fromStdString(s_->form.caption));
    if (windowTitle() != title) setWindowTitle(title);
    if (windows_.com) windows_.com->sync(*s_);
    if (windows_.terminal) windows_.terminal->sync(*s_);
    if (windows_.progress) windows_.progress->sync(*s_);
    syncTimers();
}

void TMainForm::syncTimers() {
    if (!s_->startTimerOn && startTimer_->isActive()) startTimer_->stop();
    if (s_->pollTimerOn && !closed_ && boxesOpen_ == 0) {
        if (!pollTimer_->isActive()) pollTimer_->start();
    } else if (pollTimer_->isActive()) {
        pollTimer_->stop();
    }
}

void TMainForm::paintNow() {
    syncAll();
    // Let the window system show what was just opened, then draw everything;
    // timer ticks that fall due meanwhile wait until the caller is done.
    ++ticksHeld_;
    QList<QWidget*> shown;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && !w->isMinimized()) shown.append(w);
    auto unexposed = [&shown] {
        for (QWidget* w : shown)
            if (w->windowHandle() && !w->windowHandle()->isExposed()) return true;
        return false;
    };
    QElapsedTimer clock;
    clock.start();
    do {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    } while (unexposed() && clock.elapsed() < 300);
    for (QWidget* w : shown) w->repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    --ticksHeld_;
}

void TMainForm::showStatusWindow(StatusWindow which) {
    TStatForm* form = nullptr;
    const StatusFormState* state = nullptr;
    switch (which) {
        case StatusWindow::Servo: form = windows_.servoStat, state = &s_->statusForms.servo; break;
        case StatusWindow::Stepper: form = windows_.stepStat, state = &s_->statusForms.stepper; break;
        case StatusWindow::Io: form = windows_.ioStat, state = &s_->statusForms.io; break;
        case StatusWindow::Master: form = windows_.masterStat, state = &s_->statusForms.master; break;
    }
    if (!form || closed_) return;
    syncAll();
    form->fill(*state);
    form->move(frameGeometry().topLeft() + QPoint(105, 30));
    form->exec();
}

bool TMainForm::runBetweenTicks(const std::function<void(MainState&, double)>& f) {
    if (closed_ || handlersRunning_ || ticksHeld_ || boxesOpen_ || !s_->pollTimerOn || !pollTimer_->isActive())
        return false;
    const double left = pollTimer_->remainingTime();
    run([&f, left](MainState& s) { f(s, left); });
    return true;
}

void TMainForm::showWatchWindow() {
    if (closed_) return;
    if (!watch_) watch_ = new TWatchForm(*this);
    watch_->show();
    watch_->raise();
    watch_->activateWindow();
}

void TMainForm::fireStartTimer() {
    if (boxesOpen_) {
        startDue_ = true;
        return;
    }
    if (ticksHeld_) {
        startTimer_->start(10);
        return;
    }
    run(StartTimerTimer);
}

void TMainForm::firePollTimer() {
    if (ticksHeld_ || boxesOpen_ || closed_) return;
    run(PollTimerTimer);
    // The interval counts from the end of the tick.
    if (!closed_ && s_->pollTimerOn) pollTimer_->start();
}

void TMainForm::holdTicksForBox() {
    if (boxesOpen_++ == 0) pollTimer_->stop();
}

void TMainForm::releaseTicksForBox() {
    if (boxesOpen_ == 0 || --boxesOpen_ > 0) return;
    // The poll timer starts again when the handler that showed the box ends
    // (TMainForm::run), so its interval counts from there.  A start-up tick
    // that fell due meanwhile runs from the event loop, not inside that handler.
    if (startDue_ && !closed_) {
        startDue_ = false;
        startTimer_->start(0);
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (closed_) {
        event->accept();
        return;
    }
    bool mayClose = false;
    try {
        mayClose = FormCloseQuery(*s_);
    } catch (const std::exception& e) {
        s_->message(e.what());
    }
    if (!mayClose) {
        event->ignore();
        syncAll();
        return;
    }
    event->accept();
    shutDown();
}

void TMainForm::shutDown() {
    closed_ = true;
    startTimer_->stop();
    pollTimer_->stop();
    if (watch_) watch_->hide();
    for (QWidget* w : std::initializer_list<QWidget*>{windows_.com, windows_.terminal, windows_.progress})
        if (w) w->hide();
    QCoreApplication::quit();
}

void TMainForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Enter presses the builder's default button wherever the focus is.
        QPushButton* button = s_->form.commentIsDefault ? commentButton_ : addButton_;
        if (button->isEnabled() && button->isVisible()) button->click();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TMainForm::onFocusChanged(QWidget* old, QWidget* now) {
    if (closed_ || !now || now->window() != this || !isInside(now, groupBox2_)) return;
    if (old && old->window() == this && isInside(old, groupBox2_)) return;
    if (!old || old->window() != this) return;  // the window itself was activated
    run(GroupBox2Enter);
}
