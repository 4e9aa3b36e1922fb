#include "BatchReport.h"
#include "BatchTestHost.h"
#include "ConversionBatch.h"
#include "Files.h"
#include "Misc.h"
#include "ProgressWindow1.h"
#include "Shell.h"
#include "TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <unistd.h>

namespace {

// What the progress window showed when a pass asked for its thumbnail.
struct ThumbnailRun
{
    QString program;
    QStringList args;
    int barPosition = -1;
    int barMax = -1;
    QString label;
    bool mainEnabled = true;
    bool formVisible = false;
};

// Whether a process is gone (or only a zombie nobody has reaped yet).
bool processGone(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    const int close = int(text.lastIndexOf(')'));
    return close > 0 && text.size() > close + 2 && text.at(close + 2) == 'Z';
}

QByteArray sampleJpeg()
{
    return ReadFile(QStringLiteral(PC_SOURCE_DIR "/tests/fuzz/corpus/jpeg/thumb.jpg"));
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}
} // namespace

class TestBatch : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void emptyListDoesNothing();
    void twoPassesThreeFiles();
    void settingsReadForEveryCommand();
    void cancelDuringPass1KeepsPass2();
    void emptyOutputFolderEndsBatch();
    void missingEncoderEndsBatchWithMessage();
    void invalidThumbnailSkipsOnlyItsPass();
    void skippedPass2LeavesNoPass1File();
    void encoderResult_data();
    void encoderResult();
    void sameFileIsNotConverted_data();
    void sameFileIsNotConverted();
    void outputWithoutFileNameIsNotConverted_data();
    void outputWithoutFileNameIsNotConverted();
    void failureDetails_data();
    void failureDetails();
    void folderEntryGoesThroughTheSameSteps();
    void sizesShownWhileEncoding();
    void quittingEndsTheEncoder();
    void crashedProgramLeavesNoEncoder();
    void quitFromTheEventLoopEndsTheBatch();

private:
    // Runs the batch; sample() is called every few milliseconds while an encoder runs.
    void run(TConversionBatch &batch, const std::function<void()> &sample = {});
    void setRules(const QString &rules);
    QString source(const QString &name);

    QScopedPointer<QTemporaryDir> m_dir;
    QScopedPointer<BatchTestHost> m_host;
    QScopedPointer<MessageRecorder> m_messages;
    QString m_log;
    QList<ThumbnailRun> m_thumbs;
    QMap<QString, QByteArray> m_thumbnailFor; // source -> picture the thumbnail run writes
    int m_beeps = 0;
};

void TestBatch::init()
{
    m_dir.reset(new QTemporaryDir);
    m_host.reset(new BatchTestHost);
    m_messages.reset(new MessageRecorder);
    m_log = m_dir->filePath("encoder.log");
    m_thumbs.clear();
    m_thumbnailFor.clear();
    QDir().mkpath(m_dir->filePath("app"));
    m_host->AppDir = m_dir->filePath("app");
    m_host->Settings.Codec = QStringLiteral("MPEG4");
    m_host->Settings.OutputFolder = m_dir->filePath("out/new/deep");
    m_host->Window.show();
    qputenv("FAKE_ENCODER_LOG", m_log.toLocal8Bit());
    qunsetenv("FAKE_ENCODER_ACTION");
    qunsetenv("FAKE_ENCODER_RULES");
    // The record of outputs under way (a killed child leaves its own) stays here.
    qputenv("XDG_STATE_HOME", m_dir->filePath("state").toLocal8Bit());
    m_beeps = BeepCount();
    SetShellHooks({{}, [this](const QString &program, const QStringList &args) {
                       ThumbnailRun t;
                       t.program = program;
                       t.args = args;
                       if (TProgressForm1 *f = ProgressForm1.data()) {
                           t.barPosition = f->ProgressBar1->Position();
                           t.barMax = f->ProgressBar1->Max();
                           t.label = f->Label1->text();
                           t.formVisible = f->isVisible();
                       }
                       t.mainEnabled = m_host->Window.isEnabled();
                       m_thumbs << t;
                       const QString src = args.value(1);
                       // Like FFmpeg without -y, an existing picture is not overwritten.
                       if (m_thumbnailFor.contains(src) && !QFile::exists(args.last()))
                           WriteFile("/", args.last(), m_thumbnailFor.value(src));
                       return true;
                   }});
}

void TestBatch::cleanup()
{
    SetShellHooks({});
    m_host.reset();
    flushDeletes();
    m_messages.reset();
}

QString TestBatch::source(const QString &name)
{
    return WriteFile(m_dir->filePath("src"), name, "source video " + name.toUtf8());
}

void TestBatch::setRules(const QString &rules)
{
    const QString path = WriteFile(m_dir->path(), "rules.txt", rules.toUtf8());
    qputenv("FAKE_ENCODER_RULES", path.toLocal8Bit());
}

void TestBatch::run(TConversionBatch &batch, const std::function<void()> &sample)
{
    batch.EncoderProgram = QStringLiteral(FAKE_ENCODER_PATH);
    m_host->Run(batch, sample);
}

void TestBatch::emptyListDoesNothing()
{
    TConversionBatch batch(*m_host);
    run(batch);
    QVERIFY(ProgressForm1.isNull());
    QCOMPARE(BeepCount(), m_beeps);
    QCOMPARE(m_messages->count(), 0);
    QVERIFY(m_thumbs.isEmpty());
    QVERIFY(!QFile::exists(m_log));
    QVERIFY(!QDir(m_dir->filePath("out")).exists());
}

void TestBatch::twoPassesThreeFiles()
{
    const QStringList files{source("a.avi"), source("b.AVI"), source("c")};
    m_host->Entries = files;
    m_host->Settings.TwoPass = true;
    m_host->OutputExt = QStringLiteral(".3GP");
    TConversionBatch batch(*m_host);
    QCOMPARE(batch.PauseMs, 1000);
    QElapsedTimer clock;
    clock.start();
    run(batch);
    // Six passes, each with its fixed one-second pause.
    QVERIFY2(clock.elapsed() >= 6000, qPrintable(QString::number(clock.elapsed())));

    const QString out = m_host->Settings.OutputFolder;
    const QStringList outputs{out + "/a.3gp", out + "/b.3gp", out + "/c.3gp"};
    const QList<LoggedRun> runs = ReadEncoderLog(m_log);
    QCOMPARE(runs.size(), 6);
    QCOMPARE(m_thumbs.size(), 6);
    for (int k = 0; k < 6; ++k) {
        const int file = k / 2, pass = k % 2 + 1;
        EncodingSettings s = m_host->Settings;
        s.OutputExt = QStringLiteral(".3gp");
        const QStringList expected =
            BuildConversionCommand(pass, files[file], outputs[file], s).Arguments;
        QCOMPARE(runs[k].args, expected);
        QCOMPARE(m_thumbs[k].program, QStringLiteral("ffmpeg"));
        QCOMPARE(m_thumbs[k].args, BuildThumbnailArguments(files[file], m_host->AppDir));
        QCOMPARE(m_thumbs[k].barPosition, file);
        QCOMPARE(m_thumbs[k].barMax, 3);
        QCOMPARE(m_thumbs[k].label,
                 FileNamePart(files[file]) + " -> " + FileNamePart(outputs[file]));
        QVERIFY(!m_thumbs[k].mainEnabled);
        QVERIFY(m_thumbs[k].formVisible);
    }
    for (const QString &o : outputs)
        QCOMPARE(ReadFile(o), QByteArray("fake 3gp output\n"));
    QCOMPARE(m_host->OutputExt, QStringLiteral(".3gp"));
    QCOMPARE(m_host->SourceFile, files[2]);
    QCOMPARE(m_host->OutputFile, outputs[2]);
    QCOMPARE(m_host->QuotedOutputFile, "\"" + outputs[2] + "\"");
    QCOMPARE(m_messages->count(), 0);
    QCOMPARE(BeepCount(), m_beeps + 1);
    QVERIFY(m_host->Window.isEnabled());
    flushDeletes();
    QVERIFY(ProgressForm1.isNull());
}

void TestBatch::settingsReadForEveryCommand()
{
    m_host->Entries = QStringList{source("a.avi"), source("b.avi")};
    m_host->Settings.TwoPass = true;
    // Hand changes during the batch: the frame rate moves on every read, and
    // two-pass is switched off after the first look.
    m_host->OnReadSettings = [this] {
        m_host->Settings.FrameRate += 1;
        if (m_host->SettingsReads > 1)
            m_host->Settings.TwoPass = false;
    };
    TConversionBatch batch(*m_host);
    batch.PauseMs = 20;
    run(batch);
    const QList<LoggedRun> runs = ReadEncoderLog(m_log);
    QCOMPARE(runs.size(), 4); // the pass count was read once, at the start
    QList<int> rates;
    for (const LoggedRun &r : runs)
        rates << r.args.at(r.args.indexOf("-r") + 1).toInt();
    for (int k = 1; k < rates.size(); ++k)
        QVERIFY2(rates[k] > rates[k - 1], "every command reads the controls afresh");
    // Switched off: the later commands carry no pass number.
    QVERIFY(!runs.last().args.contains("-pass"));
}

void TestBatch::cancelDuringPass1KeepsPass2()
{
    const QString file = source("clip.avi");
    m_host->Entries = QStringList{file};
    m_host->Settings.TwoPass = true;
    setRules("-pass 1\thang\n");
    const QString output = m_host->Settings.OutputFolder + "/clip.3gp";
    bool clicked = false;
    bool outputGoneBeforePass2 = false;
    TConversionBatch batch(*m_host);
    batch.PauseMs = 20;
    m_host->OnReadSettings = [&] {
        if (clicked)
            outputGoneBeforePass2 = !QFile::exists(output);
    };
    run(batch, [&] {
        // Wait until the hanging pass 1 has written its part, then cancel.
        if (!clicked && QFileInfo(output).size() > 0) {
            clicked = true;
            QTest::mouseClick(ProgressForm1->Button1, Qt::LeftButton);
        }
    });
    QVERIFY(clicked);
    QVERIFY2(outputGoneBeforePass2, "the cancelled pass's output is deleted");
    const QList<LoggedRun> runs = ReadEncoderLog(m_log);
    QCOMPARE(runs.size(), 2);
    QVERIFY(runs[0].args.contains("-an"));
    QCOMPARE(runs[1].args.at(runs[1].args.indexOf("-pass") + 1), QStringLiteral("2"));
    QVERIFY(processGone(runs[0].pid));
    // Pass 2 ran to its end and its output stays; a cancel is no failure.
    QCOMPARE(ReadFile(output), QByteArray("fake 3gp output\n"));
    QCOMPARE(m_messages->count(), 0);
    QCOMPARE(BeepCount(), m_beeps + 1);
}

void TestBatch::emptyOutputFolderEndsBatch()
{
    m_host->Entries = QStringList{source("a.avi")};
    m_host->Settings.OutputFolder.clear();
    TConversionBatch batch(*m_host);
    bool shown = false;
    SetMessageSink([&](MessageKind, const QString &text) {
        shown = ProgressForm1 && ProgressForm1->isVisible();
        QCOMPARE(text, TConversionBatch::UnknownErrorMessage());
    });
    run(batch);
    SetMessageSink({});
    QVERIFY2(shown, "the progress window was up when the message came");
    QCOMPARE(BeepCount(), m_beeps + 1);
    QVERIFY(m_thumbs.isEmpty());
    QVERIFY(!QFile::exists(m_log));
    QVERIFY(m_host->Window.isEnabled());
    flushDeletes();
    QVERIFY(ProgressForm1.isNull());
}

void TestBatch::missingEncoderEndsBatchWithMessage()
{
    m_host->Entries = QStringList{source("a.avi"), source("b.avi")};
    TConversionBatch batch(*m_host);
    batch.PauseMs = 20;
    batch.EncoderProgram = m_dir->filePath("no/such/ffmpeg");
    batch.Run();
    QCOMPARE(m_messages->texts(), QStringList{TConversionBatch::EncoderNotStartedMessage()});
    QCOMPARE(BeepCount(), m_beeps + 1);
    QCOMPARE(m_thumbs.size(), 1); // the rest of the batch did not run
    QVERIFY(m_host->Window.isEnabled());
    flushDeletes();
    QVERIFY(ProgressForm1.isNull());
}

void TestBatch::invalidThumbnailSkipsOnlyItsPass()
{
    const QString bad = source("bad.avi"), good = source("good.avi");
    m_host->Entries = QStringList{bad, good};
    m_thumbnailFor[bad] = "this is not a JPEG";
    m_thumbnailFor[good] = sampleJpeg();
    QVERIFY(!m_thumbnailFor[good].isEmpty());
    setRules("good.avi\tslow 300\n");
    TConversionBatch batch(*m_host);
    batch.PauseMs = 20;
    QSize shownPicture;
    run(batch, [&] {
        const QPixmap p = ProgressForm1->Image1->pixmap();
        if (!p.isNull())
            shownPicture = p.size();
    });
    const QList<LoggedRun> runs = ReadEncoderLog(m_log);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs[0].args.at(1), good);
    // The broken picture was removed, so the next pass could show its own.
    QCOMPARE(shownPicture, QSize(80, 60));
    QVERIFY(!QFile::exists(ThumbnailPath(m_host->AppDir)));
    QCOMPARE(m_messages->texts(), QStringList{TConversionBatch::UnsupportedFilesMessage()});
    QCOMPARE(BeepCount(), m_beeps + 2);
}

void TestBatch::skippedPass2LeavesNoPass1File()
{
    // Pass 1 writes its file; pass 2 finds a broken thumbnail and is not run.
    const QString a = source("a.avi");
    m_host->Entries = QStringList{a};
    m_host->Settings.TwoPass = true;
    m_thumbnailFor[a] = sampleJpeg();
    setRules("a.avi\tslow 200\n");
    TConversionBatch batch(*m_host);
    batch.PauseMs = 20;
    run(batch, [&] { m_thumbnailFor[a] = "this is not a JPEG"; });
    QCOMPARE(ReadEncoderLog(m_log).size(), 1);
    QCOMPARE(m_messages->texts(), QStringList{TConversionBatch::UnsupportedFilesMessage()});
    // Pass 1's file has no sound: it is no result.
    QVERIFY(!QFile::exists(m_host->OutputFile));
}

void TestBatch::encoderResult_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("reported");
    QTest::newRow("success") << "write" << false;
    QTest::newRow("no picture, still success") << "nowrite" << false;
    QTest::newRow("exit status 1") << "fail 1" << true;
    QTest::newRow("killed by a signal") << "crash" << true;
}

void TestBatch::encoderResult()
{
    QFETCH(QString, action);
    QFETCH(bool, reported);
    m_host->Entries = QStringList{source("a.avi"), source("b.avi")};
    setRules("a.avi\t" + action + "\n");
    TConversionBatch batch(*m_host);
    batch.PauseMs = 20;
    run(batch);
    QCOMPARE(ReadEncoderLog(m_log).size(), 2); // the next entry still runs
    QCOMPARE(m_messages->texts(),
             reported ? QStringList{TConversionBatch::UnsupportedFilesMessage()} : QStringList());
    QCOMPARE(BeepCount(), m_beeps + (reported ? 2 : 1));
}

void TestBatch::sameFileIsNotConverted_data()
{
    QTest::addColumn<bool>("throughLink");
    QTest::newRow("source in the output folder") << false;
    QTest::newRow("output is a link to the source") << true;
}

void TestBatch::sameFileIsNotConverted()
{
    QFETCH(bool, throughLink);
    const QString out = m_host->Settings.OutputFolder;
    QDir().mkpath(out);
    QString clip;
    if (throughLink) {
        clip = source("clip.3gp");
        QVERIFY(QFile::link(clip, out + "/clip.3gp"));
    } else {
        clip = WriteFile(out, "clip.3gp", "precious");
    }
    const QByteArray before = ReadFile(clip);
    m_host->Entries = QStringList{clip, source("other.avi")};
    TConversionBatch batch(*m_host);
    batch.PauseMs = 20;
    run(batch);
    const QList<LoggedRun> runs = ReadEncoderLog(m_log);
    QCOMPARE(runs.size(), 1);
    QVERIFY(runs[0].args.at(1).endsWith("other.avi"));
    QCOMPARE(ReadFile(clip), before);
    QCOMPARE(m_messages->texts(), QStringList{TConversionBatch::UnsupportedFilesMessage()});
}

void TestBatch::failureDetails_data()
{
    using F = BatchReport::Failure;
    QTest::addColumn<QString>("setUp");
    QTest::addColumn<QByteArray>("errors"); // what the encoder writes to its error output
    QTest::addColumn<QStringList>("block"); // the details' first block

    const auto reason = [](F kind, int code = 0) { return "  " + BatchReport::Reason(kind, code); };
    QTest::newRow("the source itself")
        << "own" << QByteArray() << QStringList{"clip.3gp -> clip.3gp", reason(F::OwnSource)};
    QTest::newRow("a listed file")
        << "listed" << QByteArray() << QStringList{"a.avi -> a.3gp", reason(F::ListedFile)};
    QTest::newRow("made from another file")
        << "made" << QByteArray() << QStringList{"clip.mp4 -> clip.3gp", reason(F::MadeByBatch)};
    QTest::newRow("no output name")
        << "noname" << QByteArray() << QStringList{".avi", reason(F::NoOutputName)};
    QTest::newRow("broken thumbnail")
        << "thumbnail" << QByteArray() << QStringList{"a.avi -> a.3gp", reason(F::Thumbnail)};
    QTest::newRow("encoder error, progress lines overwritten")
        << "fail 1"
        << QByteArray("ffmpeg version 5.1\nInput #0, avi, from 'a.avi':\n"
                      "frame=    1 fps=0.0\rframe=   20 fps=0.0\r[h264 @ 0x55] error while decoding\n"
                      "Conversion failed!\r\n")
        << QStringList{"a.avi -> a.3gp", reason(F::EncoderExit, 1),
                       "  Input #0, avi, from 'a.avi':", "  [h264 @ 0x55] error while decoding",
                       "  Conversion failed!"};
    QTest::newRow("encoder killed")
        << "crash" << QByteArray("Segmentation fault ahead\n")
        << QStringList{"a.avi -> a.3gp", reason(F::EncoderSignal, SIGSEGV),
                       "  Segmentation fault ahead"};
    QByteArray huge;
    for (int i = 0; i < 200000; ++i)
        huge += "frame=" + QByteArray::number(i) + " size=1kB time=00:00:01 bitrate=1kbit/s\r";
    huge += "\n" + QByteArray(300, 'x') + "\nthe last line\n";
    QTest::newRow("huge output")
        << "fail 69" << huge
        << QStringList{"a.avi -> a.3gp", reason(F::EncoderExit, 69),
                       "  frame=199999 size=1kB time=00:00:01 bitrate=1kbit/s",
                       "  " + QString(159, 'x') + QChar(0x2026), "  the last line"};
    QByteArray binary;
    for (int i = 0; i < 3000; ++i)
        binary += char((i * 37) % 256);
    QTest::newRow("binary output")
        << "fail 1" << binary + "\n\x1b[31mError\x1b[0m opening output\n"
        << QStringList{"a.avi -> a.3gp", reason(F::EncoderExit, 1), "  Error opening output"};
    QTest::newRow("not UTF-8")
        << "fail 1" << QByteArray("\x83\x47\x83\x89\x81\x5b: a.avi\n") // エラー in CP932
        << QStringList{"a.avi -> a.3gp", reason(F::EncoderExit, 1),
                       "  " + QString::fromUtf8("エラー: a.avi")};
}

void TestBatch::failureDetails()
{
    QFETCH(QString, setUp);
    QFETCH(QByteArray, errors);
    QFETCH(QStringList, block);
    const QString out = m_host->Settings.OutputFolder;
    QDir().mkpath(out);
    if (setUp == "own") {
        m_host->Entries = QStringList{WriteFile(out, "clip.3gp", "precious")};
    } else if (setUp == "listed") {
        m_host->Settings.OutputFolder = m_dir->filePath("src");
        m_host->Entries = QStringList{source("a.avi"), source("a.3gp")};
    } else if (setUp == "made") {
        m_host->Entries = QStringList{source("x/clip.avi"), source("y/clip.mp4")};
    } else if (setUp == "noname") {
        m_host->OutputExt = ".";
        m_host->Entries = QStringList{source(".avi")};
    } else if (setUp == "thumbnail") {
        m_host->Entries = QStringList{source("a.avi")};
        m_thumbnailFor[m_host->Entries[0]] = "this is not a JPEG";
    } else {
        m_host->Entries = QStringList{source("a.avi")};
        setRules("a.avi\t" + setUp + "\n");
        qputenv("FAKE_ENCODER_STDERR", WriteFile(m_dir->path(), "errors", errors).toLocal8Bit());
    }
    QList<QPair<QString, QString>> boxes;
    SetDetailedMessageSink([&](MessageKind, const QString &text, const QString &details) {
        boxes << qMakePair(text, details);
    });
    TConversionBatch batch(*m_host);
    batch.PauseMs = 20;
    run(batch);
    SetDetailedMessageSink({});
    qunsetenv("FAKE_ENCODER_STDERR");

    // The designed message, once, with the details behind it.
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].first, TConversionBatch::UnsupportedFilesMessage());
    const QStringList blocks = boxes[0].second.split("\n\n");
    QCOMPARE(blocks.first().split('\n'), block);
    QVERIFY(m_host->Window.isEnabled());
}

void TestBatch::outputWithoutFileNameIsNotConverted_data()
{
    QTest::addColumn<QString>("ext");
    QTest::newRow("the output folder itself") << ".";
    QTest::newRow("the output folder's parent") << "..";
}

void TestBatch::outputWithoutFileNameIsNotConverted()
{
    // A source named only by its extension and a preset with an empty (or
    // ".") extension field leave no name for the output.
    QFETCH(QString, ext);
    m_host->OutputExt = ext;
    m_host->Entries = QStringList{source(".avi")};
    TConversionBatch batch(*m_host);
    batch.PauseMs = 20;
    run(batch);
    QVERIFY(ReadEncoderLog(m_log).isEmpty());
    QVERIFY(m_thumbs.isEmpty());
    QCOMPARE(m_messages->texts(), QStringList{TConversionBatch::UnsupportedFilesMessage()});
    QCOMPARE(ReadFile(m_dir->filePath("src/.avi")), QByteArray("source video .avi"));
}

void TestBatch::folderEntryGoesThroughTheSameSteps()
{
    QDir().mkpath(m_dir->filePath("src/holiday.2024"));
    const QString folder = m_dir->filePath("src/holiday.2024");
    m_host->Entries = QStringList{folder};
    TConversionBatch batch(*m_host);
    batch.PauseMs = 20;
    run(batch);
    const QList<LoggedRun> runs = ReadEncoderLog(m_log);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs[0].args.at(1), folder);
    QCOMPARE(runs[0].args.last(), m_host->Settings.OutputFolder + "/holiday.3gp");
    QCOMPARE(m_thumbs.size(), 1);
    QCOMPARE(m_thumbs[0].label, QStringLiteral("holiday.2024 -> holiday.3gp"));
}

void TestBatch::sizesShownWhileEncoding()
{
    const QString file = WriteFile(m_dir->filePath("src"), "big.avi", QByteArray(2500000, 'v'));
    m_host->Entries = QStringList{file};
    qputenv("FAKE_ENCODER_ACTION", "grow 2600");
    TConversionBatch batch(*m_host);
    batch.PauseMs = 20;
    QStringList shown;
    run(batch, [&] {
        const QString text = ProgressForm1->Label2->text();
        if (shown.isEmpty() || shown.last() != text)
            shown << text;
    });
    // "0KB -> 0KB" until the first tick, then the source's 2500KB and a growing output.
    QCOMPARE(shown.value(0), QStringLiteral("0KB -> 0KB"));
    QVERIFY2(shown.size() >= 3, qPrintable(shown.join(" | ")));
    qint64 last = -1;
    for (const QString &s : shown.mid(1)) {
        QVERIFY2(s.startsWith("2500KB -> "), qPrintable(s));
        const qint64 kb = s.mid(10).chopped(2).toLongLong();
        QVERIFY(kb > last);
        last = kb;
    }
}

void TestBatch::quittingEndsTheEncoder()
{
    m_host->Entries = QStringList{source("a.avi"), source("b.avi"), source("c.avi")};
    qputenv("FAKE_ENCODER_ACTION", "hang");
    TConversionBatch batch(*m_host);
    batch.PauseMs = 20;
    // Keeps the test application from really quitting: it sees the event
    // after the batch, which installs its filter later.
    struct Eater : QObject
    {
        bool eventFilter(QObject *, QEvent *event) override
        {
            return event->type() == QEvent::Quit;
        }
    } eater;
    QCoreApplication::instance()->installEventFilter(&eater);
    bool quit = false;
    QElapsedTimer clock;
    run(batch, [&] {
        if (!quit && QFileInfo(m_host->OutputFile).size() > 0) {
            quit = true;
            clock.start();
            // What QApplication::quit() and closing the last window send.
            QEvent event(QEvent::Quit);
            QCoreApplication::sendEvent(QCoreApplication::instance(), &event);
        } else if (quit && clock.elapsed() > 20000) {
            m_host->EncoderProcess->Terminate(); // not ended by the quit: fail, don't hang
        }
    });
    QVERIFY(quit);
    QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
    const QList<LoggedRun> runs = ReadEncoderLog(m_log);
    QCOMPARE(runs.size(), 1);
    QVERIFY(processGone(runs[0].pid));
    QVERIFY(!QFile::exists(m_host->OutputFile)); // incomplete, so removed
    QCOMPARE(m_messages->count(), 0);
    QVERIFY(m_host->Window.isEnabled());
    QVERIFY(!TConversionBatch::Current());
}

void TestBatch::crashedProgramLeavesNoEncoder()
{
    // A program running a batch is killed outright; its encoder must not stay.
    QProcess child;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("FAKE_ENCODER_ACTION", "hang");
    e.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(e);
    child.start(QCoreApplication::applicationFilePath(), {"--batch-child", m_dir->path()});
    QVERIFY(child.waitForStarted());
    QElapsedTimer t;
    t.start();
    while (ReadEncoderLog(m_log).isEmpty() && t.elapsed() < 20000)
        QThread::msleep(20);
    const QList<LoggedRun> runs = ReadEncoderLog(m_log);
    QCOMPARE(runs.size(), 1);
    QVERIFY(!processGone(runs[0].pid));
    ::kill(pid_t(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished(5000));
    t.restart();
    while (!processGone(runs[0].pid) && t.elapsed() < 5000)
        QThread::msleep(10);
    QVERIFY(processGone(runs[0].pid));
}

void TestBatch::quitFromTheEventLoopEndsTheBatch()
{
    // The real program: the batch runs inside the application's event loop,
    // and something calls quit() while the encoder runs.
    QProcess child;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("FAKE_ENCODER_ACTION", "hang");
    e.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(e);
    child.start(QCoreApplication::applicationFilePath(), {"--quit-child", m_dir->path()});
    QVERIFY(child.waitForStarted());
    const bool finished = child.waitForFinished(15000);
    if (!finished)
        child.kill();
    QVERIFY2(finished, "the batch went on after quit()");
    QCOMPARE(child.exitCode(), 0);
    const QList<LoggedRun> runs = ReadEncoderLog(m_log);
    QCOMPARE(runs.size(), 1); // no further entries after the quit
    QVERIFY(processGone(runs[0].pid));
}

// The programs the last two tests run: a batch whose encoder never ends,
// straight away or from the event loop with a quit() once the encoder runs.
static int batchChild(const QString &dir, bool quitFromLoop)
{
    BatchTestHost host;
    host.AppDir = dir;
    host.Entries =
        QStringList{WriteFile(dir, "child/a.avi", "video"), WriteFile(dir, "child/b.avi", "video")};
    host.Settings.Codec = QStringLiteral("MPEG4");
    host.Settings.OutputFolder = dir + "/child-out";
    qputenv("FAKE_ENCODER_LOG", (dir + "/encoder.log").toLocal8Bit());
    SetShellHooks({{}, [](const QString &, const QStringList &) { return true; }});
    MessageRecorder quiet;
    TConversionBatch batch(host);
    batch.PauseMs = 0;
    batch.EncoderProgram = QStringLiteral(FAKE_ENCODER_PATH);
    if (!quitFromLoop) {
        batch.Run();
        return 0;
    }
    QTimer::singleShot(0, [&] { batch.Run(); });
    QTimer quitter;
    QObject::connect(&quitter, &QTimer::timeout, [&] {
        // Once the encoder has started for real (it logs first thing).
        if (host.EncoderProcess && host.EncoderProcess->IsRunning() &&
            !ReadEncoderLog(dir + "/encoder.log").isEmpty())
            QCoreApplication::quit();
    });
    quitter.start(50);
    QCoreApplication::exec();
    return TConversionBatch::Current() ? 1 : 0;
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--batch-child")
        return batchChild(QString::fromLocal8Bit(argv[2]), false);
    if (argc == 3 && QByteArray(argv[1]) == "--quit-child")
        return batchChild(QString::fromLocal8Bit(argv[2]), true);
    TestBatch test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_batch.moc"
