#include "Dialogs.h"

#include <QApplication>
#include <QMessageBox>

namespace {
MessageSink &sink()
{
    static MessageSink s;
    return s;
}

void show(MessageKind kind, const QString &text)
{
    if (sink()) {
        sink()(kind, text);
        return;
    }
    const QString title = QApplication::applicationDisplayName();
    QWidget *parent = QApplication::activeWindow();
    if (kind == MessageKind::Error)
        QMessageBox::critical(parent, title, text);
    else
        QMessageBox::information(parent, title, text);
}
} // namespace

void SetMessageSink(MessageSink s)
{
    sink() = std::move(s);
}

void ShowMessage(const QString &text)
{
    show(MessageKind::Plain, text);
}

void ShowErrorBox(const QString &text)
{
    show(MessageKind::Error, text);
}
