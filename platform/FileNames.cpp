#include "FileNames.h"

#include <QRandomGenerator>
#include <QStringDecoder>
#include <QStringList>

namespace {
constexpr char16_t EscapeBase = 0xDC00;

bool isEscape(char16_t c)
{
    return c >= EscapeBase + 0x80 && c <= EscapeBase + 0xFF;
}

// The length of the valid UTF-8 sequence at p (RFC 3629: no overlong forms,
// no surrogates, nothing past U+10FFFF); 0 when there is none.
int sequenceLength(const unsigned char *p, const unsigned char *end)
{
    const unsigned char b = p[0];
    if (b < 0x80)
        return 1;
    int length = 0;
    unsigned char low = 0x80, high = 0xBF; // the second byte's range
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        if (b == 0xE0)
            low = 0xA0;
        else if (b == 0xED)
            high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        if (b == 0xF0)
            low = 0x90;
        else if (b == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (end - p < length || p[1] < low || p[1] > high)
        return 0;
    for (int i = 2; i < length; ++i)
        if (p[i] < 0x80 || p[i] > 0xBF)
            return 0;
    return length;
}
} // namespace

QString DecodeFileName(const char *bytes, qsizetype size)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes);
    const auto *end = p + size;
    // Most names are valid UTF-8: one check, then Qt's fast decoder.
    bool valid = true;
    for (const unsigned char *q = p; q < end;) {
        if (*q < 0x80) {
            ++q;
            continue;
        }
        const int n = sequenceLength(q, end);
        if (n == 0) {
            valid = false;
            break;
        }
        q += n;
    }
    if (valid)
        return QString::fromUtf8(bytes, size);

    QString text;
    text.reserve(size);
    const unsigned char *run = p; // start of the valid bytes not yet decoded
    for (const unsigned char *q = p; q < end;) {
        const int n = sequenceLength(q, end);
        if (n > 0) {
            q += n;
            continue;
        }
        text += QString::fromUtf8(reinterpret_cast<const char *>(run), q - run);
        text += QChar(char16_t(EscapeBase + *q));
        run = ++q;
    }
    text += QString::fromUtf8(reinterpret_cast<const char *>(run), end - run);
    return text;
}

QString DecodeFileName(const QByteArray &bytes)
{
    return DecodeFileName(bytes.constData(), bytes.size());
}

namespace {
// An escaped byte: a low surrogate of that range that is not the second half
// of a pair (U+1F080 is D83C DC80).
bool escapeAt(const QString &name, qsizetype i)
{
    return isEscape(name.at(i).unicode()) && !(i > 0 && name.at(i - 1).isHighSurrogate());
}
} // namespace

bool HasUndecodedBytes(const QString &name)
{
    for (qsizetype i = 0; i < name.size(); ++i)
        if (escapeAt(name, i))
            return true;
    return false;
}

QByteArray EncodeFileName(const QString &name)
{
    if (!HasUndecodedBytes(name))
        return name.toUtf8();
    QByteArray bytes;
    bytes.reserve(name.size() * 3);
    qsizetype run = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (!escapeAt(name, i))
            continue;
        bytes += QStringView(name).mid(run, i - run).toUtf8();
        bytes += char(name.at(i).unicode() - EscapeBase);
        run = i + 1;
    }
    bytes += QStringView(name).mid(run).toUtf8();
    return bytes;
}

QString ReadableFileName(const QString &name)
{
    if (!HasUndecodedBytes(name))
        return name;
    QStringList parts = name.split(QLatin1Char('/'));
    for (QString &part : parts) {
        if (!HasUndecodedBytes(part))
            continue;
        const QByteArray bytes = EncodeFileName(part);
        QStringDecoder cp932("Windows-31J", QStringDecoder::Flag::Stateless);
        const QString text = cp932.isValid() ? cp932(bytes) : QString();
        part = cp932.isValid() && !cp932.hasError() ? text : QString::fromUtf8(bytes);
    }
    return parts.join(QLatin1Char('/'));
}

QByteArray RandomNameTag(int length)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray tag;
    for (int i = 0; i < length; ++i)
        tag += letters[QRandomGenerator::system()->bounded(36)];
    return tag;
}
