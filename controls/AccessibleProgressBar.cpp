#include "AccessibleProgressBar.h"

#include "dxfProgressBar.h"

TAccessibleProgressBar::TAccessibleProgressBar(TdxfProgressBar *bar)
    : TAccessibleControl(bar, QAccessible::ProgressBar)
{
}

TdxfProgressBar *TAccessibleProgressBar::bar() const
{
    return static_cast<TdxfProgressBar *>(widget());
}

void *TAccessibleProgressBar::interface_cast(QAccessible::InterfaceType t)
{
    if (t == QAccessible::ValueInterface)
        return static_cast<QAccessibleValueInterface *>(this);
    return QAccessibleWidget::interface_cast(t);
}

QString TAccessibleProgressBar::text(QAccessible::Text t) const
{
    if (t == QAccessible::Value)
        return bar()->Text();
    return TAccessibleControl::text(t);
}

QVariant TAccessibleProgressBar::currentValue() const
{
    return bar()->Position();
}

QVariant TAccessibleProgressBar::maximumValue() const
{
    return bar()->Max();
}

QVariant TAccessibleProgressBar::minimumValue() const
{
    return bar()->Min();
}
