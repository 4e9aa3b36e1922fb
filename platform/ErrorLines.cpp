#include "ErrorLines.h"

#include "TextFile.h"

namespace {
// Binary data (a program writing a frame to its error output) rather than
// a line of text: a zero byte, or many control characters.
bool isBinary(const QByteArray &line)
{
    int control = 0;
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0)
            return true;
        if ((byte < 0x20 && byte != '\t' && byte != 0x1b) || byte == 0x7f)
            ++control;
    }
    return control * 20 > line.size();
}

// Terminal colours and cursor moves ("\e[0;33m") are no text.
QByteArray withoutEscapes(const QByteArray &line)
{
    QByteArray out;
    out.reserve(line.size());
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] != 0x1b) {
            out += line[i];
            continue;
        }
        if (i + 1 < line.size() && line[i + 1] == '[') {
            i += 2;
            while (i < line.size() && !(line[i] >= 0x40 && line[i] <= 0x7e))
                ++i;
        }
    }
    return out;
}

QString readable(const QByteArray &line, int maxChars)
{
    const QString text = DecodeText(withoutEscapes(line));
    QString out;
    for (const QChar c : text) {
        if (c == QLatin1Char('\t'))
            out += QLatin1Char(' ');
        else if (c.isPrint() && c != QChar::ReplacementCharacter)
            out += c;
    }
    out = out.trimmed();
    if (out.size() > maxChars) {
        out.truncate(maxChars - 1);
        // Never half of a surrogate pair.
        if (!out.isEmpty() && out.back().isHighSurrogate())
            out.chop(1);
        out += QChar(0x2026);
    }
    return out;
}
} // namespace

QStringList ReadableErrorLines(const QByteArray &output, int maxLines, int maxChars)
{
    QStringList lines;
    qsizetype end = output.size();
    // From the end backwards: only the last few lines are wanted, of an
    // output that may be large.
    while (end > 0 && lines.size() < maxLines) {
        const qsizetype start = output.lastIndexOf('\n', end - 1) + 1;
        QByteArray line = output.mid(start, end - start);
        end = start - 1;
        while (line.endsWith('\r'))
            line.chop(1);
        // What a terminal shows of "frame=1\rframe=2": the last part.
        line = line.mid(line.lastIndexOf('\r') + 1);
        if (line.isEmpty() || isBinary(line))
            continue;
        const QString text = readable(line, maxChars);
        if (!text.isEmpty())
            lines.prepend(text);
    }
    return lines;
}
