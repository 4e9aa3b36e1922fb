#include "AccessiblePanel.h"

#include "Panel.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

namespace {
// Space pressed and released on the panel, as the keyboard gives it.
void PressSpace(QWidget *panel)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    QCoreApplication::sendEvent(panel, &press);
    const QPointer<QWidget> alive(panel);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    if (alive)
        QCoreApplication::sendEvent(panel, &release);
}
} // namespace

TAccessiblePanel::TAccessiblePanel(TPanel *panel) : TAccessibleControl(panel, QAccessible::Pane) {}

TPanel *TAccessiblePanel::panel() const
{
    return static_cast<TPanel *>(widget());
}

QAccessible::Role TAccessiblePanel::role() const
{
    return panel()->Caption().isEmpty() ? QAccessible::Pane : QAccessible::Button;
}

QString TAccessiblePanel::text(QAccessible::Text t) const
{
    if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
        return panel()->Caption();
    return TAccessibleControl::text(t);
}

QStringList TAccessiblePanel::actionNames() const
{
    const QStringList own = TAccessibleControl::actionNames();
    return role() == QAccessible::Button ? QStringList(pressAction()) + own : own;
}

void TAccessiblePanel::doAction(const QString &actionName)
{
    if (actionName == pressAction() && role() == QAccessible::Button)
        DeliverLater(widget(), PressSpace);
    else
        TAccessibleControl::doAction(actionName);
}
