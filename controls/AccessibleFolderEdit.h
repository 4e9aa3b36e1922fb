#pragma once

#include "AccessibleControl.h"

#include <QAccessibleTextInterface>

class QLineEdit;

// The folder field as a screen reader reads it: an editable text named by
// its label, whose text, caret and selection are the field's. Qt's own
// interface for a line edit gives every character a text run of no length,
// and Orca then reads the path without its last character.
class TAccessibleFolderEdit : public TAccessibleControl, public QAccessibleTextInterface
{
public:
    explicit TAccessibleFolderEdit(QLineEdit *edit);

    void *interface_cast(QAccessible::InterfaceType t) override;
    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;

    void selection(int selectionIndex, int *startOffset, int *endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint &point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int *startOffset, int *endOffset) const override;

private:
    QLineEdit *edit() const;
};
