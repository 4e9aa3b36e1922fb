#include "AccessiblePanel.h"

#include <QWidget>

#include "Panel.h"

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
