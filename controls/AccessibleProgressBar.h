#pragma once

#include "AccessibleControl.h"

class TdxfProgressBar;

// A gradient progress bar as a screen reader reads it: a progress bar with
// its minimum, maximum and position, read as the text it shows ("50 %").
// Only the program moves it.
class TAccessibleProgressBar : public TAccessibleControl, public QAccessibleValueInterface
{
public:
    explicit TAccessibleProgressBar(TdxfProgressBar *bar);

    void *interface_cast(QAccessible::InterfaceType t) override;
    QString text(QAccessible::Text t) const override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant &) override {}
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override { return 0; }

private:
    TdxfProgressBar *bar() const;
};
