#pragma once

#include "AccessibleControl.h"
#include "AccessibleValueText.h"

#include <optional>

class TTrackBar;

// A track bar as a screen reader reads it: a slider whose value is the
// number the form shows beside the thumb (16000 for "16000Hz", 320 for
// "320x240"), with the smallest and largest of those numbers as its limits;
// a value set through it moves the thumb to the position that shows the
// nearest number. The shown text itself is the slider's description, sent
// anew with every move, and its text: the Linux accessibility bus carries
// only the number of a value.
class TAccessibleTrackBar : public TAccessibleControl,
                            public QAccessibleValueInterface,
                            public TAccessibleValueText
{
public:
    explicit TAccessibleTrackBar(TTrackBar *bar);

    void *interface_cast(QAccessible::InterfaceType t) override;
    QString text(QAccessible::Text t) const override;
    using TAccessibleValueText::text;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant &value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

    // The number a shown text begins with (16000 for "16000Hz"); none for
    // a text that does not begin with one.
    static std::optional<int> LeadingNumber(const QString &shown);

protected:
    QString ValueText() const override;

private:
    TTrackBar *bar() const;
    // The number of each position from the minimum on.
    QList<int> numbers() const;
};
