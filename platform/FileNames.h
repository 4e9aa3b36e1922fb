#pragma once

#include <QByteArray>
#include <QString>

// File names are bytes to the system and text inside the program. The text
// keeps every name: valid UTF-8 is decoded as such, and each byte of a
// sequence that is not UTF-8 (a Latin-1 "café", a Shift-JIS name a Windows
// archive left behind) becomes the lone surrogate U+DC00 + byte, which
// EncodeFileName turns back into that very byte. Every path that goes to or
// comes from the system passes through these two.
QString DecodeFileName(const char *bytes, qsizetype size);
QString DecodeFileName(const QByteArray &bytes);
QByteArray EncodeFileName(const QString &name);

// Letters and digits from the system's random source, for a file name no
// other file has.
QByteArray RandomNameTag(int length);

// True when the text holds a byte that is not UTF-8 (see above).
bool HasUndecodedBytes(const QString &name);

// A name as the user is shown it: each part of a path that is not UTF-8 in
// CP932 when the whole part reads as CP932, else with U+FFFD for the bytes
// that are no text. A name that is valid UTF-8 stays as it is.
QString ReadableFileName(const QString &name);
