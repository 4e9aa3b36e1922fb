#include "CommaText.h"

namespace {
bool isBlank(QChar c)
{
    return c.unicode() >= 1 && c.unicode() <= 32;
}
} // namespace

QStringList CommaTextFields(const QString &text)
{
    QStringList fields;
    const QChar *p = text.constData();
    const QChar *end = p + text.size();
    for (const QChar *q = p; q != end; ++q) {
        if (q->isNull()) {
            end = q;
            break;
        }
    }
    while (p != end && isBlank(*p))
        ++p;
    while (p != end) {
        QString field;
        if (*p == QLatin1Char('"')) {
            ++p;
            while (p != end) {
                if (*p == QLatin1Char('"')) {
                    if (p + 1 != end && p[1] == QLatin1Char('"')) {
                        field += QLatin1Char('"');
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                field += *p++;
            }
        } else {
            const QChar *start = p;
            while (p != end && *p != QLatin1Char(',') && !isBlank(*p))
                ++p;
            field = QString(start, p - start);
        }
        fields.append(field);
        while (p != end && isBlank(*p))
            ++p;
        if (p != end && *p == QLatin1Char(',')) {
            ++p;
            if (p == end) {
                fields.append(QString());
                break;
            }
            while (p != end && isBlank(*p))
                ++p;
        }
    }
    return fields;
}

QString CommaTextField(const QString &text, int index)
{
    const QStringList fields = CommaTextFields(text);
    return index >= 0 && index < fields.size() ? fields.at(index) : QString();
}
