#include "app/gui/Binders.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>

#include "app/MainState.h"
#include "app/gui/Latin1.h"
#include "app/gui/MainForm.h"
#include "app/gui/Widgets.h"

namespace {

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

bool coloured(const BoundControl& b) { return b.desc->options & kColoured; }

class LabelBinder : public ControlBinder {
public:
    QWidget* create(const ControlDesc& d, QWidget* parent) const override {
        auto* l = new QLabel(parent);
        l->setTextFormat(Qt::PlainText);
        if (d.options & kCentred) l->setAlignment(Qt::AlignCenter);
        return l;
    }
    void draw(const BoundControl& b, bool force) const override {
        const Ctl& c = *b.ctl;
        auto* l = static_cast<QLabel*>(b.widget);
        const QString text = b.buddy ? plainCaption(c.caption) : toQ(c.caption);
        if (force || l->text() != text) {
            l->setText(text);
            FitTextToWidth(l);
            if (b.buddy) b.buddy->setAccessibleName(accessibleFromCaption(c.caption));
        }
        if (coloured(b)) setBackground(l, QPalette::Window, c.color);
    }
};

class ButtonBinder : public ControlBinder {
public:
    QWidget* create(const ControlDesc& d, QWidget* parent) const override {
        auto* b = new QPushButton(parent);
        b->setAutoDefault(true);  // Enter presses the focused button
        if (d.caption) b->setText(QLatin1String(d.caption));
        return b;
    }
    void connect(const BoundControl& b, TMainForm& window) const override {
        if (Handler h = b.desc->handler)
            QObject::connect(static_cast<QPushButton*>(b.widget), &QPushButton::clicked, &window,
                             [&window, h] { window.run(h); });
    }
    void draw(const BoundControl& b, bool) const override {
        auto* button = static_cast<QPushButton*>(b.widget);
        const QString text = plainCaption(b.ctl->caption);
        if (button->text() != text) button->setText(text);
    }
};

class EditBinder : public ControlBinder {
public:
    explicit EditBinder(bool readOnly) : readOnly_(readOnly) {}
    QWidget* create(const ControlDesc&, QWidget* parent) const override {
        auto* e = new QLineEdit(parent);
        if (readOnly_) e->setReadOnly(true);
        return e;
    }
    void connect(const BoundControl& b, TMainForm& window) const override {
        if (readOnly_) return;
        auto* edit = static_cast<QLineEdit*>(b.widget);
        Ctl* ctl = b.ctl;
        const std::string name = b.desc->name;
        const Handler h = b.desc->handler;
        QObject::connect(edit, &QLineEdit::textEdited, &window, [&window, ctl, edit, name, h](const QString& text) {
            ctl->text = window.state().form.typedText(name, fromQ(text));
            // What the field cannot keep is replaced at once, where the user sees it.
            const QString kept = toQ(ctl->text);
            if (kept != text) {
                const int cursor = edit->cursorPosition() - int(text.size() - kept.size());
                edit->setText(kept);
                edit->setCursorPosition(qBound(0, cursor, int(kept.size())));
            }
            if (h) window.run(h);
        });
    }
    void draw(const BoundControl& b, bool) const override {
        auto* edit = static_cast<QLineEdit*>(b.widget);
        const QString text = toQ(b.ctl->text);
        if (edit->text() != text) edit->setText(text);
        if (coloured(b)) setBackground(edit, QPalette::Base, b.ctl->color);
    }

private:
    bool readOnly_;
};

class CheckBinder : public ControlBinder {
public:
    QWidget* create(const ControlDesc&, QWidget* parent) const override { return new QCheckBox(parent); }
    void connect(const BoundControl& b, TMainForm& window) const override {
        Ctl* ctl = b.ctl;
        QObject::connect(static_cast<QCheckBox*>(b.widget), &QCheckBox::clicked, &window,
                         [ctl](bool checked) { ctl->checked = checked; });
    }
    void draw(const BoundControl& b, bool) const override {
        auto* box = static_cast<QCheckBox*>(b.widget);
        const QString text = plainCaption(b.ctl->caption);
        if (box->text() != text) box->setText(text);
        if (box->isChecked() != b.ctl->checked) box->setChecked(b.ctl->checked);
    }
};

class RadioBinder : public ControlBinder {
public:
    QWidget* create(const ControlDesc& d, QWidget* parent) const override {
        return new RadioGroup(parent, d.options & kTwoColumns ? 2 : 1);
    }
    void connect(const BoundControl& b, TMainForm& window) const override {
        Ctl* ctl = b.ctl;
        QObject::connect(static_cast<RadioGroup*>(b.widget), &RadioGroup::userChose, &window,
                         [ctl](int index) { ctl->index = index; });
    }
    void draw(const BoundControl& b, bool) const override {
        const Ctl& c = *b.ctl;
        auto* group = static_cast<RadioGroup*>(b.widget);
        const QString title = plainCaption(c.caption);
        if (group->title() != title) group->setTitle(title);
        group->setItems(c.items);
        group->setIndex(c.index);
        if (!c.caption.empty()) group->setAccessibleName(accessibleFromCaption(c.caption));
    }
};

class ComboBinder : public ControlBinder {
public:
    explicit ComboBinder(bool editable) : editable_(editable) {}
    QWidget* create(const ControlDesc&, QWidget* parent) const override {
        auto* c = new QComboBox(parent);
        if (editable_) {
            c->setEditable(true);
            c->setInsertPolicy(QComboBox::NoInsert);
            c->setCompleter(nullptr);
        }
        return c;
    }
    void connect(const BoundControl& b, TMainForm& window) const override {
        Ctl* ctl = b.ctl;
        auto* box = static_cast<QComboBox*>(b.widget);
        if (!editable_) {
            const Handler h = b.desc->handler;
            QObject::connect(box, &QComboBox::activated, &window, [&window, ctl, h](int index) {
                ctl->index = index;
                if (h) window.run(h);
            });
            return;
        }
        QObject::connect(box, &QComboBox::activated, &window, [ctl, box](int index) {
            ctl->index = index;
            ctl->text = fromQ(box->itemText(index));
        });
        // Typing keeps a choice only when the text is exactly one of the items.
        QObject::connect(box->lineEdit(), &QLineEdit::textEdited, &window, [ctl](const QString& text) {
            ctl->text = fromQ(text);
            ctl->index = -1;
            for (size_t i = 0; i < ctl->items.size(); ++i)
                if (ctl->items[i] == ctl->text) {
                    ctl->index = int(i);
                    break;
                }
        });
    }
    void draw(const BoundControl& b, bool) const override {
        const Ctl& c = *b.ctl;
        auto* box = static_cast<QComboBox*>(b.widget);
        if (!sameItems(box, c.items)) {
            box->clear();
            for (const std::string& item : c.items) box->addItem(toQ(item));
        }
        const int index = c.index < box->count() ? c.index : -1;
        if (box->currentIndex() != index) box->setCurrentIndex(index);
        if (editable_ && index < 0 && box->currentText() != toQ(c.text)) box->setEditText(toQ(c.text));
    }

private:
    bool editable_;
};

class GroupBinder : public ControlBinder {
public:
    QWidget* create(const ControlDesc&, QWidget* parent) const override { return new QGroupBox(parent); }
    void draw(const BoundControl& b, bool) const override {
        auto* group = static_cast<QGroupBox*>(b.widget);
        const QString title = plainCaption(b.ctl->caption);
        if (group->title() != title) group->setTitle(title);
    }
};

// The module list: a click chooses, a double click and the right button run
// their own handlers.
class ListBinder : public ControlBinder {
public:
    QWidget* create(const ControlDesc&, QWidget* parent) const override { return new ModuleListWidget(parent); }
    void connect(const BoundControl& b, TMainForm& window) const override {
        Ctl* ctl = b.ctl;
        auto* list = static_cast<ModuleListWidget*>(b.widget);
        const Handler click = b.desc->handler;
        const Handler doubleClick = b.desc->doubleClick;
        QObject::connect(list, &ModuleListWidget::userClicked, &window, [&window, ctl, list, click] {
            ctl->index = list->currentRow();
            if (click) window.run(click);
        });
        QObject::connect(list, &ModuleListWidget::userDoubleClicked, &window, [&window, doubleClick] {
            if (doubleClick) window.run(doubleClick);
        });
        QObject::connect(list, &ModuleListWidget::menuRequested, &window, [&window](const QPoint& pos) {
            QMenu* menu = window.moduleMenu();
            menu->setActiveAction(menu->defaultAction());
            menu->exec(pos, menu->defaultAction());
        });
    }
    void draw(const BoundControl& b, bool) const override {
        const Ctl& c = *b.ctl;
        auto* list = static_cast<QListWidget*>(b.widget);
        if (!sameItems(list, c.items)) {
            list->clear();
            for (const std::string& item : c.items) list->addItem(toQ(item));
        }
        const int index = c.index < list->count() ? c.index : -1;
        if (list->currentRow() != index || (index >= 0 && !list->item(index)->isSelected())) {
            list->clearSelection();
            list->setCurrentRow(index);
        }
    }
};

class ShapeBinder : public ControlBinder {
public:
    QWidget* create(const ControlDesc&, QWidget* parent) const override { return new LedShape(parent); }
    void draw(const BoundControl& b, bool) const override {
        auto* led = static_cast<LedShape*>(b.widget);
        led->setColor(RgbColor(b.ctl->color));
        led->setAccessibleDescription(b.ctl->color == kGreen ? QStringLiteral("green") : QStringLiteral("red"));
    }
};

}  // namespace

void ControlBinder::connect(const BoundControl&, TMainForm&) const {}

const ControlBinder& BinderFor(CtlKind kind) {
    static const LabelBinder label;
    static const ButtonBinder button;
    static const EditBinder edit(false), readOnlyEdit(true);
    static const CheckBinder check;
    static const RadioBinder radio;
    static const ComboBinder combo(false), editCombo(true);
    static const GroupBinder group;
    static const ListBinder list;
    static const ShapeBinder shape;
    switch (kind) {
        case CtlKind::Label: return label;
        case CtlKind::Button: return button;
        case CtlKind::Edit: return edit;
        case CtlKind::ReadOnlyEdit: return readOnlyEdit;
        case CtlKind::Check: return check;
        case CtlKind::Radio: return radio;
        case CtlKind::Combo: return combo;
        case CtlKind::EditCombo: return editCombo;
        case CtlKind::Group: return group;
        case CtlKind::List: return list;
        case CtlKind::Shape: return shape;
    }
    return label;  // not reached: the switch names every kind
}

void PlaceControl(const ControlDesc& d, QWidget* w) {
    w->setObjectName(QLatin1String(d.name));
    w->setGeometry(d.place.x, d.place.y, d.place.w, d.place.h);
    if (d.accessible) w->setAccessibleName(QLatin1String(d.accessible));
    if (d.options & kNoFocus) w->setFocusPolicy(Qt::NoFocus);
}

QWidget* CreateControl(const ControlDesc& d, QWidget* parent) {
    QWidget* w = BinderFor(d.kind).create(d, parent);
    PlaceControl(d, w);
    return w;
}

void SyncControl(const BoundControl& b, bool force) {
    QWidget* w = b.widget;
    const QSignalBlocker blocker(w);
    b.binder->draw(b, force);
    const Ctl& c = *b.ctl;
    const QString tip = toQ(c.hint);
    if (w->toolTip() != tip) w->setToolTip(tip);
    const bool ownEnabled = !w->testAttribute(Qt::WA_ForceDisabled);
    if (force || ownEnabled != c.enabled) w->setEnabled(c.enabled);
    if (force || w->isHidden() == c.visible) w->setVisible(c.visible);
}
