#include "Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <algorithm>

namespace {
MessageSink &sink()
{
    static MessageSink s;
    return s;
}

DetailedMessageSink &detailedSink()
{
    static DetailedMessageSink s;
    return s;
}

FileDialogSink &fileDialogSink()
{
    static FileDialogSink s;
    return s;
}

void show(MessageKind kind, const QString &text, const QString &details = QString())
{
    if (detailedSink()) {
        detailedSink()(kind, text, details);
        return;
    }
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
    // A box that comes while the user is elsewhere has no owner to stay above;
    // it must still not open behind a window of ours that stays on top (the
    // progress window at the end of a batch), which would hide its buttons.
    const QWidgetList windows = QApplication::topLevelWidgets();
    if (std::any_of(windows.begin(), windows.end(), [](const QWidget *w) {
            return w->isVisible() && w->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        }))
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
    if (!details.isEmpty())
        box.setDetailedText(details);
    box.exec();
}
} // namespace

void SetMessageSink(MessageSink s)
{
    sink() = std::move(s);
}

void SetDetailedMessageSink(DetailedMessageSink s)
{
    detailedSink() = std::move(s);
}

void ShowMessage(const QString &text)
{
    show(MessageKind::Plain, text);
}

void ShowMessageWithDetails(const QString &text, const QString &details)
{
    show(MessageKind::Plain, text, details);
}

void ShowErrorBox(const QString &text)
{
    show(MessageKind::Error, text);
}

void SetFileDialogSink(FileDialogSink s)
{
    fileDialogSink() = std::move(s);
}

QStringList ChooseSources(FileDialogKind kind)
{
    if (fileDialogSink())
        return fileDialogSink()(kind);
    // The next dialog opens where the last choice was made.
    static QString lastFolder;
    QWidget *owner = QApplication::activeWindow();
    QStringList chosen;
    if (kind == FileDialogKind::Files) {
        chosen = QFileDialog::getOpenFileNames(owner, QStringLiteral("ファイルを追加"), lastFolder);
        if (!chosen.isEmpty())
            lastFolder = QFileInfo(chosen.first()).absolutePath();
    } else {
        const QString folder =
            QFileDialog::getExistingDirectory(owner, QStringLiteral("フォルダを追加"), lastFolder);
        if (!folder.isEmpty()) {
            chosen << folder;
            lastFolder = folder;
        }
    }
    return chosen;
}
