#pragma once

#include "AccessibleControl.h"

class TTrackBar;

// A track bar as a screen reader reads it: a slider whose value is read as
// the form shows it beside the thumb ("16000Hz", "320x240"), not as the
// position. The value text is also offered as the slider's text, the one way
// the Linux accessibility bus carries a value's text.
class TAccessibleTrackBar : public TAccessibleControl,
                            public QAccessibleValueInterface,
                            public QAccessibleTextInterface
{
public:
    explicit TAccessibleTrackBar(TTrackBar *bar);

    void *interface_cast(QAccessible::InterfaceType t) override;
    QString text(QAccessible::Text t) const override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant &value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

    // Read-only text: the value text, with no caret and no selection.
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

private:
    TTrackBar *bar() const;
    QString valueText() const;
};
