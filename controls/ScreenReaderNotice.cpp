#include "ScreenReaderNotice.h"

TScreenReaderNotice::TScreenReaderNotice(QWidget *window) : QWidget(window)
{
    setObjectName(QStringLiteral("ScreenReaderNotice"));
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(0, 0, 0, 0);
    hide();
}

TScreenReaderNotice *TScreenReaderNotice::Of(const QWidget *window)
{
    return window ? window->findChild<TScreenReaderNotice *>(QString(), Qt::FindDirectChildrenOnly)
                  : nullptr;
}

void TScreenReaderNotice::Say(QWidget *window, const QString &text)
{
    if (!window || text.isEmpty())
        return;
    TScreenReaderNotice *notice = Of(window);
    if (!notice)
        notice = new TScreenReaderNotice(window);
    // Appearing is what is heard: a text said again appears again.
    notice->hide();
    notice->setAccessibleName(text);
    notice->show();
}
