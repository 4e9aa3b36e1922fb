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
    // The plain box is the text and one OK, nothing more; only the error box
    // carries an icon.
    const QMessageBox::Icon icon =
        kind == MessageKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon;
    QMessageBox box(icon, QApplication::applicationDisplayName(), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
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
