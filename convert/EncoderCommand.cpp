#include "EncoderCommand.h"

namespace {
const QChar Separator = QLatin1Char('/');
const QChar Quote = QLatin1Char('"');

QString sizeText(int position)
{
    switch (position) {
    case 0:
        return QStringLiteral("176x144");
    case 1:
        return QStringLiteral("320x240");
    case 2:
        return QStringLiteral("640x480");
    default:
        return QString();
    }
}

QString rateText(int position)
{
    static const char *const rates[] = {"48000", "44100", "24000", "16000", "8000"};
    return position >= 0 && position < 5 ? QLatin1String(rates[position]) : QString();
}

QString quoted(const QString &text)
{
    return Quote + text + Quote;
}
} // namespace

QString LowerAscii(const QString &text)
{
    QString out = text;
    for (QChar &c : out)
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    return out;
}

QString FileNamePart(const QString &path)
{
    return path.mid(path.lastIndexOf(Separator) + 1);
}

QString BuildOutputPath(const QString &source, const QString &outputFolder,
                        const QString &outputExt)
{
    QString renamed = source;
    const int dot = source.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0 && dot > source.lastIndexOf(Separator))
        renamed.truncate(dot);
    renamed += outputExt;
    // The root is held as "/" itself; no second separator behind it.
    const QString folder =
        outputFolder.endsWith(Separator) ? outputFolder.chopped(1) : outputFolder;
    // An empty extension field on a source named ".avi" (or an extension of
    // "." or "x/") would name the folder itself or its parent, not a file in it.
    const QString name = FileNamePart(renamed);
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return QString();
    return folder + Separator + name;
}

QString EncoderPathArgument(const QString &path)
{
    if (path.startsWith(Separator))
        return path;
    const qsizetype colon = path.indexOf(QLatin1Char(':'));
    const qsizetype slash = path.indexOf(Separator);
    // FFmpeg takes "subfile," with a ':' anywhere after it for its subfile
    // protocol, folders or not.
    const bool protocolLike =
        (colon >= 0 && (slash < 0 || colon < slash)) ||
        (path.startsWith(QLatin1String("subfile,")) && path.indexOf(QLatin1Char(':'), 8) >= 0);
    return path.startsWith(QLatin1Char('-')) || protocolLike ? QStringLiteral("./") + path : path;
}

EncoderCommand BuildConversionCommand(int pass, const QString &sourceFile,
                                      const QString &outputFile, const EncodingSettings &settings)
{
    QStringList a;
    a << QStringLiteral("-i") << EncoderPathArgument(sourceFile) << QStringLiteral("-y");
    if (settings.TwoPass) {
        a << QStringLiteral("-pass") << QString::number(pass);
        if (pass == 1)
            a << QStringLiteral("-an");
    }
    a << QStringLiteral("-flags") << QStringLiteral("bitexact");
    const QString size = sizeText(settings.SizePosition);
    if (!size.isEmpty())
        a << QStringLiteral("-s") << size;
    a << QStringLiteral("-aspect") << QStringLiteral("4:3");
    a << QStringLiteral("-vcodec") << LowerAscii(settings.Codec);
    a << QStringLiteral("-b") << QString::number(settings.VideoBitRate) + QLatin1Char('k');
    a << QStringLiteral("-r") << QString::number(settings.FrameRate);
    a << QStringLiteral("-acodec") << QStringLiteral("libfaac");
    a << QStringLiteral("-ab") << QString::number(settings.AudioBitRate) + QLatin1Char('k');
    const QString rate = rateText(settings.RatePosition);
    if (!rate.isEmpty())
        a << QStringLiteral("-ar") << rate;
    if (settings.Mono)
        a << QStringLiteral("-ac") << QStringLiteral("1");
    a << QStringLiteral("-f") << QStringLiteral("3gp");
    a << EncoderPathArgument(outputFile);
    return {QLatin1String(EncoderName), a};
}

QString ThumbnailPath(const QString &thumbnailDir)
{
    // As the thumbnail parameters write it: the folder, a separator, the name
    // (for a program in the root that gives "//_thumb.jpg", which is the same file).
    return thumbnailDir + QStringLiteral("/_thumb.jpg");
}

QStringList BuildThumbnailArguments(const QString &sourceFile, const QString &thumbnailDir)
{
    return {QStringLiteral("-i"),       EncoderPathArgument(sourceFile),
            QStringLiteral("-f"),       QStringLiteral("image2"),
            QStringLiteral("-ss"),      QStringLiteral("5"),
            QStringLiteral("-vframes"), QStringLiteral("1"),
            QStringLiteral("-s"),       QStringLiteral("80x60"),
            QStringLiteral("-an"),      EncoderPathArgument(ThumbnailPath(thumbnailDir))};
}

namespace {
// The paths are the source behind the leading "-i" and the last argument,
// found by position: a source that reads "-i" must not quote the next one.
QString joinedArguments(const QStringList &arguments)
{
    QStringList parts;
    for (int i = 0; i < arguments.size(); ++i) {
        const bool path =
            i == arguments.size() - 1 || (i == 1 && arguments.at(0) == QLatin1String("-i"));
        parts << (path ? quoted(arguments.at(i)) : arguments.at(i));
    }
    return parts.join(QLatin1Char(' '));
}
} // namespace

QString CommandText(const EncoderCommand &command)
{
    return command.Program + QLatin1Char(' ') + joinedArguments(command.Arguments);
}

QString BuildThumbnailParameters(const QString &sourceFile, const QString &thumbnailDir)
{
    return joinedArguments(BuildThumbnailArguments(sourceFile, thumbnailDir));
}
