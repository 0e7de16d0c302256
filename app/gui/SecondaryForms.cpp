#include "app/gui/SecondaryForms.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

#include "app/ComSettings.h"
#include "app/MainState.h"
#include "app/Terminal.h"
#include "app/gui/Binders.h"
#include "app/gui/Latin1.h"
#include "app/gui/MainForm.h"
#include "app/gui/Widgets.h"

namespace {

constexpr Qt::WindowFlags kFixedDialogFlags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                              Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

// Creates a window's buttons from its table, each running its handler.
std::vector<QPushButton*> makeButtons(QWidget* window, std::span<const ControlDesc> table, TMainForm& main) {
    std::vector<QPushButton*> buttons;
    for (const ControlDesc& d : table) {
        auto* b = static_cast<QPushButton*>(CreateControl(d, window));
        BinderFor(d.kind).connect({&d, &BinderFor(d.kind), nullptr, b}, main);
        buttons.push_back(b);
    }
    return buttons;
}

// Shows a window that the state marks visible (placing it first when asked),
// hides one it marks hidden.
void showOrHide(QWidget* w, bool visible, bool centre) {
    if (visible && !w->isVisible()) {
        if (centre) CentreOnScreen(w);
        w->show();
        w->raise();
        w->activateWindow();
    } else if (!visible && w->isVisible()) {
        w->hide();
    }
}

}  // namespace

// ---------------------------------------------------------------- TComForm

TComForm::TComForm(TMainForm& main) : QDialog(nullptr, kFixedDialogFlags), main_(main) {
    setObjectName(QStringLiteral("ComForm"));
    setWindowTitle(QStringLiteral("Communications Settings"));
    setFont(StepwrightFont());
    setFixedSize(275, 131);

    comRG_ = new RadioGroup(this, 4);
    comRG_->setObjectName(QStringLiteral("ComRG"));
    comRG_->setAccessibleName(QStringLiteral("Port"));
    comRG_->setGeometry(12, 10, 251, 46);
    comRG_->setItems({"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "Offline"});
    connect(comRG_, &RadioGroup::userChose, this, [this](int index) { main_.state().com.choice = index; });

    // Between the ports and the buttons: a lost port is opened again as soon
    // as its device is back.  Off at start.
    reconnectBox_ = new QCheckBox(QStringLiteral("Reconnect automatically"), this);
    reconnectBox_->setObjectName(QStringLiteral("ReconnectBox"));
    reconnectBox_->setGeometry(14, 57, 249, 20);
    reconnectBox_->setToolTip(QStringLiteral("Open the port again when its unplugged device comes back"));
    connect(reconnectBox_, &QCheckBox::toggled, this,
            [this](bool on) { main_.state().com.reconnectAutomatically = on; });

    setButton_ = makeButtons(this, ComFormButtons(), main_).front();
    setButton_->setDefault(true);
}

void TComForm::sync(const MainState& s) {
    comRG_->setIndex(s.com.choice);
    if (reconnectBox_->isChecked() != s.com.reconnectAutomatically)
        reconnectBox_->setChecked(s.com.reconnectAutomatically);
    for (int i = 0; i < 6; ++i)
        comRG_->setItemToolTip(i, s.portDevice[i].empty() ? QStringLiteral("no device") : toQ(s.portDevice[i]));
    const bool opening = s.com.visible && !isVisible();
    showOrHide(this, s.com.visible, true);
    if (opening) setButton_->setFocus();  // the active control
}

void TComForm::closeEvent(QCloseEvent* event) {
    main_.state().com.visible = false;
    QDialog::closeEvent(event);
}

void TComForm::reject() { close(); }

// ----------------------------------------------------------- TTerminalForm

TTerminalForm::TTerminalForm(TMainForm& main) : QWidget(nullptr), main_(main) {
    setObjectName(QStringLiteral("TerminalForm"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Stepwright Terminal"));
    setFont(StepwrightFont());
    setFixedSize(380, 235);

    memo_ = new TerminalMemoWidget(this);
    memo_->setObjectName(QStringLiteral("TerminalMemo"));
    memo_->setAccessibleName(QStringLiteral("Terminal"));
    memo_->setGeometry(1, 1, 377, 201);
    memo_->setFont(FixedPitchFont(13));
    QPalette p = memo_->palette();
    p.setColor(QPalette::Text, Qt::black);
    memo_->setPalette(p);
    rowChars_ = rowChars();
    connect(memo_, &TerminalMemoWidget::keyTyped, this,
            [this](unsigned char key) { main_.run([key](MainState& s) { TerminalMemoKeyPress(s, key); }); });

    makeButtons(this, TerminalFormButtons(), main_);
}

int TTerminalForm::rowChars() const {
    // Characters of the fixed-pitch font that fit one row beside the
    // vertical scroll bar.
    const QFontMetricsF metrics(memo_->font());
    const qreal width = memo_->contentsRect().width() - memo_->verticalScrollBar()->sizeHint().width() -
                        2 * memo_->document()->documentMargin() - 2;
    return std::max(8, int(width / metrics.horizontalAdvance(QLatin1Char('M'))));
}

QString TTerminalForm::rowsFor(const std::string& bytes, int lastRow, int& rowsAdded) const {
    const int per = rowChars_;
    const QString text = toQ(bytes);
    QString out;
    out.reserve(text.size() + text.size() / per + 1);
    rowsAdded = 0;
    qsizetype at = 0;
    const qsizetype first = std::min<qsizetype>(text.size(), std::max(0, per - lastRow));
    out += QStringView(text).first(first);
    at = first;
    while (at < text.size()) {
        const qsizetype n = std::min<qsizetype>(per, text.size() - at);
        out += QLatin1Char('\n');
        out += QStringView(text).sliced(at, n);
        at += n;
        ++rowsAdded;
    }
    return out;
}

void TTerminalForm::redraw(const std::vector<std::string>& lines) {
    QString text;
    rows_.assign(lines.size(), 1);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) text += QLatin1Char('\n');
        int added = 0;
        text += rowsFor(lines[i], 0, added);
        rows_[i] += added;
    }
    memo_->setPlainText(text);
    lastLength_ = lines.empty() ? 0 : lines.back().size();
}

void TTerminalForm::dropTopLines(size_t count) {
    if (count == 0) return;
    int blocks = 0;
    for (size_t i = 0; i < count; ++i) blocks += rows_[i];
    QTextCursor cursor(memo_->document());
    cursor.setPosition(memo_->document()->findBlockByNumber(blocks).position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    rows_.erase(rows_.begin(), rows_.begin() + qsizetype(count));
}

void TTerminalForm::trimLastLine(size_t count) {
    QTextDocument* doc = memo_->document();
    while (count > 0) {
        const QTextBlock first = doc->findBlockByNumber(doc->blockCount() - rows_.back());
        const size_t length = size_t(first.length() - 1);
        QTextCursor cursor(first);
        if (count >= length && rows_.back() > 1) {
            // The whole row goes, with the break after it.
            cursor.setPosition(first.next().position(), QTextCursor::KeepAnchor);
            --rows_.back();
            count -= length;
        } else {
            const size_t n = std::min(count, length);
            cursor.setPosition(first.position() + int(n), QTextCursor::KeepAnchor);
            count = 0;
        }
        cursor.removeSelectedText();
    }
}

bool TTerminalForm::drawChanges(const std::vector<std::string>& lines, size_t dropped, size_t trimmed) {
    // Every line shown has gone: all there is to show is new.
    if (rows_.empty() || dropped >= rows_.size()) return false;
    dropTopLines(dropped);
    const size_t last = rows_.size() - 1;   // the line that was the last one when drawn
    if (last >= lines.size()) return false;
    const size_t kept = lastLength_ - std::min(trimmed, lastLength_);
    if (lines[last].size() < kept) return false;
    trimLastLine(lastLength_ - kept);

    QTextDocument* doc = memo_->document();
    int added = 0;
    QString text = rowsFor(lines[last].substr(kept), doc->lastBlock().length() - 1, added);
    rows_.back() += added;
    for (size_t i = last + 1; i < lines.size(); ++i) {
        text += QLatin1Char('\n');
        text += rowsFor(lines[i], 0, added);
        rows_.push_back(1 + added);
    }
    if (!text.isEmpty()) {
        QTextCursor cursor(doc);
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(text);
    }
    lastLength_ = lines.back().size();
    int blocks = 0;
    for (int r : rows_) blocks += r;
    return rows_.size() == lines.size() && blocks == doc->blockCount();
}

void TTerminalForm::sync(MainState& s) {
    const std::vector<std::string>& lines = s.terminal.lines;
    TerminalState::Undrawn& undrawn = s.terminal.undrawn;
    const size_t length = lines.empty() ? 0 : lines.back().size();
    if (undrawn.all || undrawn.droppedLines || undrawn.trimmed || undrawn.newLines || rows_.size() != lines.size() ||
        length != lastLength_) {
        if (undrawn.all || !drawChanges(lines, undrawn.droppedLines, undrawn.trimmed)) redraw(lines);
        undrawn = TerminalState::Undrawn{false, 0, 0, 0};
        memo_->moveCursor(QTextCursor::End);
        memo_->ensureCursorVisible();
    }
    const bool opening = s.terminal.visible && !isVisible();
    showOrHide(this, s.terminal.visible, false);
    if (opening) memo_->setFocus();
}

void TTerminalForm::closeEvent(QCloseEvent* event) {
    main_.state().terminal.visible = false;
    QWidget::closeEvent(event);
}

// ------------------------------------------------------------ TMessageForm

TMessageForm::TMessageForm(TMainForm&) : QWidget(nullptr) {
    setObjectName(QStringLiteral("MessageForm"));
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(261, 65);
    setCursor(Qt::WaitCursor);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setGeometry(0, 0, 261, 65);
    panel->setFrameStyle(QFrame::Box | QFrame::Plain);
    panel->setLineWidth(1);
    QPalette p = panel->palette();
    p.setColor(QPalette::Window, QColor(255, 255, 0));
    p.setColor(QPalette::WindowText, Qt::black);
    panel->setPalette(p);
    panel->setAutoFillBackground(true);

    QFont bold = StepwrightFont();
    bold.setPixelSize(13);
    bold.setBold(true);
    for (int i = 0; i < 3; ++i) {
        labels_[i] = new QLabel(panel);
        labels_[i]->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        labels_[i]->setTextFormat(Qt::PlainText);
        labels_[i]->setAlignment(Qt::AlignCenter);
        labels_[i]->setFont(bold);
        labels_[i]->setGeometry(2, 23, 257, 19);
        labels_[i]->hide();
    }
}

void TMessageForm::sync(const MainState& s) {
    const std::string* texts[3] = {&s.progress.label1, &s.progress.label2, &s.progress.label3};
    const bool shown[3] = {s.progress.label1Visible, s.progress.label2Visible, s.progress.label3Visible};
    for (int i = 0; i < 3; ++i) {
        const QString text = toQ(*texts[i]);
        if (labels_[i]->text() != text) labels_[i]->setText(text);
        if (labels_[i]->isHidden() == shown[i]) labels_[i]->setVisible(shown[i]);
    }
    if (s.progress.visible && !isVisible()) {
        CentreOnScreen(this);
        show();
        raise();
    } else if (!s.progress.visible && isVisible()) {
        hide();
    }
}

// --------------------------------------------------------------- TStatForm

TStatForm::TStatForm(const char* objectName, const std::vector<Row>& rows, int captionWidth, int width,
                     int height, const StatusFormState& initial)
    : QDialog(nullptr, kFixedDialogFlags) {
    setObjectName(QLatin1String(objectName));
    setFont(StepwrightFont());
    setFixedSize(width, height);
    // Values in the rightmost column reach to the window's margin, so that
    // the widest position (-2147483648) shows whole; values of an inner
    // column stop short of the next column.
    int lastColumn = 0;
    for (const Row& row : rows) lastColumn = std::max(lastColumn, row.x);
    for (const Row& row : rows) {
        auto* value = new QLabel(this);
        value->setObjectName(QLatin1String(row.valueName));
        value->setTextFormat(Qt::PlainText);
        if (row.caption) {
            auto* caption = new QLabel(QLatin1String(row.caption), this);
            caption->setObjectName(QLatin1String(row.valueName) + QLatin1String("Caption"));
            caption->setTextFormat(Qt::PlainText);
            caption->setGeometry(row.x, row.y, captionWidth, 16);
            caption->setBuddy(value);
            value->setAccessibleName(accessibleFromCaption(row.caption));
            const int valueX = row.x + captionWidth + 4;
            const int valueWidth = row.x == lastColumn ? std::max(64, width - valueX - 8) : 64;
            value->setGeometry(valueX, row.y, valueWidth, 16);
        } else {
            value->setGeometry(row.x, row.y, width - 2 * row.x, 16);
        }
        // The values can be selected and copied, and a screen reader reaches
        // them with Tab; they show no caret, since nothing here is edited.
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setFocusPolicy(Qt::StrongFocus);
    }
    fill(initial);
}

void TStatForm::fill(const StatusFormState& state) {
    setWindowTitle(toQ(state.caption));
    for (const auto& [name, value] : state.labels)
        if (auto* label = findChild<QLabel*>(QString::fromStdString(name))) label->setText(toQ(value));
}

TServoStatForm::TServoStatForm(const StatusFormState& initial)
    : TStatForm("ServoStatForm",
                {{"Position:", "PosLabel", 16, 12},
                 {"Home Position:", "HomePosLabel", 16, 32},
                 {"Limit 1:", "Lim1Label", 16, 52},
                 {"Limit 2:", "Lim2Label", 16, 72},
                 {"Power:", "PowerLabel", 16, 92}},
                84, 200, 120, initial) {}

TStepStatForm::TStepStatForm(const StatusFormState& initial)
    : TStatForm("StepStatForm",
                {{"Position:", "PosLabel", 16, 12},
                 {"Home Position:", "HomePosLabel", 16, 32},
                 {"Limit 1:", "Lim1Label", 16, 52},
                 {" Limit 2:     ", "Lim2Label", 16, 72},
                 {"Home Sw.", "HomeSwLabel", 16, 92},
                 {"E-Stop", "EStopLabel", 16, 112},
                 {"Input 1", "Input1Label", 16, 132},
                 {"Input 2", "Input2Label", 16, 152},
                 {"Power:", "PowerLabel", 16, 172}},
                84, 200, 200, initial) {}

TIoStatForm::TIoStatForm(const StatusFormState& initial)
    : TStatForm("IoStatForm",
                {{"Bit 1:", "B1Lbl", 16, 12},    {"Bit 2:", "B2Lbl", 16, 32},    {"Bit 3:", "B3Lbl", 16, 52},
                 {"Bit 4:", "B4Lbl", 16, 72},    {"Bit 5:", "B5Lbl", 16, 92},    {"Bit 6:", "B6Lbl", 16, 112},
                 {"Bit 7:", "B7Lbl", 128, 12},   {"Bit 8:", "B8Lbl", 128, 32},   {"Bit 9:", "B9Lbl", 128, 52},
                 {"Bit 10:", "B10Lbl", 128, 72}, {"Bit 11:", "B11Lbl", 128, 92}, {"Bit 12:", "B12Lbl", 128, 112}},
                38, 240, 140, initial) {
    // Besides the system menu, this window alone carries the help icon.
    setWindowFlag(Qt::WindowContextHelpButtonHint, true);
}

TMasterStatForm::TMasterStatForm(const StatusFormState& initial)
    : TStatForm("MasterStatForm",
                {{nullptr, "VersionLbl", 16, 12},
                 {"Counter 1:", "C1Lbl", 16, 36},
                 {"Counter 2:", "C2Lbl", 16, 56},
                 {"Counter 3:", "C3Lbl", 16, 76},
                 {"Counter 4:", "C4Lbl", 16, 96}},
                84, 200, 124, initial) {}
