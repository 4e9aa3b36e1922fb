#include "AccessibleComboBox.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>

TAccessibleComboBox::TAccessibleComboBox(QComboBox *box)
    : TAccessibleControl(box, QAccessible::ComboBox)
{
}

QComboBox *TAccessibleComboBox::box() const
{
    return static_cast<QComboBox *>(widget());
}

// The list, and the text field of a box that can be edited.
QList<QWidget *> TAccessibleComboBox::parts() const
{
    QList<QWidget *> parts{box()->view()};
    if (box()->isEditable())
        parts << box()->lineEdit();
    return parts;
}

int TAccessibleComboBox::childCount() const
{
    return int(parts().size());
}

QAccessibleInterface *TAccessibleComboBox::child(int index) const
{
    QWidget *part = parts().value(index);
    return part ? QAccessible::queryAccessibleInterface(part) : nullptr;
}

int TAccessibleComboBox::indexOfChild(const QAccessibleInterface *child) const
{
    return child ? int(parts().indexOf(qobject_cast<QWidget *>(child->object()))) : -1;
}

QString TAccessibleComboBox::text(QAccessible::Text t) const
{
    if (t == QAccessible::Name || t == QAccessible::Value ||
        (t == QAccessible::Description && widget()->accessibleDescription().isEmpty()))
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
