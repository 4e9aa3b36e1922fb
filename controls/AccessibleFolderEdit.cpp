#include "AccessibleFolderEdit.h"

#include <QLineEdit>

TAccessibleFolderEdit::TAccessibleFolderEdit(QLineEdit *edit)
    : TAccessibleControl(edit, QAccessible::EditableText)
{
}

QLineEdit *TAccessibleFolderEdit::edit() const
{
    return static_cast<QLineEdit *>(widget());
}

void *TAccessibleFolderEdit::interface_cast(QAccessible::InterfaceType t)
{
    if (t == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    return QAccessibleWidget::interface_cast(t);
}

QString TAccessibleFolderEdit::text(QAccessible::Text t) const
{
    if (t == QAccessible::Value)
        return edit()->text();
    return TAccessibleControl::text(t);
}

QAccessible::State TAccessibleFolderEdit::state() const
{
    QAccessible::State s = TAccessibleControl::state();
    s.editable = !edit()->isReadOnly();
    s.readOnly = edit()->isReadOnly();
    s.selectableText = true;
    return s;
}

void TAccessibleFolderEdit::selection(int selectionIndex, int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = 0;
    if (selectionIndex != 0 || !edit()->hasSelectedText())
        return;
    *startOffset = edit()->selectionStart();
    *endOffset = edit()->selectionEnd();
}

int TAccessibleFolderEdit::selectionCount() const
{
    return edit()->hasSelectedText() ? 1 : 0;
}

void TAccessibleFolderEdit::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void TAccessibleFolderEdit::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0)
        edit()->deselect();
}

void TAccessibleFolderEdit::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex == 0)
        edit()->setSelection(startOffset, endOffset - startOffset);
}

int TAccessibleFolderEdit::cursorPosition() const
{
    return edit()->cursorPosition();
}

void TAccessibleFolderEdit::setCursorPosition(int position)
{
    edit()->setCursorPosition(position);
}

QString TAccessibleFolderEdit::text(int startOffset, int endOffset) const
{
    const QString all = edit()->text();
    if (endOffset < 0 || endOffset > all.size())
        endOffset = int(all.size());
    return startOffset < 0 ? QString() : all.mid(startOffset, endOffset - startOffset);
}

int TAccessibleFolderEdit::characterCount() const
{
    return int(edit()->text().size());
}

QRect TAccessibleFolderEdit::characterRect(int) const
{
    return {};
}

int TAccessibleFolderEdit::offsetAtPoint(const QPoint &point) const
{
    return edit()->cursorPositionAt(edit()->mapFromGlobal(point));
}

void TAccessibleFolderEdit::scrollToSubstring(int startIndex, int)
{
    edit()->setCursorPosition(startIndex);
}

QString TAccessibleFolderEdit::attributes(int, int *startOffset, int *endOffset) const
{
    // One run: the field has one font and colour throughout.
    *startOffset = 0;
    *endOffset = characterCount();
    return {};
}
