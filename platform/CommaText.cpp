#include "CommaText.h"

namespace {
bool isBlank(QChar c)
{
    return c.unicode() >= 1 && c.unicode() <= 32;
}

// The text up to its first NUL.
const QChar *textEnd(const QString &text)
{
    const QChar *end = text.constData() + text.size();
    for (const QChar *q = text.constData(); q != end; ++q) {
        if (q->isNull())
            return q;
    }
    return end;
}

const QChar *skipBlanks(const QChar *p, const QChar *end)
{
    while (p != end && isBlank(*p))
        ++p;
    return p;
}

// Reads the field that starts at p into *field (skipped when null) and steps
// over what follows it up to the next field. *emptyLast is set when a comma
// ends the text, which adds one empty last field.
const QChar *readField(const QChar *p, const QChar *end, QString *field, bool *emptyLast)
{
    if (*p == QLatin1Char('"')) {
        ++p;
        while (p != end) {
            // The run up to the next quote in one piece.
            const QChar *run = p;
            while (p != end && *p != QLatin1Char('"'))
                ++p;
            if (field)
                field->append(run, p - run);
            if (p == end)
                break;
            if (p + 1 != end && p[1] == QLatin1Char('"')) {
                if (field)
                    *field += QLatin1Char('"');
                p += 2;
                continue;
            }
            ++p;
            break;
        }
    } else {
        const QChar *start = p;
        while (p != end && *p != QLatin1Char(',') && !isBlank(*p))
            ++p;
        if (field)
            *field = QString(start, p - start);
    }
    p = skipBlanks(p, end);
    if (p != end && *p == QLatin1Char(',')) {
        ++p;
        if (p == end)
            *emptyLast = true;
        p = skipBlanks(p, end);
    }
    return p;
}
} // namespace

QStringList CommaTextFields(const QString &text)
{
    QStringList fields;
    const QChar *end = textEnd(text);
    const QChar *p = skipBlanks(text.constData(), end);
    bool emptyLast = false;
    while (p != end) {
        QString field;
        p = readField(p, end, &field, &emptyLast);
        fields.append(field);
    }
    if (emptyLast)
        fields.append(QString());
    return fields;
}

QString CommaTextField(const QString &text, int index)
{
    // Only the asked-for field is built: the preset chooser reads one column
    // of every row it holds.
    if (index < 0)
        return QString();
    const QChar *end = textEnd(text);
    const QChar *p = skipBlanks(text.constData(), end);
    bool emptyLast = false;
    for (int i = 0; p != end; ++i) {
        if (i == index) {
            QString field;
            readField(p, end, &field, &emptyLast);
            return field;
        }
        p = readField(p, end, nullptr, &emptyLast);
    }
    // Past the last field (the empty one a final comma adds included).
    return QString();
}
