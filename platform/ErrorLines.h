#pragma once

#include <QByteArray>
#include <QStringList>

// The last lines of a program's error output as a person can read them: a
// line that a carriage return overwrote (a progress line) is what a terminal
// would show in the end, lines that are not text (binary, control
// characters) are left out, text that is not UTF-8 is read as CP932, and
// each line is cut to maxChars. At most maxLines, in their order.
QStringList ReadableErrorLines(const QByteArray &output, int maxLines = 3, int maxChars = 160);
