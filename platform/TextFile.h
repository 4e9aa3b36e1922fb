#pragma once

#include <QByteArray>
#include <QString>

// Text as the program reads it: UTF-8 when the bytes are valid UTF-8 (a leading
// byte-order mark is dropped), otherwise CP932 (Shift-JIS as Windows writes it).
QString DecodeText(const QByteArray &bytes);
// The same, telling whether the bytes were UTF-8 (one decoding pass).
QString DecodeText(const QByteArray &bytes, bool *utf8);

// Reads a whole file's bytes; raises EFOpenError when it cannot be read
// (a folder cannot).
QByteArray ReadFileBytes(const QString &path);

// Reads a whole file and decodes it; raises EFOpenError when it cannot be read.
QString ReadTextFile(const QString &path);

// Replaces a file atomically with the UTF-8 text; false when the file cannot be written.
bool WriteTextFile(const QString &path, const QString &text);
