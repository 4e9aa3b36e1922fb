#pragma once

#include <QString>
#include <QStringList>

// A private-profile (INI) file: "[section]" lines and "key=value" lines.
// Section and key names compare without regard to case, blanks around keys
// and values are ignored, and a value in matching double quotes loses them.
// Every write replaces the file atomically and leaves all other lines exactly
// as they were; the first write creates the file and the section.
class TIniFile
{
public:
    explicit TIniFile(const QString &fileName);

    const QString &FileName() const { return m_fileName; }

    QString ReadString(const QString &section, const QString &key, const QString &fallback) const;
    // Integers: "0x"/"0X" followed by hexadecimal digits, or the strict conversion.
    int ReadInteger(const QString &section, const QString &key, int fallback) const;
    bool ReadBool(const QString &section, const QString &key, bool fallback) const;

    // A value keeps only its first line and reads back as written (one with
    // blanks at an end or in enclosing quotes is stored in quotes).
    // Raise EIniFileException ("%s に書き込めません") when the file cannot be written.
    void WriteString(const QString &section, const QString &key, const QString &value);
    void WriteInteger(const QString &section, const QString &key, int value);
    void WriteBool(const QString &section, const QString &key, bool value);

    // Writes are durable on their own; kept for the callers that flush.
    void UpdateFile() {}

private:
    QStringList readLines(QString *lineEnd) const;

    QString m_fileName;
};
