#include "AccessibleTrackBar.h"

#include "AccessibleFactory.h"
#include "TrackBar.h"

#include <algorithm>
#include <cstdlib>

TAccessibleTrackBar::TAccessibleTrackBar(TTrackBar *bar)
    : TAccessibleControl(bar, QAccessible::Slider)
{
}

TTrackBar *TAccessibleTrackBar::bar() const
{
    return static_cast<TTrackBar *>(widget());
}

QString TAccessibleTrackBar::ValueText() const
{
    return bar()->ValueText();
}

std::optional<int> TAccessibleTrackBar::LeadingNumber(const QString &shown)
{
    int digits = 0;
    while (digits < shown.size() && digits < 9 && shown[digits].isDigit())
        ++digits;
    if (digits == 0)
        return std::nullopt;
    return shown.left(digits).toInt();
}

QList<int> TAccessibleTrackBar::numbers() const
{
    QList<int> numbers;
    for (int p = bar()->minimum(); p <= bar()->maximum(); ++p)
        numbers << LeadingNumber(bar()->ValueTextAt(p)).value_or(p);
    return numbers;
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
    if (t == QAccessible::Value ||
        (t == QAccessible::Description && widget()->accessibleDescription().isEmpty()))
        return ValueText();
    return TAccessibleControl::text(t);
}

QVariant TAccessibleTrackBar::currentValue() const
{
    return numbers().value(bar()->value() - bar()->minimum());
}

void TAccessibleTrackBar::setCurrentValue(const QVariant &value)
{
    const QList<int> all = numbers();
    if (all.isEmpty())
        return;
    const auto [low, high] = std::minmax_element(all.begin(), all.end());
    const std::optional<int> wanted = AccessibleValueInRange(value, *low, *high);
    if (!wanted)
        return;
    const auto nearest = std::min_element(all.begin(), all.end(), [&](int a, int b) {
        return std::abs(a - *wanted) < std::abs(b - *wanted);
    });
    bar()->setValue(bar()->minimum() + int(nearest - all.begin()));
}

QVariant TAccessibleTrackBar::maximumValue() const
{
    const QList<int> all = numbers();
    return all.isEmpty() ? 0 : *std::max_element(all.begin(), all.end());
}

QVariant TAccessibleTrackBar::minimumValue() const
{
    const QList<int> all = numbers();
    return all.isEmpty() ? 0 : *std::min_element(all.begin(), all.end());
}

QVariant TAccessibleTrackBar::minimumStepSize() const
{
    // The positions' numbers lie at uneven distances: no step fits them all.
    return 0;
}
