#pragma once

#include <QAccessibleTextInterface>

// The text a value control shows, offered read-only through the text
// interface: no caret and no selection. Screen readers on Linux read a
// control's text where they find it ("15 fps" for a spin button), as the
// bus carries no text for a value.
class TAccessibleValueText : public QAccessibleTextInterface
{
public:
    void selection(int selectionIndex, int *startOffset, int *endOffset) const override;
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int *startOffset, int *endOffset) const override;

protected:
    ~TAccessibleValueText() = default;
    // The value as the control shows it.
    virtual QString ValueText() const = 0;
};
