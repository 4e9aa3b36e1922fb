#include "AccessibleShadowLabel.h"

#include "ShadoLbl.h"

#include <QWidget>

TAccessibleShadowLabel::TAccessibleShadowLabel(TShadowLabel *label)
    : TAccessibleControl(label, QAccessible::StaticText)
{
}

TShadowLabel *TAccessibleShadowLabel::label() const
{
    return static_cast<TShadowLabel *>(widget());
}

QString TAccessibleShadowLabel::text(QAccessible::Text t) const
{
    if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
        return CaptionText(label()->Caption());
    return TAccessibleControl::text(t);
}

QList<QPair<QAccessibleInterface *, QAccessible::Relation>>
TAccessibleShadowLabel::relations(QAccessible::Relation match) const
{
    auto related = TAccessibleControl::relations(match);
    if ((match & QAccessible::Labelled) && label()->FocusControl())
        related.append({QAccessible::queryAccessibleInterface(label()->FocusControl()),
                        QAccessible::Labelled});
    return related;
}
