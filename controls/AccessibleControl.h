#pragma once

#include <QAccessibleWidget>

class TShadowLabel;

// What the accessible classes of the custom controls share: a control is
// named by the shadow labels beside it that name it (their FocusControl), and
// described by its hint, read without the blank every hint begins with.
class TAccessibleControl : public QAccessibleWidget
{
public:
    TAccessibleControl(QWidget *widget, QAccessible::Role role);

    QString text(QAccessible::Text t) const override;
    QList<QPair<QAccessibleInterface *, QAccessible::Relation>>
    relations(QAccessible::Relation match = QAccessible::AllRelations) const override;

    // The shadow labels beside a control that name it, in the window's order.
    static QList<TShadowLabel *> LabelsOf(const QWidget *control);
    // The name labels give: their captions joined by a blank, each without
    // the dash that leads over to the control ("保存先-" names "保存先");
    // a unit in brackets ("(fps)") is no part of the name but of the value.
    static QString LabelledName(const QList<TShadowLabel *> &labels);
    // A caption as read: without the dash that leads over to its control.
    static QString CaptionText(const QString &caption);
    // The unit the labels give, without its brackets ("fps"); empty for none.
    static QString UnitOf(const QList<TShadowLabel *> &labels);
    static bool IsUnit(const QString &caption);
    // A hint as read out.
    static QString HintText(const QString &hint);

protected:
    // Delivers input to the widget (a click, a key) once the caller has
    // returned: what it starts may run a whole conversion, and the screen
    // reader that asked must not wait for it. As for the user's own input,
    // nothing is delivered while another window holds the input modally;
    // a disabled widget drops the events itself.
    static void DeliverLater(QWidget *widget, void (*deliver)(QWidget *));
};
