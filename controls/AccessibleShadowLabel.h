#pragma once

#include "AccessibleControl.h"

class TShadowLabel;

// A shadow label as a screen reader reads it: static text, its caption
// (without the dash that leads over to its control), labelling the control
// it names.
class TAccessibleShadowLabel : public TAccessibleControl
{
public:
    explicit TAccessibleShadowLabel(TShadowLabel *label);

    QString text(QAccessible::Text t) const override;
    QList<QPair<QAccessibleInterface *, QAccessible::Relation>>
    relations(QAccessible::Relation match = QAccessible::AllRelations) const override;

private:
    TShadowLabel *label() const;
};
