#include "TextFile.h"

#include "Errors.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

QString DecodeText(const QByteArray &bytes)
{
    bool utf8 = false;
    return DecodeText(bytes, &utf8);
}

QString DecodeText(const QByteArray &bytes, bool *wasUtf8)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    *wasUtf8 = !utf8.hasError();
    if (*wasUtf8)
        return text;
    QStringDecoder cp932("Windows-31J", QStringDecoder::Flag::Stateless);
    if (!cp932.isValid())
        return QString::fromLatin1(bytes);
    return cp932(bytes);
}

QByteArray ReadFileBytes(const QString &path)
{
    QFile file(path);
    // A folder opens on this platform, but it has no text.
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        throw EFOpenError(path);
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EFOpenError(path);
    return bytes;
}

QString ReadTextFile(const QString &path)
{
    return DecodeText(ReadFileBytes(path));
}

bool WriteTextFile(const QString &path, const QString &text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
