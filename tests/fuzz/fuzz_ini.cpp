// Any settings file: reading gives values or defaults; a written value reads
// back the same and lines of other sections stay as they were.
#include "Errors.h"
#include "IniFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/Pocketclips.ini");
    if (size < 1)
        return 0;
    // The first byte's low bits choose the value written; the rest is the file.
    const size_t valueLength = data[0] % 32;
    if (size < 1 + valueLength)
        return 0;
    QString value = QString::fromLatin1(reinterpret_cast<const char *>(data + 1), int(valueLength));
    value.remove(QLatin1Char('\r'));
    value.remove(QLatin1Char('\n'));
    value.remove(QChar(0));
    value = value.trimmed();
    if (value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        value.chop(1);
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
    try {
        ini.WriteString(QStringLiteral("SET2"), QStringLiteral("C11"), value);
        ini.WriteInteger(QStringLiteral("SET1"), QStringLiteral("C1"), 42);
    } catch (const EIniFileException &) {
        std::abort(); // the temporary folder is writable
    }
    if (ini.ReadString(QStringLiteral("SET2"), QStringLiteral("C11"), QStringLiteral("?")) != value)
        std::abort();
    if (ini.ReadInteger(QStringLiteral("SET1"), QStringLiteral("C1"), 0) != 42)
        std::abort();
    return 0;
}
