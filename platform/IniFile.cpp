#include "IniFile.h"

#include "Errors.h"
#include "StrConv.h"
#include "TextFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace {
// Longest value text the reader hands back.
constexpr int MaxValueLength = 2047;

bool sectionName(const QString &line, QString &name)
{
    const QString t = line.trimmed();
    if (!t.startsWith(QLatin1Char('[')))
        return false;
    const int close = t.indexOf(QLatin1Char(']'));
    if (close < 0)
        return false;
    name = t.mid(1, close - 1).trimmed();
    return true;
}

bool keyValue(const QString &line, QString &key, QString &value)
{
    const QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(QLatin1Char(';')))
        return false;
    const int eq = t.indexOf(QLatin1Char('='));
    if (eq < 0)
        return false;
    key = t.left(eq).trimmed();
    value = t.mid(eq + 1).trimmed();
    return true;
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}
} // namespace

TIniFile::TIniFile(const QString &fileName) : m_fileName(fileName) {}

QStringList TIniFile::readLines(QString *lineEnd) const
{
    QFile file(m_fileName);
    if (QFileInfo(m_fileName).isDir() || !file.open(QIODevice::ReadOnly))
        return {};
    const QString text = DecodeText(file.readAll());
    if (lineEnd)
        *lineEnd = text.contains(QLatin1String("\r\n")) ? QStringLiteral("\r\n")
                                                         : QStringLiteral("\n");
    QString normal = text;
    normal.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    normal.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = normal.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QString TIniFile::ReadString(const QString &section, const QString &key,
                             const QString &fallback) const
{
    const QStringList lines = readLines(nullptr);
    bool inSection = false;
    bool seenSection = false;
    for (const QString &line : lines) {
        QString name;
        if (sectionName(line, name)) {
            // Only the first section of a name counts, as with the Windows service.
            if (inSection)
                break;
            inSection = !seenSection && sameName(name, section);
            seenSection = seenSection || inSection;
            continue;
        }
        QString k, v;
        if (inSection && keyValue(line, k, v) && sameName(k, key)) {
            if (v.size() >= 2 && v.startsWith(QLatin1Char('"')) && v.endsWith(QLatin1Char('"')))
                v = v.mid(1, v.size() - 2);
            return v.left(MaxValueLength);
        }
    }
    return fallback;
}

int TIniFile::ReadInteger(const QString &section, const QString &key, int fallback) const
{
    const QString text = ReadString(section, key, QString());
    return text.isEmpty() ? fallback : IniStrToInt(text, fallback);
}

bool TIniFile::ReadBool(const QString &section, const QString &key, bool fallback) const
{
    return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString &section, const QString &key, const QString &value)
{
    QString lineEnd = QStringLiteral("\n");
    QStringList lines = readLines(&lineEnd);
    // A value is one line: a line break (legal in a folder name here) would
    // spill stray lines, even sections, into the file. Only its first line is kept.
    const qsizetype brk = value.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
    QString text = brk < 0 ? value : value.left(brk);
    // The reader drops blanks around a value and one pair of enclosing
    // quotes; such a value gets quotes of its own so that it reads back whole
    // (a folder name may end in a blank).
    if (text != text.trimmed() ||
        (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"'))))
        text = QLatin1Char('"') + text + QLatin1Char('"');
    const QString entry = key + QLatin1Char('=') + text;

    int sectionLine = -1;
    int insertAt = -1;
    bool done = false;
    for (int i = 0; i < lines.size() && !done; ++i) {
        QString name;
        if (sectionName(lines.at(i), name)) {
            if (sectionLine >= 0)
                break;
            if (sameName(name, section)) {
                sectionLine = i;
                insertAt = i + 1;
            }
            continue;
        }
        if (sectionLine < 0)
            continue;
        QString k, v;
        if (keyValue(lines.at(i), k, v) && sameName(k, key)) {
            lines[i] = entry;
            done = true;
        } else if (!lines.at(i).trimmed().isEmpty()) {
            insertAt = i + 1;
        }
    }
    if (!done) {
        if (sectionLine < 0) {
            lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
            lines.append(entry);
        } else {
            lines.insert(insertAt, entry);
        }
    }

    // A read-only settings file stays as it is, as the platform's service would refuse it.
    const QFileInfo info(m_fileName);
    const auto writeBits = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    if (info.isDir() ||
        (info.exists() && (!info.isWritable() || (info.permissions() & writeBits) == 0)))
        throw EIniFileException(m_fileName);
    QSaveFile file(m_fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw EIniFileException(m_fileName);
    const QByteArray bytes = (lines.join(lineEnd) + lineEnd).toUtf8();
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw EIniFileException(m_fileName);
}

void TIniFile::WriteInteger(const QString &section, const QString &key, int value)
{
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString &section, const QString &key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}
