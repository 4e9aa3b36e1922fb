#include "EncoderCommand.h"

#include <QTest>

Q_DECLARE_METATYPE(EncodingSettings)

class TestEncoderCommand : public QObject
{
    Q_OBJECT

private slots:
    void commandText_data();
    void commandText();
    void passesDifferOnlyInPassPieces();
    void pathsStayOneArgument_data();
    void pathsStayOneArgument();
    void outputPath_data();
    void outputPath();
    void thumbnail_data();
    void thumbnail();
    void lowerAsciiOnly();
};

namespace {
// The example's settings: two passes, 320x240, MPEG4, 384 kbit/s, 15 fps,
// 64 kbit/s, 24000 Hz, mono, into /Phone.
EncodingSettings example()
{
    EncodingSettings s;
    s.Codec = QStringLiteral("MPEG4");
    s.SizePosition = 1;
    s.RatePosition = 2;
    s.FrameRate = 15;
    s.VideoBitRate = 384;
    s.AudioBitRate = 64;
    s.TwoPass = true;
    s.Mono = true;
    s.OutputFolder = QStringLiteral("/Phone");
    s.OutputExt = QStringLiteral(".3gp");
    return s;
}
} // namespace

void TestEncoderCommand::commandText_data()
{
    QTest::addColumn<int>("pass");
    QTest::addColumn<EncodingSettings>("settings");
    QTest::addColumn<QString>("expected");

    const QString tail = QStringLiteral(" -f 3gp \"/Phone/clip.3gp\"");
    QTest::newRow("example pass 1")
        << 1 << example()
        << "ffmpeg -i \"/Video/clip.avi\" -y -pass 1 -an -flags bitexact -s 320x240 -aspect 4:3 "
           "-vcodec mpeg4 -b 384k -r 15 -acodec libfaac -ab 64k -ar 24000 -ac 1" +
               tail;
    QTest::newRow("example pass 2")
        << 2 << example()
        << "ffmpeg -i \"/Video/clip.avi\" -y -pass 2 -flags bitexact -s 320x240 -aspect 4:3 "
           "-vcodec mpeg4 -b 384k -r 15 -acodec libfaac -ab 64k -ar 24000 -ac 1" +
               tail;

    EncodingSettings one = example();
    one.TwoPass = false;
    one.Mono = false;
    one.Codec = QStringLiteral("LIBX264");
    one.SizePosition = 0;
    one.RatePosition = 4;
    QTest::newRow("one pass, stereo, x264")
        << 1 << one
        << "ffmpeg -i \"/Video/clip.avi\" -y -flags bitexact -s 176x144 -aspect 4:3 "
           "-vcodec libx264 -b 384k -r 15 -acodec libfaac -ab 64k -ar 8000" +
               tail;
    // With one pass the pass number is never written, whatever the caller says.
    QTest::newRow("one pass ignores the number")
        << 2 << one
        << "ffmpeg -i \"/Video/clip.avi\" -y -flags bitexact -s 176x144 -aspect 4:3 "
           "-vcodec libx264 -b 384k -r 15 -acodec libfaac -ab 64k -ar 8000" +
               tail;

    EncodingSettings big = one;
    big.Codec = QStringLiteral("LIBXVID");
    big.SizePosition = 2;
    big.RatePosition = 0;
    big.FrameRate = 60;
    big.VideoBitRate = 768;
    big.AudioBitRate = 320;
    QTest::newRow("largest values, xvid")
        << 1 << big
        << "ffmpeg -i \"/Video/clip.avi\" -y -flags bitexact -s 640x480 -aspect 4:3 "
           "-vcodec libxvid -b 768k -r 60 -acodec libfaac -ab 320k -ar 48000" +
               tail;

    for (int size : {-1, 3}) {
        for (int rate : {-1, 5}) {
            EncodingSettings out = one;
            out.SizePosition = size;
            out.RatePosition = rate;
            QTest::addRow("size %d rate %d leave both out", size, rate)
                << 1 << out
                << "ffmpeg -i \"/Video/clip.avi\" -y -flags bitexact -aspect 4:3 "
                   "-vcodec libx264 -b 384k -r 15 -acodec libfaac -ab 64k" +
                       tail;
        }
    }
    EncodingSettings rates = one;
    rates.RatePosition = 1;
    QTest::newRow("44100")
        << 1 << rates
        << "ffmpeg -i \"/Video/clip.avi\" -y -flags bitexact -s 176x144 -aspect 4:3 "
           "-vcodec libx264 -b 384k -r 15 -acodec libfaac -ab 64k -ar 44100" +
               tail;
    rates.RatePosition = 3;
    QTest::newRow("16000")
        << 1 << rates
        << "ffmpeg -i \"/Video/clip.avi\" -y -flags bitexact -s 176x144 -aspect 4:3 "
           "-vcodec libx264 -b 384k -r 15 -acodec libfaac -ab 64k -ar 16000" +
               tail;
}

void TestEncoderCommand::commandText()
{
    QFETCH(int, pass);
    QFETCH(EncodingSettings, settings);
    QFETCH(QString, expected);
    const QString source = QStringLiteral("/Video/clip.avi");
    const QString output = BuildOutputPath(source, settings.OutputFolder, settings.OutputExt);
    QCOMPARE(output, QStringLiteral("/Phone/clip.3gp"));
    const EncoderCommand command = BuildConversionCommand(pass, source, output, settings);
    QCOMPARE(command.Program, QStringLiteral("ffmpeg"));
    QCOMPARE(CommandText(command), expected);
    // The same settings give the same command every time (the output is overwritten).
    QCOMPARE(CommandText(BuildConversionCommand(pass, source, output, settings)), expected);
}

void TestEncoderCommand::passesDifferOnlyInPassPieces()
{
    const EncodingSettings s = example();
    QStringList first = BuildConversionCommand(1, "/a b/c.avi", "/o/c.3gp", s).Arguments;
    const QStringList second = BuildConversionCommand(2, "/a b/c.avi", "/o/c.3gp", s).Arguments;
    const int at = int(first.indexOf(QStringLiteral("-pass")));
    QVERIFY(at > 0);
    QCOMPARE(first.mid(at, 3), QStringList({"-pass", "1", "-an"}));
    QCOMPARE(second.mid(at, 2), QStringList({"-pass", "2"}));
    first.removeAt(at + 2);
    first[at + 1] = QStringLiteral("2");
    QCOMPARE(first, second);
    // The audio pieces stay on pass 1 too.
    QVERIFY(first.contains(QStringLiteral("libfaac")));
}

void TestEncoderCommand::pathsStayOneArgument_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("output");
    QTest::newRow("blanks") << "/my videos/a clip.avi"
                            << "/the phone"
                            << "/the phone/a clip.3gp";
    QTest::newRow("japanese") << "/動画/夏の旅行.mpg"
                              << "/携帯"
                              << "/携帯/夏の旅行.3gp";
    QTest::newRow("quotes and dashes") << "/v/\"-y\" it's.avi"
                                       << "/o"
                                       << "/o/\"-y\" it's.3gp";
    // Only the paths are quoted, also when the source reads like the option before it.
    QTest::newRow("a source that reads -i") << "-i"
                                            << "/o"
                                            << "/o/-i.3gp";
}

void TestEncoderCommand::pathsStayOneArgument()
{
    QFETCH(QString, source);
    QFETCH(QString, folder);
    QFETCH(QString, output);
    EncodingSettings s = example();
    s.OutputFolder = folder;
    QCOMPARE(BuildOutputPath(source, folder, s.OutputExt), output);
    const EncoderCommand c = BuildConversionCommand(1, source, output, s);
    // A relative path that FFmpeg would read as an option gets "./" in front.
    const QString sourceArgument = EncoderPathArgument(source);
    QCOMPARE(c.Arguments.at(1), sourceArgument);
    QCOMPARE(c.Arguments.last(), EncoderPathArgument(output));
    const QString text = CommandText(c);
    QVERIFY(text.startsWith("ffmpeg -i \"" + sourceArgument + "\" -y"));
    QVERIFY(text.endsWith(" -f 3gp \"" + EncoderPathArgument(output) + "\""));
}

void TestEncoderCommand::outputPath_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "/a/clip.avi"
                           << "/out"
                           << ".3gp"
                           << "/out/clip.3gp";
    QTest::newRow("two dots") << "/a/clip.old.avi"
                              << "/out"
                              << ".3gp"
                              << "/out/clip.old.3gp";
    QTest::newRow("no dot") << "/a/clip"
                            << "/out"
                            << ".3gp"
                            << "/out/clip.3gp";
    QTest::newRow("dot in folder only") << "/v.1/clip"
                                        << "/out"
                                        << ".3gp"
                                        << "/out/clip.3gp";
    QTest::newRow("name keeps case") << "/x/Movie.AVI"
                                     << "/out"
                                     << ".3gp"
                                     << "/out/Movie.3gp";
    QTest::newRow("root folder") << "/a/clip.avi"
                                 << "/"
                                 << ".3gp"
                                 << "/clip.3gp";
    QTest::newRow("3g2 extension") << "/a/clip.avi"
                                   << "/out"
                                   << ".3g2"
                                   << "/out/clip.3g2";
    QTest::newRow("folder entry") << "/a/sub"
                                  << "/out"
                                  << ".3gp"
                                  << "/out/sub.3gp";
    QTest::newRow("source in the output folder") << "/out/clip.3gp"
                                                 << "/out"
                                                 << ".3gp"
                                                 << "/out/clip.3gp";
    // Names that are no file in the folder give no output path.
    QTest::newRow("empty extension field, name only an extension") << "/a/.avi"
                                                                   << "/out"
                                                                   << "."
                                                                   << "";
    QTest::newRow("extension field \".\": the parent") << "/a/.avi"
                                                       << "/out"
                                                       << ".."
                                                       << "";
    QTest::newRow("extension field ending in a separator") << "/a/clip.avi"
                                                           << "/out"
                                                           << ".x/"
                                                           << "";
    // The path stays as the folder names it; only the encoder's argument gets "./".
    QTest::newRow("relative folder with a leading dash") << "/a/clip.avi"
                                                         << "-out"
                                                         << ".3gp"
                                                         << "-out/clip.3gp";
    QTest::newRow("empty extension field") << "/a/clip.avi"
                                           << "/out"
                                           << "."
                                           << "/out/clip.";
}

void TestEncoderCommand::outputPath()
{
    QFETCH(QString, source);
    QFETCH(QString, folder);
    QFETCH(QString, ext);
    QFETCH(QString, expected);
    QCOMPARE(BuildOutputPath(source, folder, ext), expected);
}

void TestEncoderCommand::thumbnail_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("appDir");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "/Video/clip.avi"
                           << "/opt/Pocketclips"
                           << "-i \"/Video/clip.avi\" -f image2 -ss 5 -vframes 1 -s 80x60 -an "
                              "\"/opt/Pocketclips/_thumb.jpg\"";
    QTest::newRow("program in the root")
        << "/v/夏 休み.avi"
        << "/"
        << "-i \"/v/夏 休み.avi\" -f image2 -ss 5 -vframes 1 -s 80x60 -an \"//_thumb.jpg\"";
    QTest::newRow("a source that reads -i")
        << "-i"
        << "/opt/p"
        << "-i \"./-i\" -f image2 -ss 5 -vframes 1 -s 80x60 -an \"/opt/p/_thumb.jpg\"";
}

void TestEncoderCommand::thumbnail()
{
    QFETCH(QString, source);
    QFETCH(QString, appDir);
    QFETCH(QString, expected);
    QCOMPARE(BuildThumbnailParameters(source, appDir), expected);
    const QStringList args = BuildThumbnailArguments(source, appDir);
    QCOMPARE(args.at(1), EncoderPathArgument(source));
    QCOMPARE(args.last(), ThumbnailPath(appDir));
    QVERIFY(!args.contains(QStringLiteral("-y")));
}

void TestEncoderCommand::lowerAsciiOnly()
{
    // Only A to Z change; other letters keep their form.
    QCOMPARE(LowerAscii(QStringLiteral(".3GP")), QStringLiteral(".3gp"));
    QCOMPARE(LowerAscii(QStringLiteral("LIBX264ÄＡ")), QStringLiteral("libx264ÄＡ"));
}

QTEST_APPLESS_MAIN(TestEncoderCommand)
#include "tst_encodercommand.moc"
