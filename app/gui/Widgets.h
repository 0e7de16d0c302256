#pragma once
// The few widgets the windows need beyond Qt's own: the round running
// indicator, a radio group laid out in columns, the program listing (kept in
// step with the core's listing item by item), the module list with its
// right-click menu, and the terminal's read-only text box that passes keys on.

#include <QGroupBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStyledItemDelegate>
#include <cstdint>
#include <string>
#include <vector>

#include "app/Listing.h"

class QButtonGroup;
class QLabel;

// A filled circle with a thin black outline.
class LedShape : public QWidget {
    Q_OBJECT
public:
    explicit LedShape(QWidget* parent);
    void setColor(const QColor& color);
    QColor color() const { return color_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor color_;
};

// A titled group of radio buttons, filled column by column with a fixed row
// height, so that an item's place depends only on its index.
class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 17;

    RadioGroup(QWidget* parent, int columns);
    void setItems(const std::vector<std::string>& items);
    // -1 clears every button.
    void setIndex(int index);
    int index() const;
    int count() const { return int(buttons_.size()); }
    QRadioButton* button(int i) const { return buttons_[size_t(i)]; }
    // The rectangle of item i in the parent's coordinates.
    QRect itemRect(int i) const;
    void setItemToolTip(int i, const QString& tip);

signals:
    void userChose(int index);
    // The items were placed anew (their rows may have moved).
    void arranged();

protected:
    void resizeEvent(QResizeEvent*) override;
    bool event(QEvent* event) override;

private:
    void arrange();
    int columns_;
    std::vector<QRadioButton*> buttons_;
    QButtonGroup* group_;
};

// The listing's left margin, in pixels, ahead of every line's text: it holds
// the marks that must not hide the selection or the breakpoint mark.
constexpr int kListingMargin = 14;
// Item data of a listing line with findings of the program check: the worst
// severity plus one (1 note, 2 warning, 3 error); none or 0 without findings.
constexpr int kFindingRole = Qt::UserRole + 1;
// The marks' colours: the executing line's arrow and background, and the
// finding bar by severity.
QColor ExecutingArrowColor();
QColor ExecutingLineColor();
QColor FindingColor(int severityPlusOne);

// Every item the same height.  An item's text holds the listing text's bytes
// exactly (the breakpoint mark 0x01, a Print's CR and LF); only the painting
// draws control bytes as visible symbols.  In the margin it draws a bar in
// the colour of a line's worst finding, and an arrow at the line the master
// executes (ListingWidget::executingRow), whose row is also tinted while not
// selected: the execution point stands apart from the user's selection.
class FixedHeightDelegate : public QStyledItemDelegate {
public:
    FixedHeightDelegate(QObject* parent, int height) : QStyledItemDelegate(parent), height_(height) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QString displayText(const QVariant& value, const QLocale& locale) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    int height_;
};

// ProgramListBox.  Changes the core makes arrive through ListingView and are
// applied without being reported back; changes the user makes (selection,
// focus item, scrolling) are written into the core's listing at once.
class ListingWidget : public QListWidget, public ListingView {
    Q_OBJECT
public:
    ListingWidget(QWidget* parent, Listing& listing);
    ~ListingWidget() override;

    void itemInserted(int index, const std::string& text) override;
    void itemRemoved(int index) override;
    void itemChanged(int index, const std::string& text) override;
    void cleared() override;
    void selectionChanged(int index, bool selected) override;
    void rangeSelected(int first, int last) override;
    void focusChanged(int index) override;
    void topIndexChanged(int index) override;
    void executingChanged(int index) override;

    // The row of the line the master executes or stopped at; -1: none.
    int executingRow() const { return listing_ ? listing_->executing() : -1; }

    // Scrolls to the top index the core asked for, once the items are laid out.
    void applyPendingTop();
    // Stops writing into the core's listing (the state is going away).
    void detach();

signals:
    // A mouse press on an item, after the list's own handling.
    void userPressed(bool ctrl);
    // The keyboard or a drag moved the focus item or changed the selection.
    void userMoved();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void recordSelection(const QItemSelection& selected, const QItemSelection& deselected);
    void recordFocus(const QModelIndex& current);
    void recordTop(int value);

    Listing* listing_;
    int applying_ = 0;         // > 0 while the core's changes are being applied
    int pendingTop_ = -1;
    bool userChanged_ = false;  // selection or focus changed by the user since the last check
    QPersistentModelIndex described_;  // the item described as executing
};

// ModuleListBox: single selection; the right button opens the menu without
// moving the selection.
class ModuleListWidget : public QListWidget {
    Q_OBJECT
public:
    explicit ModuleListWidget(QWidget* parent);

signals:
    void userClicked();        // an item was clicked or chosen with the keyboard
    void userDoubleClicked();
    void menuRequested(const QPoint& globalPos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
};

// TerminalMemo: read-only; every typed character is handed on as a byte.
class TerminalMemoWidget : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TerminalMemoWidget(QWidget* parent);

signals:
    void keyTyped(unsigned char key);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// The user-interface font: 8 points, sans-serif, narrow enough that the
// captions fit the fixed layouts.
QFont StepwrightFont();
// A fixed-pitch font of the given pixel size (listing, terminal).
QFont FixedPitchFont(int pixelSize);
// Moves a top-level window to the middle of the screen.
void CentreOnScreen(QWidget* window);
// 0xRRGGBB as a colour.
QColor RgbColor(uint32_t rgb);
// Draws a label's text a little tighter when it would not fit its width.
void FitTextToWidth(QLabel* label);
