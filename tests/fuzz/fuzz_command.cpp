// Any paths and settings: the output file lies in the output folder under the
// source's name, each path is exactly one argument of the conversion and the
// thumbnail runs (also after the adapter's rewriting), the paths change
// nothing else, and the command's text quotes the two paths and nothing more.
#include "FuzzCheck.h"
#include "AdapterArgs.h"
#include "EncoderCommand.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>


namespace {
// Header bytes: switches, size and rate positions, the three numbers.
constexpr size_t HeaderSize = 7;

ArgList toArgList(const QStringList &arguments)
{
    ArgList out;
    for (const QString &a : arguments)
        out.push_back(a.toStdString());
    return out;
}

// The arguments between the source (index 1) and the last one.
QStringList middle(const QStringList &arguments)
{
    return arguments.mid(2, arguments.size() - 3);
}

// What the text form must be: the program, "-i", the quoted source, the
// other arguments as they are, the quoted last path; one blank between.
QString expectedText(const QString &program, const QStringList &arguments)
{
    QString text = program.isEmpty() ? QString() : program + QLatin1Char(' ');
    text += QStringLiteral("-i \"") + arguments.at(1) + QStringLiteral("\" ");
    text += middle(arguments).join(QLatin1Char(' '));
    text += QStringLiteral(" \"") + arguments.last() + QLatin1Char('"');
    return text;
}

bool isLowerAsciiOf(const QString &lower, const QString &text)
{
    if (lower.size() != text.size())
        return false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool upper = c >= QLatin1Char('A') && c <= QLatin1Char('Z');
        if (lower.at(i) != (upper ? QChar(c.unicode() + 32) : c))
            return false;
    }
    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < HeaderSize)
        return 0;
    // The texts follow the header, separated by NUL bytes (no path holds one).
    const QList<QByteArray> texts =
        QByteArray(reinterpret_cast<const char *>(data + HeaderSize), int(size - HeaderSize))
            .split('\0');
    auto text = [&texts](int i) {
        return i < texts.size() ? QString::fromUtf8(texts.at(i)) : QString();
    };
    const QString source = text(0);
    const QString folder = text(1);
    // The batch has lowercased the extension before it builds the path.
    const QString ext = LowerAscii(QLatin1Char('.') + text(2));
    const QString appDir = text(3);

    EncodingSettings s;
    const int flags = data[0];
    static const char *const codecs[] = {"LIBX264", "MPEG4", "LIBXVID"};
    s.Codec = (flags >> 3) % 4 == 3 ? text(4) : QLatin1String(codecs[(flags >> 3) % 4]);
    s.TwoPass = flags & 1;
    s.Mono = flags & 2;
    const int pass = flags & 4 ? 2 : 1;
    // Positions also outside the track bars' ranges; numbers inside the digit bars'.
    s.SizePosition = int(data[1] % 7) - 2;
    s.RatePosition = int(data[2] % 9) - 2;
    s.FrameRate = 1 + data[3] % 60;
    s.VideoBitRate = 8 + (data[4] | data[5] << 8) % 761;
    s.AudioBitRate = 8 + data[6] % 313;
    s.OutputFolder = folder;
    s.OutputExt = ext;

    // The output file: the source's name (its own case) with the extension
    // replaced, in the folder with one separator between; no output at all
    // when that leaves no name of a file.
    const QString sourceName = source.mid(source.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = sourceName.lastIndexOf(QLatin1Char('.'));
    const QString renamed = (dot >= 0 ? sourceName.left(dot) : sourceName) + ext;
    const QString wanted = renamed.mid(renamed.lastIndexOf(QLatin1Char('/')) + 1);
    const bool noName =
        wanted.isEmpty() || wanted == QLatin1String(".") || wanted == QLatin1String("..");
    const QString output = BuildOutputPath(source, folder, ext);
    CHECK(output.isEmpty() == noName);
    if (!noName) {
        const QString base = folder.endsWith(QLatin1Char('/')) ? folder.chopped(1) : folder;
        CHECK(output.startsWith(base + QLatin1Char('/')));
        const QString name = output.mid(base.size() + 1);
        CHECK(!name.isEmpty() && !name.contains(QLatin1Char('/')));
        CHECK(name != QLatin1String(".") && name != QLatin1String(".."));
        CHECK(FileNamePart(output) == name);
        if (!ext.contains(QLatin1Char('/')))
            CHECK(name == renamed);
    }

    // The conversion run.
    const EncoderCommand command = BuildConversionCommand(pass, source, output, s);
    const QStringList &args = command.Arguments;
    CHECK(command.Program == QLatin1String(EncoderName));
    // Nine fixed pairs, "-y" and the output; the optional pieces by the settings.
    const int expectedCount = 20 + (s.TwoPass ? (pass == 1 ? 3 : 2) : 0) +
                              (s.SizePosition >= 0 && s.SizePosition <= 2 ? 2 : 0) +
                              (s.RatePosition >= 0 && s.RatePosition <= 4 ? 2 : 0) +
                              (s.Mono ? 2 : 0);
    CHECK(args.size() == expectedCount);
    // Each path is one argument; one FFmpeg could read as an option gets "./".
    const QString sourceArgument = EncoderPathArgument(source);
    const QString outputArgument = EncoderPathArgument(output);
    CHECK(!sourceArgument.startsWith(QLatin1Char('-')) && !outputArgument.startsWith(QLatin1Char('-')));
    CHECK(args.at(0) == QLatin1String("-i") && args.at(1) == sourceArgument);
    CHECK(args.at(2) == QLatin1String("-y") && args.last() == outputArgument);
    // The paths change their own arguments and nothing else.
    const EncoderCommand plain =
        BuildConversionCommand(pass, QStringLiteral("/s"), QStringLiteral("/o"), s);
    CHECK(middle(plain.Arguments) == middle(args));
    const int vcodec = int(args.indexOf(QLatin1String("-vcodec"), 2));
    CHECK(vcodec > 1 && isLowerAsciiOf(args.at(vcodec + 1), s.Codec));
    if (s.TwoPass) {
        // The two passes differ in the pass number and pass 1's "-an" only.
        QStringList other = BuildConversionCommand(3 - pass, source, output, s).Arguments;
        QStringList one = pass == 1 ? args : other;
        QStringList two = pass == 1 ? other : args;
        CHECK(one.at(4) == QLatin1String("1") && two.at(4) == QLatin1String("2"));
        CHECK(one.at(5) == QLatin1String("-an"));
        one.removeAt(5);
        one.removeAt(4);
        two.removeAt(4);
        CHECK(one == two);
    }
    CHECK(CommandText(command) == expectedText(command.Program, args));

    // The thumbnail run.
    const QStringList thumb = BuildThumbnailArguments(source, appDir);
    CHECK(thumb.size() == 12 && thumb.at(0) == QLatin1String("-i") && thumb.at(1) == sourceArgument);
    CHECK(thumb.last() == EncoderPathArgument(ThumbnailPath(appDir)) &&
          ThumbnailPath(appDir) == appDir + QStringLiteral("/_thumb.jpg"));
    CHECK(middle(thumb) ==
          middle(BuildThumbnailArguments(QStringLiteral("/s"), QStringLiteral("/a"))));
    CHECK(BuildThumbnailParameters(source, appDir) == expectedText(QString(), thumb));

    // Through the adapter: the paths stay where they were, each one argument.
    AdapterOptions options;
    options.haveLibxvid = flags & 0x20;
    options.passLogPrefix = flags & 0x40 ? "/cache/pass" : "";
    const ArgList in = toArgList(args);
    const ArgList mapped = MapArguments(in, options);
    CHECK(mapped.size() >= in.size() && mapped.at(0) == "-nostdin");
    CHECK(mapped.at(1) == "-i" && mapped.at(2) == sourceArgument.toStdString());
    CHECK(mapped.back() == outputArgument.toStdString());
    CHECK(PassNumber(mapped) == (s.TwoPass ? pass : 0));
    CHECK(WantsLibxvid(in) == (LowerAscii(s.Codec) == QLatin1String("libxvid")));
    CHECK(OutputArgument(mapped) == outputArgument.toStdString());
    return 0;
}
