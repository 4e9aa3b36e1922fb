#pragma once

#include <QString>

// The strict integer conversion: leading blanks, an optional sign, then decimal
// digits, or hexadecimal digits after "$", "x" or "0x". Anything else, or a
// value outside 32 bits, fails.
bool TryStrToInt(const QString &text, int &value);
// As TryStrToInt; raises EConvertError ("'%s' は整数ではありません") on failure.
int StrToInt(const QString &text);
int StrToIntDef(const QString &text, int fallback);

// How a settings file value becomes an integer: text longer than two
// characters that begins with "0x" or "0X" is hexadecimal, anything else goes
// through the strict conversion; failure gives the fallback.
int IniStrToInt(const QString &text, int fallback);
