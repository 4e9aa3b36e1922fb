#pragma once

#include <QImage>
#include <QString>

// Decodes a JPEG file with libjpeg. A missing, truncated, corrupt or non-JPEG
// file raises Exception with a message naming the file.
QImage LoadJpeg(const QString &path);
QImage DecodeJpeg(const QByteArray &bytes);
