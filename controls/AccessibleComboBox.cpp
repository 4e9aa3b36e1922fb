#include "AccessibleComboBox.h"

#include <QAbstractItemView>
#include <QComboBox>

TAccessibleComboBox::TAccessibleComboBox(QComboBox *box)
    : TAccessibleControl(box, QAccessible::ComboBox)
{
}

QComboBox *TAccessibleComboBox::box() const
{
    return static_cast<QComboBox *>(widget());
}

int TAccessibleComboBox::childCount() const
{
    return box()->view() ? 1 : 0;
}

QAccessibleInterface *TAccessibleComboBox::child(int index) const
{
    return index == 0 && box()->view() ? QAccessible::queryAccessibleInterface(box()->view())
                                       : nullptr;
}

int TAccessibleComboBox::indexOfChild(const QAccessibleInterface *child) const
{
    return child && box()->view() && child->object() == box()->view() ? 0 : -1;
}

QString TAccessibleComboBox::text(QAccessible::Text t) const
{
    if (t == QAccessible::Name || t == QAccessible::Value)
        return box()->currentText();
    return TAccessibleControl::text(t);
}

QAccessible::State TAccessibleComboBox::state() const
{
    QAccessible::State s = TAccessibleControl::state();
    const bool open = box()->view() && box()->view()->isVisible();
    s.expandable = true;
    s.expanded = open;
    s.collapsed = !open;
    return s;
}

QStringList TAccessibleComboBox::actionNames() const
{
    return QStringList{showMenuAction(), pressAction()} + TAccessibleControl::actionNames();
}

void TAccessibleComboBox::doAction(const QString &actionName)
{
    if (actionName != showMenuAction() && actionName != pressAction()) {
        TAccessibleControl::doAction(actionName);
        return;
    }
    if (box()->view() && box()->view()->isVisible())
        box()->hidePopup();
    else
        box()->showPopup();
}
