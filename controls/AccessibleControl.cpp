#include "AccessibleControl.h"

#include "ShadoLbl.h"

#include <QApplication>
#include <QWidget>

namespace {
// Whether a modal window other than the widget's own holds the input, so
// that the user could not reach the widget.
bool BlockedByModal(const QWidget *widget)
{
    const QWidget *modal = QApplication::activeModalWidget();
    if (!modal)
        return false;
    for (const QWidget *w = widget; w; w = w->parentWidget())
        if (w == modal)
            return false;
    return true;
}
} // namespace

TAccessibleControl::TAccessibleControl(QWidget *widget, QAccessible::Role role)
    : QAccessibleWidget(widget, role)
{
}

QString TAccessibleControl::text(QAccessible::Text t) const
{
    if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
        const QList<TShadowLabel *> labels = LabelsOf(widget());
        if (!labels.isEmpty())
            return LabelledName(labels);
    }
    if (t == QAccessible::Description && widget()->accessibleDescription().isEmpty())
        return HintText(widget()->toolTip());
    return QAccessibleWidget::text(t);
}

QList<QPair<QAccessibleInterface *, QAccessible::Relation>>
TAccessibleControl::relations(QAccessible::Relation match) const
{
    auto related = QAccessibleWidget::relations(match);
    if (match & QAccessible::Label)
        for (TShadowLabel *label : LabelsOf(widget()))
            related.append({QAccessible::queryAccessibleInterface(label), QAccessible::Label});
    return related;
}

QList<TShadowLabel *> TAccessibleControl::LabelsOf(const QWidget *control)
{
    QList<TShadowLabel *> labels;
    if (const QWidget *parent = control->parentWidget())
        for (TShadowLabel *label : parent->findChildren<TShadowLabel *>(Qt::FindDirectChildrenOnly))
            if (label->FocusControl() == control)
                labels << label;
    return labels;
}

QString TAccessibleControl::CaptionText(const QString &caption)
{
    return caption.endsWith(QLatin1Char('-')) ? caption.chopped(1) : caption;
}

bool TAccessibleControl::IsUnit(const QString &caption)
{
    return caption.size() > 2 && caption.startsWith(QLatin1Char('(')) &&
           caption.endsWith(QLatin1Char(')'));
}

QString TAccessibleControl::LabelledName(const QList<TShadowLabel *> &labels)
{
    QStringList parts;
    for (const TShadowLabel *label : labels)
        if (!IsUnit(label->Caption()))
            parts << CaptionText(label->Caption());
    return parts.join(QLatin1Char(' '));
}

QString TAccessibleControl::UnitOf(const QList<TShadowLabel *> &labels)
{
    for (const TShadowLabel *label : labels)
        if (IsUnit(label->Caption()))
            return label->Caption().mid(1, label->Caption().size() - 2);
    return {};
}

QString TAccessibleControl::HintText(const QString &hint)
{
    return hint.startsWith(QLatin1Char(' ')) ? hint.mid(1) : hint;
}

void TAccessibleControl::DeliverLater(QWidget *widget, void (*deliver)(QWidget *))
{
    QMetaObject::invokeMethod(
        widget,
        [widget, deliver] {
            if (!BlockedByModal(widget))
                deliver(widget);
        },
        Qt::QueuedConnection);
}
