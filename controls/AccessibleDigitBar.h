#pragma once

#include "AccessibleControl.h"

class TDigitBar;

// A digit bar as a screen reader reads it: a spin button with its minimum,
// maximum and value; a value set through it goes through SetPosition, within
// the bar's limits.
class TAccessibleDigitBar : public TAccessibleControl, public QAccessibleValueInterface
{
public:
    explicit TAccessibleDigitBar(TDigitBar *bar);

    void *interface_cast(QAccessible::InterfaceType t) override;
    QString text(QAccessible::Text t) const override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant &value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

private:
    TDigitBar *bar() const;
};
