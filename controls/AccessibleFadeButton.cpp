#include "AccessibleFadeButton.h"

#include "PCVFadeButton.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>

namespace {
// Whether a modal window other than the widget's own (or one it belongs to)
// holds the input, so that the mouse could not reach the widget.
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

// A left click at the centre, delivered once the caller has returned: a
// click may run a whole conversion, and the screen reader that asked must not
// wait for it. The events take the mouse's way through the widget, so a
// disabled widget drops them as it drops the mouse's.
void Click(QWidget *widget)
{
    QMetaObject::invokeMethod(
        widget,
        [widget] {
            if (BlockedByModal(widget))
                return;
            const QPointF at = QRectF(widget->rect()).center();
            const QPointF global = widget->mapToGlobal(at);
            QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                              Qt::NoModifier);
            QCoreApplication::sendEvent(widget, &press);
            const QPointer<QWidget> alive(widget);
            QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton,
                                Qt::NoButton, Qt::NoModifier);
            if (alive)
                QCoreApplication::sendEvent(widget, &release);
        },
        Qt::QueuedConnection);
}
} // namespace

TAccessibleFadeButton::TAccessibleFadeButton(TPCVFadeButton *button)
    : TAccessibleControl(button, QAccessible::Button)
{
}

TPCVFadeButton *TAccessibleFadeButton::button() const
{
    return static_cast<TPCVFadeButton *>(widget());
}

QString TAccessibleFadeButton::NameFor(const QString &caption, const QString &hint)
{
    for (const QChar c : caption)
        if (c.isLetterOrNumber())
            return caption;
    return HintText(hint);
}

QString TAccessibleFadeButton::text(QAccessible::Text t) const
{
    const QString name = widget()->accessibleName().isEmpty()
                             ? NameFor(button()->Caption(), widget()->toolTip())
                             : widget()->accessibleName();
    if (t == QAccessible::Name)
        return name;
    if (t == QAccessible::Description && widget()->accessibleDescription().isEmpty()) {
        // The hint describes the button unless it already names it.
        const QString hint = HintText(widget()->toolTip());
        return hint == name ? QString() : hint;
    }
    return TAccessibleControl::text(t);
}

QStringList TAccessibleFadeButton::actionNames() const
{
    return QStringList(pressAction()) + QAccessibleWidget::actionNames();
}

void TAccessibleFadeButton::doAction(const QString &actionName)
{
    if (actionName == pressAction())
        Click(widget());
    else
        QAccessibleWidget::doAction(actionName);
}
