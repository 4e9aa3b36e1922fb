#include "AccessibleTrackBar.h"

#include "AccessibleFactory.h"
#include "TrackBar.h"

TAccessibleTrackBar::TAccessibleTrackBar(TTrackBar *bar)
    : TAccessibleControl(bar, QAccessible::Slider)
{
}

TTrackBar *TAccessibleTrackBar::bar() const
{
    return static_cast<TTrackBar *>(widget());
}

QString TAccessibleTrackBar::valueText() const
{
    return bar()->ValueText();
}

void *TAccessibleTrackBar::interface_cast(QAccessible::InterfaceType t)
{
    if (t == QAccessible::ValueInterface)
        return static_cast<QAccessibleValueInterface *>(this);
    if (t == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    return QAccessibleWidget::interface_cast(t);
}

QString TAccessibleTrackBar::text(QAccessible::Text t) const
{
    if (t == QAccessible::Value)
        return valueText();
    return TAccessibleControl::text(t);
}

QVariant TAccessibleTrackBar::currentValue() const
{
    return bar()->value();
}

void TAccessibleTrackBar::setCurrentValue(const QVariant &value)
{
    if (const std::optional<int> v =
            AccessibleValueInRange(value, bar()->minimum(), bar()->maximum()))
        bar()->setValue(*v);
}

QVariant TAccessibleTrackBar::maximumValue() const
{
    return bar()->maximum();
}

QVariant TAccessibleTrackBar::minimumValue() const
{
    return bar()->minimum();
}

QVariant TAccessibleTrackBar::minimumStepSize() const
{
    return bar()->singleStep();
}

void TAccessibleTrackBar::selection(int, int *startOffset, int *endOffset) const
{
    *startOffset = 0;
    *endOffset = 0;
}

QString TAccessibleTrackBar::text(int startOffset, int endOffset) const
{
    return valueText().mid(startOffset, endOffset - startOffset);
}

int TAccessibleTrackBar::characterCount() const
{
    return int(valueText().size());
}

QString TAccessibleTrackBar::attributes(int, int *startOffset, int *endOffset) const
{
    *startOffset = 0;
    *endOffset = characterCount();
    return {};
}
