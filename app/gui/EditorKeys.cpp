#include "app/gui/EditorKeys.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>

#include "app/MainState.h"
#include "app/gui/MainForm.h"
#include "app/gui/StatusLine.h"
#include "app/EditHistory.h"
#include "app/StatusForms.h"
#include "modules/StatusWindows.h"
#include "program/Undo.h"

namespace {

struct KeyButton {
    int key;
    Qt::KeyboardModifiers mods;
    const char* button;
};

// Keys that stand for a button wherever the focus is in the main window.
const KeyButton kWindowKeys[] = {
    {Qt::Key_O, Qt::ControlModifier, "OpenButton"},
    {Qt::Key_S, Qt::ControlModifier, "SaveButton"},
    {Qt::Key_L, Qt::ControlModifier, "DownloadButton"},
    {Qt::Key_F5, Qt::NoModifier, "RunButton"},
    {Qt::Key_F5, Qt::ShiftModifier, "StopButton"},
    {Qt::Key_F10, Qt::NoModifier, "StepButton"},
    {Qt::Key_F9, Qt::NoModifier, "BreakButton"},
    {Qt::Key_F1, Qt::NoModifier, "HelpButton"},
};

// Keys that stand for a button while the listing has the focus.
const KeyButton kListingKeys[] = {
    {Qt::Key_X, Qt::ControlModifier, "CutButton"},
    {Qt::Key_C, Qt::ControlModifier, "CopyButton"},
    {Qt::Key_V, Qt::ControlModifier, "PasteButton"},
    {Qt::Key_Delete, Qt::NoModifier, "DeleteButton"},
};

// A field the user types text into keeps its own editing keys.
bool IsTextField(const QWidget* w) {
    if (const auto* edit = qobject_cast<const QLineEdit*>(w)) return !edit->isReadOnly();
    if (qobject_cast<const QPlainTextEdit*>(w) ||
        qobject_cast<const QTextEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w))
        return true;
    const auto* combo = qobject_cast<const QComboBox*>(w);
    return combo && combo->isEditable();
}

bool Within(const QWidget* w, const QWidget* area) { return area && (w == area || area->isAncestorOf(w)); }

}  // namespace

EditorKeys::EditorKeys(TMainForm& main) : QObject(&main), main_(main) { qApp->installEventFilter(this); }

bool EditorKeys::press(const char* name) {
    auto* button = main_.findChild<QPushButton*>(QLatin1String(name));
    // As the mouse could: only an enabled, shown button.
    if (button && button->isEnabled() && button->isVisibleTo(&main_)) button->click();
    return true;
}

bool EditorKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
    auto* target = static_cast<QWidget*>(watched);
    if (target->window() != &main_ || main_.closed()) return false;
    return handle(target, static_cast<QKeyEvent*>(event));
}

bool EditorKeys::handle(QWidget* target, QKeyEvent* key) {
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    const int k = key->key();
    for (const KeyButton& kb : kWindowKeys)
        if (k == kb.key && mods == kb.mods) return press(kb.button);
    if (QAction* entry = StatusMenuActionForKey(main_, QKeyCombination(mods, Qt::Key(k)))) {
        entry->trigger();  // does nothing while the entry is disabled
        return true;
    }

    const bool text = IsTextField(target);
    const bool undo = k == Qt::Key_Z && mods == Qt::ControlModifier;
    const bool redo = (k == Qt::Key_Z && mods == (Qt::ControlModifier | Qt::ShiftModifier)) ||
                      (k == Qt::Key_Y && mods == Qt::ControlModifier);
    if ((undo || redo) && !text) {
        main_.run([this, undo](MainState& s) {
            if (undo)
                main_.history().Undo(s);
            else
                main_.history().Redo(s);
        });
        return true;
    }

    const QWidget* listing = main_.findChild<QWidget*>(QStringLiteral("ProgramListBox"));
    if (Within(target, listing))
        for (const KeyButton& kb : kListingKeys)
            if (k == kb.key && mods == kb.mods) return press(kb.button);

    auto* modules = main_.findChild<QListWidget*>(QStringLiteral("ModuleListBox"));
    if (Within(target, modules)) {
        const bool open = (k == Qt::Key_Return || k == Qt::Key_Enter || k == Qt::Key_Space) && mods == Qt::NoModifier;
        if (open) {
            if (modules->currentRow() >= 0) main_.run(ModuleListBoxDblClick);
            return true;
        }
        if (k == Qt::Key_F10 && mods == Qt::ShiftModifier) {
            // As the Menu key: the menu opens at the current module.
            QListWidgetItem* item = modules->currentItem();
            const QPoint at = item ? modules->visualItemRect(item).center() : QPoint(4, 4);
            const QPoint pos = modules->viewport()->mapTo(modules, at);
            QContextMenuEvent menu(QContextMenuEvent::Keyboard, pos, modules->mapToGlobal(pos));
            QApplication::sendEvent(modules, &menu);
            return true;
        }
    }
    return false;
}
