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
    if (t == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    return QAccessibleWidget::interface_cast(t);
}

QString TAccessibleDigitBar::ValueText() const
{
    const QString digits = bar()->PositionToStr(TDigitBar::ptsPosition);
    const QString unit = UnitOf(LabelsOf(bar()));
    return unit.isEmpty() ? digits : digits + QLatin1Char(' ') + unit;
}

QString TAccessibleDigitBar::text(QAccessible::Text t) const
{
    if (t == QAccessible::Value)
        return ValueText();
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
