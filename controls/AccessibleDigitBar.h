#pragma once

#include "AccessibleControl.h"
#include "AccessibleValueText.h"

class TDigitBar;

// A digit bar as a screen reader reads it: a spin button named by its title,
// with its minimum, maximum and value, and the value with the unit beneath
// it as its text ("15 fps"), as a spin box with a suffix reads; a value set
// through it goes through SetPosition, within the bar's limits.
class TAccessibleDigitBar : public TAccessibleControl,
                            public QAccessibleValueInterface,
                            public TAccessibleValueText
{
public:
    explicit TAccessibleDigitBar(TDigitBar *bar);

    void *interface_cast(QAccessible::InterfaceType t) override;
    QString text(QAccessible::Text t) const override;
    using TAccessibleValueText::text;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant &value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

protected:
    QString ValueText() const override;

private:
    TDigitBar *bar() const;
};
