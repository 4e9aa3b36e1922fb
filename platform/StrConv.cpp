#include "StrConv.h"

#include "Errors.h"

bool TryStrToInt(const QString &text, int &value)
{
    int i = 0;
    const int n = text.size();
    while (i < n && text.at(i) == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    bool hex = false;
    if (i < n && text.at(i) == QLatin1Char('$')) {
        hex = true;
        ++i;
    } else if (i < n && (text.at(i) == QLatin1Char('x') || text.at(i) == QLatin1Char('X'))) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text.at(i) == QLatin1Char('0') &&
               (text.at(i + 1) == QLatin1Char('x') || text.at(i + 1) == QLatin1Char('X'))) {
        hex = true;
        i += 2;
    }
    if (i == n)
        return false;
    quint64 acc = 0;
    // Hexadecimal covers the whole 32-bit pattern ($FFFFFFFF is -1); decimal
    // must fit a signed 32-bit value.
    const quint64 limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    for (; i < n; ++i) {
        const char16_t c = text.at(i).unicode();
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (hex && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (hex && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            return false;
        acc = acc * (hex ? 16 : 10) + digit;
        if (acc > limit)
            return false;
    }
    const qint64 signedValue = hex ? qint64(qint32(quint32(acc))) : qint64(acc);
    value = int(negative ? -signedValue : signedValue);
    return true;
}

int StrToInt(const QString &text)
{
    int value = 0;
    if (!TryStrToInt(text, value))
        throw EConvertError::notInteger(text);
    return value;
}

int StrToIntDef(const QString &text, int fallback)
{
    int value = 0;
    return TryStrToInt(text, value) ? value : fallback;
}

int IniStrToInt(const QString &text, int fallback)
{
    if (text.size() > 2 && text.at(0) == QLatin1Char('0') &&
        (text.at(1) == QLatin1Char('x') || text.at(1) == QLatin1Char('X')))
        return StrToIntDef(QLatin1Char('$') + text.mid(2), fallback);
    return StrToIntDef(text, fallback);
}
