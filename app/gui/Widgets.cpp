#include "app/gui/Widgets.h"

#include <algorithm>

#include <QButtonGroup>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>

#include "app/gui/Latin1.h"

// ---------------------------------------------------------------- LedShape

LedShape::LedShape(QWidget* parent) : QWidget(parent), color_(Qt::red) {
    setAccessibleName(QStringLiteral("Stopped"));
}

void LedShape::setColor(const QColor& color) {
    if (color == color_) return;
    color_ = color;
    // Not by colour alone: its name (and tool tip) says what it shows.
    setAccessibleName(color == QColor(0, 255, 0) ? QStringLiteral("Running") : QStringLiteral("Stopped"));
    update();
}

void LedShape::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(color_);
    p.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

// -------------------------------------------------------------- RadioGroup

RadioGroup::RadioGroup(QWidget* parent, int columns)
    : QGroupBox(parent), columns_(columns < 1 ? 1 : columns), group_(new QButtonGroup(this)) {
    connect(group_, &QButtonGroup::idClicked, this, &RadioGroup::userChose);
}

void RadioGroup::setItems(const std::vector<std::string>& items) {
    bool same = items.size() == buttons_.size();
    for (size_t i = 0; same && i < items.size(); ++i) same = buttons_[i]->text() == plainCaption(items[i]);
    if (same) return;
    for (QRadioButton* b : buttons_) delete b;
    buttons_.clear();
    for (size_t i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(plainCaption(items[i]), this);
        b->setAccessibleName(accessibleFromCaption(items[i]));
        group_->addButton(b, int(i));
        buttons_.push_back(b);
        b->show();
    }
    arrange();
}

void RadioGroup::setIndex(int index) {
    if (index == this->index()) return;
    if (index >= 0 && index < count()) {
        buttons_[size_t(index)]->setChecked(true);
        return;
    }
    group_->setExclusive(false);
    for (QRadioButton* b : buttons_) b->setChecked(false);
    group_->setExclusive(true);
}

int RadioGroup::index() const { return group_->checkedId(); }

QRect RadioGroup::itemRect(int i) const { return buttons_[size_t(i)]->geometry().translated(pos()); }

void RadioGroup::setItemToolTip(int i, const QString& tip) {
    if (i >= 0 && i < count() && buttons_[size_t(i)]->toolTip() != tip) buttons_[size_t(i)]->setToolTip(tip);
}

void RadioGroup::resizeEvent(QResizeEvent* event) {
    QGroupBox::resizeEvent(event);
    arrange();
}

bool RadioGroup::event(QEvent* event) {
    const bool done = QGroupBox::event(event);
    // A title or font change moves the frame: the items follow.
    if (event->type() == QEvent::ContentsRectChange) arrange();
    return done;
}

void RadioGroup::arrange() {
    if (buttons_.empty()) return;
    const int n = count();
    const int rows = (n + columns_ - 1) / columns_;
    const int top = qMax(4, contentsRect().top() + 1);
    const int colWidth = (width() - 8) / columns_;
    for (int i = 0; i < n; ++i)
        buttons_[size_t(i)]->setGeometry(4 + (i / rows) * colWidth, top + (i % rows) * kRowHeight, colWidth,
                                         kRowHeight);
    emit arranged();
}

// ------------------------------------------------------ FixedHeightDelegate

QSize FixedHeightDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setWidth(size.width() + kListingMargin);
    size.setHeight(height_);
    return size;
}

QString FixedHeightDelegate::displayText(const QVariant& value, const QLocale&) const {
    return listingDisplayText(fromQ(value.toString()));
}

QColor ExecutingArrowColor() { return QColor(0x00, 0x90, 0x00); }
QColor ExecutingLineColor() { return QColor(0xE2, 0xF6, 0xD8); }

QColor FindingColor(int severityPlusOne) {
    switch (severityPlusOne) {
        case 3: return QColor(0xD0, 0x10, 0x10);   // error
        case 2: return QColor(0xE8, 0x98, 0x00);   // warning
        case 1: return QColor(0x30, 0x70, 0xD0);   // note
        default: return QColor();
    }
}

void FixedHeightDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const auto* list = qobject_cast<const ListingWidget*>(parent());
    const bool executing = list && index.row() == list->executingRow();
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    // The executing line's tint shows under its text while it is not selected;
    // selected, the selection's own colour shows, and the arrow still does.
    if (executing && !selected) painter->fillRect(option.rect, ExecutingLineColor());
    QStyleOptionViewItem text = option;
    text.rect.setLeft(option.rect.left() + kListingMargin);
    QStyledItemDelegate::paint(painter, text, index);

    const QRect row = option.rect;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    const QColor finding = FindingColor(index.data(kFindingRole).toInt());
    if (finding.isValid()) painter->fillRect(QRect(row.left() + 1, row.top() + 1, 3, row.height() - 2), finding);
    if (executing) {
        // A solid arrow pointing at the text, as a debugger marks its execution point.
        const int x = row.left() + 5, mid = row.top() + row.height() / 2;
        const int half = std::min(5, (row.height() - 2) / 2);
        const QPoint arrow[3] = {QPoint(x, mid - half), QPoint(x + 7, mid), QPoint(x, mid + half)};
        painter->setPen(Qt::NoPen);
        painter->setBrush(ExecutingArrowColor());
        painter->drawPolygon(arrow, 3);
    }
    painter->restore();
}

// ------------------------------------------------------------ ListingWidget

ListingWidget::ListingWidget(QWidget* parent, Listing& listing) : QListWidget(parent), listing_(&listing) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(false);
    setItemDelegate(new FixedHeightDelegate(this, 15));
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &ListingWidget::recordSelection);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current, const QModelIndex&) { recordFocus(current); });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &ListingWidget::recordTop);
    listing.attach(this);
}

ListingWidget::~ListingWidget() { detach(); }

void ListingWidget::detach() {
    if (listing_ && listing_->view() == this) listing_->attach(nullptr);
    listing_ = nullptr;
}

void ListingWidget::itemInserted(int index, const std::string& text) {
    ++applying_;
    insertItem(index, toQ(text));
    --applying_;
}

void ListingWidget::itemRemoved(int index) {
    ++applying_;
    delete takeItem(index);
    --applying_;
}

void ListingWidget::itemChanged(int index, const std::string& text) {
    if (QListWidgetItem* it = item(index)) it->setText(toQ(text));
}

void ListingWidget::cleared() {
    ++applying_;
    clear();
    pendingTop_ = -1;
    --applying_;
}

void ListingWidget::selectionChanged(int index, bool selected) {
    ++applying_;
    selectionModel()->select(model()->index(index, 0),
                             selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
    --applying_;
}

void ListingWidget::rangeSelected(int first, int last) {
    ++applying_;
    selectionModel()->select(QItemSelection(model()->index(first, 0), model()->index(last, 0)),
                             QItemSelectionModel::Select);
    --applying_;
}

void ListingWidget::focusChanged(int index) {
    ++applying_;
    selectionModel()->setCurrentIndex(index >= 0 ? model()->index(index, 0) : QModelIndex(),
                                      QItemSelectionModel::NoUpdate);
    --applying_;
}

void ListingWidget::topIndexChanged(int index) { pendingTop_ = index; }

void ListingWidget::executingChanged(int index) {
    // Not by colour alone: the marked item also says so to a screen reader.
    // The persistent index moves with the item as lines are added or removed.
    if (described_.isValid()) model()->setData(described_, QVariant(), Qt::AccessibleDescriptionRole);
    described_ = QPersistentModelIndex();
    if (QListWidgetItem* it = item(index)) {
        it->setData(Qt::AccessibleDescriptionRole, QStringLiteral("executing"));
        described_ = QPersistentModelIndex(indexFromItem(it));
    }
    viewport()->update();
}

void ListingWidget::applyPendingTop() {
    if (pendingTop_ < 0) return;
    ++applying_;
    executeDelayedItemsLayout();
    updateGeometries();
    verticalScrollBar()->setValue(pendingTop_);
    --applying_;
    pendingTop_ = -1;
    // The list cannot scroll past its last page: tell the core where it really is.
    if (listing_ && isVisible()) listing_->userTopIndex(verticalScrollBar()->value());
}

void ListingWidget::recordSelection(const QItemSelection& selected, const QItemSelection& deselected) {
    if (applying_ || !listing_) return;
    auto apply = [this](const QItemSelection& ranges, bool on) {
        for (const QItemSelectionRange& r : ranges)
            for (int row = r.top(); row <= r.bottom(); ++row)
                if (row >= 0 && row < listing_->count()) listing_->userSelected(row, on);
    };
    apply(deselected, false);
    apply(selected, true);
    userChanged_ = true;
}

void ListingWidget::recordFocus(const QModelIndex& current) {
    if (applying_ || !listing_) return;
    int row = current.isValid() ? current.row() : -1;
    listing_->userFocus(row < listing_->count() ? row : -1);
    userChanged_ = true;
}

void ListingWidget::recordTop(int value) {
    if (applying_ || !listing_) return;
    listing_->userTopIndex(value);
}

void ListingWidget::mousePressEvent(QMouseEvent* event) {
    // The right button does nothing in the listing.
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QListWidget::mousePressEvent(event);
    if (indexAt(event->position().toPoint()).isValid())
        emit userPressed(event->modifiers().testFlag(Qt::ControlModifier));
    userChanged_ = false;
}

void ListingWidget::mouseReleaseEvent(QMouseEvent* event) {
    QListWidget::mouseReleaseEvent(event);
    // A drag moved the focus item: report it as a click would.
    if (userChanged_) {
        userChanged_ = false;
        emit userMoved();
    }
}

void ListingWidget::keyPressEvent(QKeyEvent* event) {
    userChanged_ = false;
    QListWidget::keyPressEvent(event);
    if (userChanged_) {
        userChanged_ = false;
        emit userMoved();
    }
}

// --------------------------------------------------------- ModuleListWidget

ModuleListWidget::ModuleListWidget(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(false);
}

void ModuleListWidget::mousePressEvent(QMouseEvent* event) {
    // The right button opens the menu and leaves the selection alone; a click
    // below the last item changes nothing.
    if (event->button() != Qt::LeftButton || !indexAt(event->position().toPoint()).isValid()) {
        event->accept();
        return;
    }
    QListWidget::mousePressEvent(event);
    emit userClicked();
}

void ModuleListWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid())
        emit userDoubleClicked();
}

void ModuleListWidget::keyPressEvent(QKeyEvent* event) {
    int before = currentRow();
    QListWidget::keyPressEvent(event);
    if (currentRow() != before) emit userClicked();
}

void ModuleListWidget::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    emit menuRequested(event->globalPos());
}

// ------------------------------------------------------- TerminalMemoWidget

TerminalMemoWidget::TerminalMemoWidget(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setTabChangesFocus(true);
    setUndoRedoEnabled(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Read-only text still takes the keyboard focus and shows where it is.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

void TerminalMemoWidget::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    if (text.isEmpty()) {
        QPlainTextEdit::keyPressEvent(event);  // moving and selecting
        return;
    }
    event->accept();
    for (uint c : text.toUcs4()) emit keyTyped(c < 256 ? static_cast<unsigned char>(c) : '?');
}

// ---------------------------------------------------------------- helpers

QFont StepwrightFont() {
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Nimbus Sans"), QStringLiteral("Arial"), QStringLiteral("Helvetica"),
                      QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

QFont FixedPitchFont(int pixelSize) {
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Liberation Mono"),
                      QStringLiteral("Noto Sans Mono"), QStringLiteral("Nimbus Mono PS"),
                      QStringLiteral("Monospace")});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(pixelSize);
    return font;
}

void CentreOnScreen(QWidget* window) {
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
}

QColor RgbColor(uint32_t rgb) { return QColor(int((rgb >> 16) & 0xFF), int((rgb >> 8) & 0xFF), int(rgb & 0xFF)); }

void FitTextToWidth(QLabel* label) {
    QFont font = label->font();
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0);
    const QString text = label->text();
    const int needed = QFontMetrics(font).horizontalAdvance(text);
    // A label keeps a few pixels from the field it names.
    const int room = label->width() - (label->buddy() ? 4 : 1);
    if (needed > room && text.size() > 1) {
        // At most one pixel less per character: enough for a few pixels, still legible.
        const qreal spacing = qMax<qreal>(-1.0, qreal(room - needed) / qreal(text.size() - 1));
        font.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    }
    if (font != label->font()) label->setFont(font);
}
