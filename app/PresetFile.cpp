#include "PresetFile.h"

#include "AppFiles.h"
#include "MCCBox.h"
#include "TextFile.h"

#include <QStringEncoder>

namespace {
// Bytes of one character (a code point) in the file's encoding.
int encodedLength(QStringView character, bool utf8, QStringEncoder &cp932)
{
    const char32_t c = character.size() == 2
                           ? QChar::surrogateToUcs4(character.at(0), character.at(1))
                           : character.at(0).unicode();
    if (c < 0x80)
        return 1;
    if (utf8)
        return c < 0x800 ? 2 : (c < 0x10000 ? 3 : 4);
    if (c >= 0xFF61 && c <= 0xFF9F) // half-width katakana: one byte in CP932
        return 1;
    const QByteArray bytes = cp932.encode(character);
    return qMax(1, int(bytes.size()));
}

// The longest start of the line that fits the limit, on a character boundary.
QString cutLine(const QString &line, bool utf8, QStringEncoder &cp932)
{
    // A line of few characters cannot reach the limit (at most 4 bytes each
    // in UTF-8 per code point of two units, 3 per single unit; 2 in CP932).
    if (line.size() * 3 <= MaxPresetLineBytes)
        return line;
    int bytes = 0;
    qsizetype i = 0;
    while (i < line.size()) {
        const qsizetype width =
            (line.at(i).isHighSurrogate() && i + 1 < line.size() && line.at(i + 1).isLowSurrogate())
                ? 2
                : 1;
        const int length = encodedLength(QStringView(line).mid(i, width), utf8, cp932);
        if (bytes + length > MaxPresetLineBytes)
            break;
        bytes += length;
        i += width;
    }
    return line.left(i);
}
} // namespace

QString PresetHeaderRow()
{
    return QStringLiteral(
        ",[拡張子],[ｻｲｽﾞ],[ｺｰﾃﾞｯｸ],[ﾌﾚｰﾑﾚｰﾄ],[ﾋﾞｯﾄﾚｰﾄ],[ｺｰﾃﾞｯｸ],[ｻﾝﾌﾟﾙﾚｰﾄ],[ﾋﾞｯﾄﾚｰﾄ]");
}

QStringList CodecNames()
{
    return {QStringLiteral("LIBX264"), QStringLiteral("MPEG4"), QStringLiteral("LIBXVID")};
}

QString PresetFilePath(const QString &appDir)
{
    return AppFiles::Portable(appDir).PresetFile;
}

QStringList PresetRows(const QByteArray &bytes)
{
    bool utf8 = false;
    const QString text = DecodeText(bytes, &utf8);
    // CR LF, LF and CR each end a line. The LF search runs ahead once and a
    // CR is looked for only before the next LF, so each character is scanned
    // a bounded number of times whatever the line ends are.
    QStringList lines;
    const QStringView all(text);
    const qsizetype n = all.size();
    qsizetype pos = 0;
    qsizetype lf = -1; // the next LF at or after pos, n when there is none
    while (pos < n) {
        if (lf < pos) {
            lf = all.indexOf(u'\n', pos);
            if (lf < 0)
                lf = n;
        }
        const qsizetype cr = all.mid(pos, lf - pos).indexOf(u'\r');
        if (cr >= 0) {
            lines.append(all.mid(pos, cr).toString());
            pos += cr + 1;
            if (pos == lf) // CR LF
                ++pos;
            continue;
        }
        lines.append(all.mid(pos, lf - pos).toString());
        pos = lf + 1;
    }

    QStringEncoder cp932("Windows-31J");
    for (QString &line : lines)
        line = cutLine(line, utf8, cp932);
    return lines;
}

QStringList ReadPresetFile(const QString &path)
{
    return PresetRows(ReadFileBytes(path));
}

void FillPresetChooser(TMultiColComboBox *chooser, const QStringList &rows)
{
    chooser->AddItem(PresetHeaderRow());
    chooser->AddItems(rows);
    // Nothing is chosen until the settings are loaded.
    chooser->SetItemIndex(-1);
}

void LoadPresets(TMultiColComboBox *chooser, const QString &appDir)
{
    FillPresetChooser(chooser, ReadPresetFile(PresetFilePath(appDir)));
}

void FillCodecChooser(TMultiColComboBox *chooser)
{
    for (const QString &name : CodecNames())
        chooser->AddItem(name);
    // The first preset application chooses.
    chooser->SetItemIndex(-1);
}
