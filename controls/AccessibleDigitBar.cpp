#include "AccessibleDigitBar.h"

#include "AccessibleFactory.h"
#include "DigitBar.h"

TAccessibleDigitBar::TAccessibleDigitBar(TDigitBar *bar)
    : TAccessibleControl(bar, QAccessible::SpinBox)
{
}

TDigitBar *TAccessibleDigitBar::bar() const
{
    return static_cast<TDigitBar *>(widget());
}

void *TAccessibleDigitBar::interface_cast(QAccessible::InterfaceType t)
{
    if (t == QAccessible::ValueInterface)
        return static_cast<QAccessibleValueInterface *>(this);
    return QAccessibleWidget::interface_cast(t);
}

QString TAccessibleDigitBar::text(QAccessible::Text t) const
{
    if (t == QAccessible::Value)
        return bar()->PositionToStr(TDigitBar::ptsPosition);
    return TAccessibleControl::text(t);
}

QVariant TAccessibleDigitBar::currentValue() const
{
    return bar()->Position();
}

void TAccessibleDigitBar::setCurrentValue(const QVariant &value)
{
    if (const std::optional<int> position =
            AccessibleValueInRange(value, bar()->Min(), bar()->Max()))
        bar()->SetPosition(*position);
}

QVariant TAccessibleDigitBar::maximumValue() const
{
    return bar()->Max();
}

QVariant TAccessibleDigitBar::minimumValue() const
{
    return bar()->Min();
}

QVariant TAccessibleDigitBar::minimumStepSize() const
{
    return bar()->Increment();
}
