#include "app/gui/WindowExtras.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFrame>
#include <QHelpEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QCheckBox>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <algorithm>
#include <memory>
#include <vector>

#include "app/MainState.h"
#include "app/gui/EditorKeys.h"
#include "app/gui/MainForm.h"
#include "app/gui/SecondaryForms.h"
#include "app/gui/StatusLine.h"
#include "app/gui/Widgets.h"
#include "app/Progress.h"

namespace {

// The controls that move or grow when the window is larger than designed:
// the listing and its header take the extra width, the listing the extra
// height; the buttons and the execution group below it move down with it.
struct Growth {
    const char* name;
    bool wider, taller, down, right;
};

const Growth kGrowth[] = {
    {"Edit1", true, false, false, false},
    {"ProgramListBox", true, true, false, false},
    {"OpenButton", false, false, true, false},
    {"SaveButton", false, false, true, false},
    {"CopyButton", false, false, true, false},
    {"CutButton", false, false, true, false},
    {"PasteButton", false, false, true, false},
    {"DeleteButton", false, false, true, false},
    {"ClearButton", false, false, true, false},
    {"ProgExeGroup", false, false, true, false},
    {"RunningLabel", false, false, false, true},
    {"RunLEDShape", false, false, false, true},
    {"StatusLine", true, false, true, false},
};

class Extras : public QObject {
public:
    explicit Extras(TMainForm& main) : QObject(&main), main_(main), designed_(main.size()) {
        for (const Growth& g : kGrowth)
            if (auto* w = main.findChild<QWidget*>(QLatin1String(g.name))) placed_.push_back({w, g, w->geometry()});
        main.installEventFilter(this);
        main.setAcceptDrops(true);
        listing_ = main.findChild<QListWidget*>(QStringLiteral("ProgramListBox"));
        if (listing_) listing_->viewport()->installEventFilter(this);
        // The column header's text starts where the lines' text does, behind
        // the listing's margin of marks.
        if (auto* header = main.findChild<QLineEdit*>(QStringLiteral("Edit1"))) {
            const QMargins m = header->textMargins();
            header->setTextMargins(m.left() + kListingMargin, m.top(), m.right(), m.bottom());
        }
        led_ = main.findChild<QWidget*>(QStringLiteral("RunLEDShape"));
        if (led_) led_->installEventFilter(this);
        // Captions keep a margin to the button's edge and to the control beside them.
        for (QPushButton* b : main.findChildren<QPushButton*>()) b->installEventFilter(this);
        for (QCheckBox* c : main.findChildren<QCheckBox*>()) c->installEventFilter(this);
        main.state().progressHook = [this](int done, int total) { showProgress(done, total); };
        // The secondary windows are attached after the main window is built.
        QTimer::singleShot(0, this, [this] {
            progress_ = main_.windows().progress;
            if (progress_) progress_->installEventFilter(this);
        });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::Resize:
                if (watched == &main_) grow();
                break;
            case QEvent::DragEnter:
            case QEvent::DragMove:
                if (watched == &main_) {
                    auto* drag = static_cast<QDropEvent*>(event);
                    if (!droppedFile(drag->mimeData()).empty()) {
                        drag->acceptProposedAction();
                        return true;
                    }
                }
                break;
            case QEvent::Drop:
                if (watched == &main_) return drop(static_cast<QDropEvent*>(event));
                break;
            case QEvent::ToolTip:
                if (listing_ && watched == listing_->viewport())
                    return listingTip(static_cast<QHelpEvent*>(event));
                if (watched == led_) {
                    auto* help = static_cast<QHelpEvent*>(event);
                    QToolTip::showText(help->globalPos(), led_->accessibleName(), led_);
                    return true;
                }
                break;
            case QEvent::Paint:
                if (auto* button = qobject_cast<QAbstractButton*>(watched)) fitCaption(button);
                break;
            case QEvent::Show:
            case QEvent::Hide:
                // Compared with the pointer kept at start: the main window may
                // be half destroyed when its windows are hidden at the end.
                if (progress_ && watched == progress_) {
                    // A new use of the progress window starts without a bar.
                    if (bar_) bar_->hide();
                    clock_.start();
                }
                break;
            default: break;
        }
        return false;
    }

private:
    struct Placed {
        QWidget* widget;
        Growth growth;
        QRect designed;
    };

    void grow() {
        const int dx = std::max(0, main_.width() - designed_.width());
        const int dy = std::max(0, main_.height() - designed_.height());
        for (const Placed& p : placed_) {
            QRect r = p.designed;
            if (p.growth.wider) r.setWidth(r.width() + dx);
            if (p.growth.taller) r.setHeight(r.height() + dy);
            if (p.growth.down) r.moveTop(r.top() + dy);
            if (p.growth.right) r.moveLeft(r.left() + dx);
            if (p.widget->geometry() != r) p.widget->setGeometry(r);
        }
    }

    // Draws a button's or check box's caption a little smaller or tighter
    // when it would reach the button's edge or the check box shown to its
    // right on the same row: a push button's text by up to one point, then
    // (like a check box's) by at most one pixel less per character.
    static void fitCaption(QAbstractButton* button) {
        QFont font = button->font();
        font.setLetterSpacing(QFont::AbsoluteSpacing, 0);
        if (button->parentWidget() && button->parentWidget()->font().pointSizeF() > 0)
            font.setPointSizeF(button->parentWidget()->font().pointSizeF());
        const QString text = button->text().remove(QLatin1Char('&'));
        int room = button->width() - 10;
        if (!qobject_cast<QCheckBox*>(button))
            while (QFontMetrics(font).horizontalAdvance(text) > room && font.pointSizeF() > 7.0)
                font.setPointSizeF(font.pointSizeF() - 0.5);
        int needed = QFontMetrics(font).horizontalAdvance(text);
        if (qobject_cast<QCheckBox*>(button)) {
            needed += button->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, button) +
                      button->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, button);
            room = button->width() - 2;
            if (QWidget* parent = button->parentWidget())
                for (QCheckBox* other : parent->findChildren<QCheckBox*>(Qt::FindDirectChildrenOnly))
                    if (other != button && !other->isHidden() && other->y() == button->y() &&
                        other->x() > button->x())
                        room = std::min(room, other->x() - button->x() - 6);
        }
        if (needed > room && text.size() > 1)
            font.setLetterSpacing(QFont::AbsoluteSpacing,
                                  std::max<qreal>(-1.0, qreal(room - needed) / qreal(text.size() - 1)));
        if (font != button->font()) button->setFont(font);
    }

    static std::string droppedFile(const QMimeData* data) {
        if (!data || !data->hasUrls()) return std::string();
        const QList<QUrl> urls = data->urls();
        // One program at a time: a drop of several files opens none.
        return urls.size() == 1 ? DroppedProgramFile(urls.first()) : std::string();
    }

    bool drop(QDropEvent* event) {
        const std::string path = droppedFile(event->mimeData());
        if (path.empty()) return false;
        event->acceptProposedAction();
        // Opened from the event loop, once the drag has ended: the question
        // about unsaved changes must not block the drag's source.
        TMainForm* main = &main_;
        QTimer::singleShot(0, main, [main, path] { main->openAfterStart(path); });
        return true;
    }

    // A listing line's tool tip: its whole text when the line is cut off,
    // then the program check's findings on it, one a line.
    bool listingTip(QHelpEvent* help) {
        QListWidgetItem* item = listing_->itemAt(help->pos());
        const QString tip = item ? ListingTipText(*listing_, *item) : QString();
        if (tip.isEmpty()) {
            QToolTip::hideText();
            return true;
        }
        QToolTip::showText(help->globalPos(), tip, listing_->viewport(), listing_->visualItemRect(item));
        return true;
    }

    void showProgress(int done, int total) {
        QWidget* form = main_.windows().progress;
        if (!form || !form->isVisible()) return;
        if (!bar_) {
            QWidget* panel = form->findChild<QFrame*>(QStringLiteral("Panel1"));
            bar_ = new QProgressBar(panel ? panel : form);
            bar_->setObjectName(QStringLiteral("ProgressBar"));
            bar_->setGeometry(16, 44, 229, 15);
            bar_->setTextVisible(true);
            bar_->setAlignment(Qt::AlignCenter);
            form->installEventFilter(this);
            if (!clock_.isValid()) clock_.start();
        }
        bar_->setRange(0, std::max(1, total));
        bar_->setValue(std::min(done, total));
        bar_->setFormat(QString::fromLatin1(ProgressBarText(done, total, clock_.elapsed()).c_str()));
        bar_->setAccessibleName(bar_->format());
        bar_->show();
        // Drawn at once, without an event loop: no input is taken meanwhile.
        bar_->repaint();
    }

    TMainForm& main_;
    QSize designed_;
    std::vector<Placed> placed_;
    QListWidget* listing_ = nullptr;
    QWidget* led_ = nullptr;
    QPointer<QWidget> progress_;  // the progress window, once attached
    QProgressBar* bar_ = nullptr;
    QElapsedTimer clock_;
};

}  // namespace

QString ListingTipText(const QListWidget& listing, const QListWidgetItem& item) {
    auto* delegate = qobject_cast<QStyledItemDelegate*>(listing.itemDelegate());
    const QString text = delegate ? delegate->displayText(item.data(Qt::DisplayRole), QLocale()) : item.text();
    const QRect rect = listing.visualItemRect(&item);
    QString tip;
    // The whole text only when the line is cut off.
    if (listing.fontMetrics().horizontalAdvance(text) + 6 + kListingMargin > rect.width()) tip = text;
    const QString findings = item.toolTip();
    if (!findings.isEmpty()) tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) + findings;
    return tip;
}

std::string DroppedProgramFile(const QUrl& url) {
    if (!url.isLocalFile()) return std::string();
    const QString path = url.toLocalFile();
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != QLatin1String("stw") && suffix != QLatin1String("sws")) return std::string();
    if (!QFileInfo(path).isFile()) return std::string();
    return QFile::encodeName(path).toStdString();
}

void InstallWindowExtras(TMainForm& main) {
    // First: the window's designed size then includes the status line.
    InstallStatusLine(main);
    new Extras(main);
    new EditorKeys(main);
}
