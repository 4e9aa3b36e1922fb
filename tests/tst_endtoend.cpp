// Real conversions: the batch runs the adapter beside the program, which runs
// the installed FFmpeg; the results are checked with ffprobe.

#include "BatchTestHost.h"
#include "ConversionBatch.h"
#include "ProgressWindow1.h"
#include "TestSupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void convert_data();
    void convert();
    void unsupportedFileIsReported();
    void thumbnailsWereShown();
    void everydaySources_data();
    void everydaySources();

private:
    QJsonObject probe(const QString &file);
    QScopedPointer<QTemporaryDir> m_dir;
    QString m_clip;
    QString m_previousDir;
    int m_conversions = 0;
    int m_thumbnailsShown = 0;
};

void TestEndToEnd::initTestCase()
{
    if (QStandardPaths::findExecutable("ffmpeg").isEmpty() ||
        QStandardPaths::findExecutable("ffprobe").isEmpty())
        QSKIP("FFmpeg is not installed");
    m_dir.reset(new QTemporaryDir);
    // A working folder of our own, to see that no pass log lands in it, and a
    // private folder of the run for the adapter, as the program hands it over.
    QDir().mkpath(m_dir->filePath("work"));
    m_previousDir = QDir::currentPath();
    QDir::setCurrent(m_dir->filePath("work"));
    QDir().mkpath(m_dir->filePath("run"));
    QFile::setPermissions(m_dir->filePath("run"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("POCKETCLIPS_RUN_DIR", m_dir->filePath("run").toLocal8Bit());
    qunsetenv("POCKETCLIPS_FFMPEG");

    // Six seconds of test picture and a stereo tone, in a folder with blanks
    // and Japanese characters.
    QDir().mkpath(m_dir->filePath("素材 フォルダ"));
    m_clip = m_dir->filePath("素材 フォルダ/test clip.avi");
    QProcess make;
    make.start("ffmpeg",
               {"-nostdin", "-v",    "error",     "-y",
                "-f",       "lavfi", "-i",        "testsrc=size=320x240:rate=25:duration=6",
                "-f",       "lavfi", "-i",        "sine=frequency=440:sample_rate=44100:duration=6",
                "-ac",      "2",     "-shortest", "-c:v",
                "mpeg4",    "-c:a",  "pcm_s16le", m_clip});
    QVERIFY(make.waitForFinished(60000));
    QCOMPARE(make.exitCode(), 0);
}

void TestEndToEnd::cleanup()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QJsonObject TestEndToEnd::probe(const QString &file)
{
    QProcess p;
    p.start("ffprobe", {"-v", "error", "-show_entries",
                        "stream=codec_type,codec_name,codec_tag_string,width,height,sample_rate,"
                        "channels,profile,pix_fmt:stream_side_data=side_data_type:format="
                        "duration:format_tags=major_brand",
                        "-of", "json", file});
    p.waitForFinished(30000);
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

void TestEndToEnd::convert_data()
{
    QTest::addColumn<QString>("codec");
    QTest::addColumn<bool>("twoPass");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("rate");
    QTest::addColumn<bool>("mono");
    QTest::addColumn<QString>("videoCodec");
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<int>("sampleRate");

    QTest::newRow("x264, one pass, 176x144, 8000 Hz mono")
        << "LIBX264" << false << 0 << 4 << true << "h264" << QSize(176, 144) << 8000;
    QTest::newRow("x264, two passes, 320x240, 48000 Hz")
        << "LIBX264" << true << 1 << 0 << false << "h264" << QSize(320, 240) << 48000;
    QTest::newRow("mpeg4, one pass, 640x480, 16000 Hz mono")
        << "MPEG4" << false << 2 << 3 << true << "mpeg4" << QSize(640, 480) << 16000;
    QTest::newRow("mpeg4, two passes, 320x240, 24000 Hz")
        << "MPEG4" << true << 1 << 2 << false << "mpeg4" << QSize(320, 240) << 24000;
    QTest::newRow("xvid, one pass, 176x144, 44100 Hz")
        << "LIBXVID" << false << 0 << 1 << false << "mpeg4" << QSize(176, 144) << 44100;
    QTest::newRow("xvid, two passes, 640x480, 24000 Hz mono")
        << "LIBXVID" << true << 2 << 2 << true << "mpeg4" << QSize(640, 480) << 24000;
}

void TestEndToEnd::convert()
{
    QFETCH(QString, codec);
    QFETCH(bool, twoPass);
    QFETCH(int, size);
    QFETCH(int, rate);
    QFETCH(bool, mono);
    QFETCH(QString, videoCodec);
    QFETCH(QSize, picture);
    QFETCH(int, sampleRate);

    MessageRecorder messages;
    BatchTestHost host;
    host.Window.show();
    host.AppDir = m_dir->filePath("app");
    QDir().mkpath(host.AppDir);
    host.Entries = QStringList{m_clip};
    host.Settings.Codec = codec;
    host.Settings.TwoPass = twoPass;
    host.Settings.SizePosition = size;
    host.Settings.RatePosition = rate;
    host.Settings.Mono = mono;
    host.Settings.FrameRate = 15;
    host.Settings.VideoBitRate = 256;
    host.Settings.AudioBitRate = 48;
    host.Settings.OutputFolder = m_dir->filePath("出力/" + codec);
    host.OutputExt = QStringLiteral(".3GP");

    TConversionBatch batch(host);
    // The adapter the build put beside the program, as the program finds it.
    batch.EncoderProgram = QStringLiteral(ADAPTER_PATH);
    bool pictureShown = false;
    QTimer sampler;
    connect(&sampler, &QTimer::timeout, [&] {
        if (ProgressForm1 && !ProgressForm1->Image1->pixmap().isNull()) {
            // PC_SCREENSHOT_DIR: keep a picture of the window for a look at it.
            const QString shots = qEnvironmentVariable("PC_SCREENSHOT_DIR");
            if (!pictureShown && !shots.isEmpty())
                ProgressForm1->grab().save(shots + "/" + QTest::currentDataTag() + ".png");
            pictureShown = true;
        }
    });
    sampler.start(10);
    batch.Run();
    sampler.stop();

    QCOMPARE(messages.texts(), QStringList());
    const QString output = host.Settings.OutputFolder + "/test clip.3gp";
    QCOMPARE(host.OutputFile, output);
    QVERIFY(QFile::exists(output));
    QVERIFY(host.EncoderProcess && host.EncoderProcess->Succeeded());
    // The thumbnail run is not waited for; on a busy machine it may miss the
    // one-second pause now and then, so this is counted over all conversions.
    ++m_conversions;
    if (pictureShown)
        ++m_thumbnailsShown;
    else
        qWarning("no thumbnail within the pause");
    QVERIFY(!QFile::exists(ThumbnailPath(host.AppDir)));

    const QJsonObject info = probe(output);
    QCOMPARE(info["format"].toObject()["tags"].toObject()["major_brand"].toString().left(3),
             QStringLiteral("3gp"));
    const QJsonArray streams = info["streams"].toArray();
    QCOMPARE(streams.size(), 2);
    for (const QJsonValue &v : streams) {
        const QJsonObject s = v.toObject();
        if (s["codec_type"].toString() == "video") {
            QCOMPARE(s["codec_name"].toString(), videoCodec);
            QCOMPARE(QSize(s["width"].toInt(), s["height"].toInt()), picture);
            if (videoCodec == "mpeg4")
                QCOMPARE(s["codec_tag_string"].toString(), QStringLiteral("mp4v"));
        } else {
            QCOMPARE(s["codec_name"].toString(), QStringLiteral("aac"));
            QCOMPARE(s["sample_rate"].toString().toInt(), sampleRate);
            QCOMPARE(s["channels"].toInt(), mono ? 1 : 2);
        }
    }

    // No pass log in the working folder, beside the source or the output,
    // nor left in the run's folder.
    QCOMPARE(QDir(m_dir->filePath("work")).entryList(QDir::Files), QStringList());
    QCOMPARE(QDir(host.Settings.OutputFolder).entryList(QDir::Files), QStringList{"test clip.3gp"});
    QCOMPARE(QDir(m_dir->filePath("素材 フォルダ")).entryList(QDir::Files),
             QStringList{"test clip.avi"});
    QTRY_COMPARE_WITH_TIMEOUT(QDir(m_dir->filePath("run")).entryList({"passlog-*"}, QDir::Files),
                              QStringList(), 3000);
}

void TestEndToEnd::unsupportedFileIsReported()
{
    MessageRecorder messages;
    BatchTestHost host;
    host.AppDir = m_dir->filePath("app");
    host.Entries = QStringList{WriteFile(m_dir->path(), "notes.txt", "not a video")};
    host.Settings.Codec = QStringLiteral("MPEG4");
    host.Settings.OutputFolder = m_dir->filePath("bad");
    TConversionBatch batch(host);
    batch.EncoderProgram = QStringLiteral(ADAPTER_PATH);
    batch.Run();
    // FFmpeg refused it; the batch says so instead of reporting success.
    QCOMPARE(messages.texts(), QStringList{TConversionBatch::UnsupportedFilesMessage()});
    QVERIFY(host.EncoderProcess && host.EncoderProcess->Exited() &&
            host.EncoderProcess->ExitCode() != 0);
}

void TestEndToEnd::thumbnailsWereShown()
{
    // The picture the real FFmpeg cut reached the window.
    QVERIFY(m_conversions > 0);
    QVERIFY2(m_thumbnailsShown * 2 >= m_conversions,
             qPrintable(QStringLiteral("%1 of %2").arg(m_thumbnailsShown).arg(m_conversions)));
}

namespace {
// Runs a program to its end; its exit code, or -1 when it did not end.
int runTool(const QString &program, const QStringList &args, QByteArray *out = nullptr,
            QByteArray *err = nullptr)
{
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(program, args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
        return -1;
    if (out)
        *out = p.readAllStandardOutput();
    if (err)
        *err = p.readAllStandardError();
    return p.exitCode();
}

// One delivered preset per codec, as profile.txt has them.
struct Preset
{
    const char *name;
    const char *codec;
    int size, rate, fps, videoKbit, audioKbit;
    bool twoPass;
    QSize picture;
    const char *profile;
};
const Preset DeliveredPresets[] = {
    {"携帯高画質 QCIF H.264",
     "LIBX264",
     0,
     2,
     15,
     192,
     48,
     true,
     {176, 144},
     "Constrained Baseline"},
    {"スマホ QVGA MPEG-4", "MPEG4", 1, 2, 15, 384, 64, false, {320, 240}, "Simple Profile"},
    {"スマホ QVGA Xvid", "LIBXVID", 1, 2, 15, 384, 64, true, {320, 240}, "Simple Profile"},
};

double duration(const QJsonObject &info)
{
    return info["format"].toObject()["duration"].toString().toDouble();
}
} // namespace

void TestEndToEnd::everydaySources_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("make");     // FFmpeg's arguments, blank-separated; empty: bytes
    QTest::addColumn<QByteArray>("bytes"); // the file, or with make: how many bytes stay
    QTest::addColumn<bool>("rotate");      // then remuxed with a rotation flag
    QTest::addColumn<bool>("video");       // the output has a video stream
    QTest::addColumn<int>("channels");     // its audio channels (0: none, -1: no output)

    const QString v = "-f lavfi -i testsrc2=size=160x120:rate=25:duration=2.5 ";
    const QString a = "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=2.5 ";
    const QString mix = "pan=%1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0";
    QTest::newRow("10-bit HEVC") << "hevc.mp4"
                                 << v + a +
                                        "-c:v libx265 -preset ultrafast -x265-params "
                                        "log-level=error -pix_fmt yuv420p10le -c:a aac -ac 2"
                                 << QByteArray() << false << true << 2;
    QTest::newRow("4:4:4 H.264, 7.1 FLAC")
        << "screen.mkv"
        << v + a + "-c:v libx264 -preset ultrafast -pix_fmt yuv444p -c:a flac -af " +
               mix.arg("7.1") + "|c6=c0|c7=c0"
        << QByteArray() << false << true << 2;
    QTest::newRow("4:2:2 10-bit ProRes")
        << "edit.mov"
        << v + a + "-c:v prores_ks -profile:v 3 -pix_fmt yuv422p10le -c:a pcm_s16le -ac 2"
        << QByteArray() << false << true << 2;
    QTest::newRow("5.1 AC-3") << "camcorder.mkv"
                              << v + a + "-c:v libx264 -preset ultrafast -c:a ac3 -af " +
                                     mix.arg("5.1")
                              << QByteArray() << false << true << 2;
    // Upright it is white above, black below; it is stored turned a quarter
    // to the right, with the flag that turns it back.
    QTest::newRow("rotated portrait clip")
        << "portrait.mp4"
        << "-f lavfi -i color=c=black:s=120x160:r=25:d=2.5,drawbox=w=120:h=80:c=white:t=fill,"
           "transpose=clock " +
               a + "-c:v libx264 -preset ultrafast -c:a aac -ac 1"
        << QByteArray() << true << true << 1;
    QTest::newRow("MP3 with a cover picture")
        << "song.mp3"
        << a + "-f lavfi -i testsrc2=size=200x200:duration=0.04 -map 0 -map 1 -c:a libmp3lame "
               "-ac 2 -c:v mjpeg -disposition:v attached_pic"
        << QByteArray() << false << false << 2;
    QTest::newRow("video only") << "silent.avi" << v + "-c:v mpeg4" << QByteArray() << false << true
                                << 0;
    QTest::newRow("audio only") << "voice.wav" << a + "-c:a pcm_s16le" << QByteArray() << false
                                << false << 1;
    // Nothing FFmpeg can make a 3GP of: the end message, no file.
    QTest::newRow("text renamed .avi") << "notes.avi"
                                       << "" << QByteArray("not a video\n") << false << false << -1;
    QTest::newRow("0 bytes") << "empty.avi"
                             << "" << QByteArray("") << false << false << -1;
    QTest::newRow("MP4 cut before its index") << "cut.mp4" << v + a + "-c:v mpeg4 -c:a aac"
                                              << QByteArray("30000") << false << false << -1;
    QTest::newRow("no video and no audio")
        << "subtitles.mkv"
        << "-i {srt} -c:s srt" << QByteArray() << false << false << -1;
}

void TestEndToEnd::everydaySources()
{
    QFETCH(QString, name);
    QFETCH(QString, make);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, rotate);
    QFETCH(bool, video);
    QFETCH(int, channels);
    QVERIFY2(!QStandardPaths::findExecutable("mediainfo").isEmpty(),
             "mediainfo is missing (scripts/install-deps.sh test)");

    const QString folder = m_dir->filePath("sources/" + QFileInfo(name).completeBaseName());
    QDir().mkpath(folder);
    QString source = folder + "/" + name;
    if (make.isEmpty()) {
        source = WriteFile(folder, name, bytes);
    } else {
        make.replace("{srt}", WriteFile(folder, "t.srt", "1\n00:00:00,000 --> 00:00:02,000\nhi\n"));
        const QString made = rotate ? folder + "/plain.mp4" : source;
        QCOMPARE(runTool("ffmpeg", QStringList{"-v", "error", "-y"} +
                                       make.split(' ', Qt::SkipEmptyParts) + QStringList{made}),
                 0);
        if (rotate)
            QCOMPARE(runTool("ffmpeg", {"-v", "error", "-y", "-i", made, "-c", "copy",
                                        "-metadata:s:v:0", "rotate=90", source}),
                     0);
        if (!bytes.isEmpty())
            QVERIFY(QFile::resize(source, bytes.toLongLong()));
    }
    const double sourceSeconds = duration(probe(source));

    for (const Preset &preset : DeliveredPresets) {
        MessageRecorder messages;
        BatchTestHost host;
        host.AppDir = m_dir->filePath("app");
        host.Entries = QStringList{source};
        host.Settings.Codec = preset.codec;
        host.Settings.TwoPass = preset.twoPass;
        host.Settings.SizePosition = preset.size;
        host.Settings.RatePosition = preset.rate;
        host.Settings.FrameRate = preset.fps;
        host.Settings.VideoBitRate = preset.videoKbit;
        host.Settings.AudioBitRate = preset.audioKbit;
        host.Settings.OutputFolder = folder + "/" + preset.codec;
        TConversionBatch batch(host);
        batch.EncoderProgram = QStringLiteral(ADAPTER_PATH);
        // The thumbnails are convert()'s matter; here they would only add load.
        batch.ThumbnailProgram = QStringLiteral("true");
        batch.PauseMs = 20;
        batch.Run();
        const QString output = host.OutputFile;
        const QByteArray what = QByteArray(preset.name) + " (" + preset.codec + ")";

        if (channels < 0) {
            QVERIFY2(messages.texts() == QStringList{TConversionBatch::UnsupportedFilesMessage()},
                     what);
            QVERIFY2(QDir(host.Settings.OutputFolder).isEmpty(), what);
            continue;
        }
        QVERIFY2(messages.texts().isEmpty(), what);
        const QJsonObject info = probe(output);
        int videos = 0, audios = 0;
        for (const QJsonValue &value : info["streams"].toArray()) {
            const QJsonObject s = value.toObject();
            if (s["codec_type"] == "video") {
                ++videos;
                QCOMPARE(s["profile"].toString(), QString::fromUtf8(preset.profile));
                QCOMPARE(s["pix_fmt"].toString(), QStringLiteral("yuv420p"));
                QCOMPARE(QSize(s["width"].toInt(), s["height"].toInt()), preset.picture);
                // No rotation flag left to turn it again.
                QVERIFY2(!s.contains("side_data_list"), what);
            } else {
                ++audios;
                QCOMPARE(s["codec_name"].toString(), QStringLiteral("aac"));
                QCOMPARE(s["profile"].toString(), QStringLiteral("LC"));
                QCOMPARE(s["channels"].toInt(), channels);
            }
        }
        QVERIFY2(videos == (video ? 1 : 0) && audios == (channels > 0 ? 1 : 0), what);
        QVERIFY2(qAbs(duration(info) - sourceSeconds) <= 0.2,
                 what + " " + QByteArray::number(duration(info)) + " s");
        QByteArray out, err;
        QCOMPARE(runTool("ffmpeg", {"-v", "error", "-xerror", "-i", output, "-f", "null", "-"},
                         nullptr, &err),
                 0);
        QVERIFY2(err.isEmpty(), err);
        // The index comes first, so a phone can play while the file arrives.
        QCOMPARE(runTool("mediainfo", {"--Inform=General;%IsStreamable%", output}, &out), 0);
        QVERIFY2(out.trimmed() == "Yes", what);

        if (rotate) {
            // Upright, between black bars: white above, black below.
            QCOMPARE(runTool("ffmpeg",
                             {"-v", "error", "-i", output, "-frames:v", "1", "-f", "rawvideo",
                              "-pix_fmt", "gray", "-"},
                             &out),
                     0);
            const int w = preset.picture.width(), h = preset.picture.height();
            QCOMPARE(out.size(), w * h);
            auto at = [&](int x, int y) { return int(quint8(out[y * w + x])); };
            QVERIFY2(at(w / 2, h / 4) > 200 && at(w / 2, h * 3 / 4) < 60, what);
            QVERIFY2(at(w / 16, h / 4) < 60, what);
        }
    }
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
