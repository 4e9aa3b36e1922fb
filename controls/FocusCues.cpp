#include "FocusCues.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>

bool TFocusCues::Shown(const QWidget *widget)
{
    return widget && widget->window()->testAttribute(Qt::WA_KeyboardFocusChange);
}

bool TFocusCues::Visible(const QWidget *widget)
{
    return widget && widget->hasFocus() && Shown(widget);
}

void TFocusCues::Show(QWidget *widget)
{
    if (!widget || Shown(widget))
        return;
    QWidget *window = widget->window();
    window->setAttribute(Qt::WA_KeyboardFocusChange);
    if (QWidget *focus = window->focusWidget())
        focus->update();
}

void TFocusCues::Watch()
{
    static QPointer<TFocusCues> filter;
    if (filter || !qApp)
        return;
    filter = new TFocusCues(qApp);
    qApp->installEventFilter(filter);
}

bool TFocusCues::eventFilter(QObject *watched, QEvent *event)
{
    // A shortcut is seen as its override query: the key itself never
    // reaches a widget then.
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) &&
        watched->isWidgetType())
        Show(static_cast<QWidget *>(watched));
    return false;
}
