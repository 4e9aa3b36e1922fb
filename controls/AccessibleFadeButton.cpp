#include "AccessibleFadeButton.h"

#include "PCVFadeButton.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPointer>

namespace {
// A left click at the centre, as the mouse gives it.
void Click(QWidget *widget)
{
    const QPointF at = QRectF(widget->rect()).center();
    const QPointF global = widget->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &press);
    const QPointer<QWidget> alive(widget);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    if (alive)
        QCoreApplication::sendEvent(widget, &release);
}
} // namespace

TAccessibleFadeButton::TAccessibleFadeButton(TPCVFadeButton *button)
    : TAccessibleControl(button, QAccessible::Button)
{
}

TPCVFadeButton *TAccessibleFadeButton::button() const
{
    return static_cast<TPCVFadeButton *>(widget());
}

QString TAccessibleFadeButton::NameFor(const QString &caption, const QString &hint)
{
    for (const QChar c : caption)
        if (c.isLetterOrNumber())
            return caption;
    return HintText(hint);
}

QString TAccessibleFadeButton::text(QAccessible::Text t) const
{
    const QString name = widget()->accessibleName().isEmpty()
                             ? NameFor(button()->Caption(), widget()->toolTip())
                             : widget()->accessibleName();
    if (t == QAccessible::Name)
        return name;
    if (t == QAccessible::Description && widget()->accessibleDescription().isEmpty()) {
        // The hint describes the button unless it already names it.
        const QString hint = HintText(widget()->toolTip());
        return hint == name ? QString() : hint;
    }
    return TAccessibleControl::text(t);
}

QStringList TAccessibleFadeButton::actionNames() const
{
    return QStringList(pressAction()) + QAccessibleWidget::actionNames();
}

void TAccessibleFadeButton::doAction(const QString &actionName)
{
    if (actionName == pressAction())
        DeliverLater(widget(), Click);
    else
        QAccessibleWidget::doAction(actionName);
}
