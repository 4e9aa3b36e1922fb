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
    // cache folder of our own for the adapter.
    QDir().mkpath(m_dir->filePath("work"));
    m_previousDir = QDir::currentPath();
    QDir::setCurrent(m_dir->filePath("work"));
    qputenv("XDG_CACHE_HOME", m_dir->filePath("cache").toLocal8Bit());
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
                        "channels:format_tags=major_brand",
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
    // nor left in the cache.
    QCOMPARE(QDir(m_dir->filePath("work")).entryList(QDir::Files), QStringList());
    QCOMPARE(QDir(host.Settings.OutputFolder).entryList(QDir::Files), QStringList{"test clip.3gp"});
    QCOMPARE(QDir(m_dir->filePath("素材 フォルダ")).entryList(QDir::Files),
             QStringList{"test clip.avi"});
    QTRY_COMPARE_WITH_TIMEOUT(
        QDir(m_dir->filePath("cache/pocketclips/passlog")).entryList(QDir::Files), QStringList(),
        3000);
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

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
