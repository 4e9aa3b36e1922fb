#pragma once

#include "AccessibleControl.h"

class TPanel;

// A panel as a screen reader reads it: a plain panel groups controls; one
// with a caption, such as the drop panel, stands for a button-like control
// named by its caption, pressed as Space presses it.
class TAccessiblePanel : public TAccessibleControl
{
public:
    explicit TAccessiblePanel(TPanel *panel);

    QAccessible::Role role() const override;
    QString text(QAccessible::Text t) const override;
    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;

private:
    TPanel *panel() const;
};
