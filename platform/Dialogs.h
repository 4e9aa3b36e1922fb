#pragma once

#include <QString>
#include <functional>

class QWidget;

enum class MessageKind { Plain, Error };

// Where message boxes go. Tests install a sink that records the text and shows
// nothing; without one a real modal box is shown.
using MessageSink = std::function<void(MessageKind, const QString &)>;
void SetMessageSink(MessageSink sink);

// The plain message box with one OK button.
void ShowMessage(const QString &text);
// The standard error box.
void ShowErrorBox(const QString &text);
