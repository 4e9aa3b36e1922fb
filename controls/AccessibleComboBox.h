#pragma once

#include "AccessibleControl.h"

class QComboBox;

// A multi-column combo box as a screen reader reads it. As Qt's own combo
// boxes on Linux, it is named by its current text, with its list (and its
// text field, when it can be edited) as children and actions that open and
// close the list; unlike them, it is
// labelled by the shadow labels that name it, and described by its choice:
// Orca reads a combo box by its label and description, not by its name.
class TAccessibleComboBox : public TAccessibleControl
{
public:
    explicit TAccessibleComboBox(QComboBox *box);

    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;

private:
    QComboBox *box() const;
    QList<QWidget *> parts() const;
};
