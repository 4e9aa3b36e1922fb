#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

enum class MessageKind { Plain, Error };

// Where message boxes go. Tests install a sink that records the text and shows
// nothing; without one a real modal box is shown.
using MessageSink = std::function<void(MessageKind, const QString &)>;
void SetMessageSink(MessageSink sink);

// Tests that read a box's details area as well install this sink; it comes
// before the one above.
using DetailedMessageSink =
    std::function<void(MessageKind, const QString &text, const QString &details)>;
void SetDetailedMessageSink(DetailedMessageSink sink);

// The plain message box with one OK button.
void ShowMessage(const QString &text);
// The same with details, when there are any, in its details area (hidden
// until asked for, reached by the keys, read by screen readers).
void ShowMessageWithDetails(const QString &text, const QString &details);
// The standard error box.
void ShowErrorBox(const QString &text);

// The file dialogs that add sources: several files, or one folder.
enum class FileDialogKind { Files, Folder };
// What the user chose, in the dialog's order; empty when cancelled.
QStringList ChooseSources(FileDialogKind kind);
// Tests answer the dialogs instead of the user; without a sink the real
// dialog is shown, modal to the active window.
using FileDialogSink = std::function<QStringList(FileDialogKind)>;
void SetFileDialogSink(FileDialogSink sink);
