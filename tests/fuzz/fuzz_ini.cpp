// Any settings file: reading gives values or defaults; a written value (its
// first line) reads back the same, blanks and quotes included, and the keys
// not written keep their values.
#include "Errors.h"
#include "IniFile.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/Pocketclips.ini");
    if (size < 1)
        return 0;
    // The first byte's low bits give the length of the value written, its
    // next bit how the value is decoded; the rest is the file.
    const size_t valueLength = data[0] % 32;
    if (size < 1 + valueLength)
        return 0;
    const char *const valueBytes = reinterpret_cast<const char *>(data + 1);
    QString value = data[0] & 32 ? QString::fromUtf8(valueBytes, int(valueLength))
                                 : QString::fromLatin1(valueBytes, int(valueLength));
    value.remove(QChar(0)); // no path holds one
    // A value keeps its first line only.
    const qsizetype brk = value.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
    const QString expected = brk < 0 ? value : value.left(brk);
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            std::abort();
        f.write(reinterpret_cast<const char *>(data + 1 + valueLength),
                qint64(size - 1 - valueLength));
    }
    TIniFile ini(path);
    ini.ReadInteger(QStringLiteral("SET"), QStringLiteral("M_LEFT"), 21);
    ini.ReadString(QStringLiteral("SET2"), QStringLiteral("C11"), QString());
    // Keys that are not written read the same before and after.
    const QString left =
        ini.ReadString(QStringLiteral("SET"), QStringLiteral("M_LEFT"), QStringLiteral("?"));
    const QString other =
        ini.ReadString(QStringLiteral("SET2"), QStringLiteral("C12"), QStringLiteral("?"));
    try {
        ini.WriteString(QStringLiteral("SET2"), QStringLiteral("C11"), value);
        ini.WriteInteger(QStringLiteral("SET1"), QStringLiteral("C1"), 42);
    } catch (const EIniFileException &) {
        std::abort(); // the temporary folder is writable
    }
    if (ini.ReadString(QStringLiteral("SET2"), QStringLiteral("C11"), QStringLiteral("?")) !=
        expected)
        std::abort();
    if (ini.ReadInteger(QStringLiteral("SET1"), QStringLiteral("C1"), 0) != 42)
        std::abort();
    if (ini.ReadString(QStringLiteral("SET"), QStringLiteral("M_LEFT"), QStringLiteral("?")) !=
            left ||
        ini.ReadString(QStringLiteral("SET2"), QStringLiteral("C12"), QStringLiteral("?")) != other)
        std::abort();
    return 0;
}
