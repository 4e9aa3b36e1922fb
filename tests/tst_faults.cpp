// The conversion under faults: a failing encoder, an output folder that
// cannot be used, sources that vanish or are no files, awkward names, outputs
// that collide. Each case checks what the user is shown and that nothing is
// lost: the sources stay byte for byte, no file but the expected outputs
// changes, the settings file beside the program stays as it was.
//
// The fake encoder plays the faults an encoder can have; the installed FFmpeg
// (through the adapter) is used where the case is about what FFmpeg does with
// a path or a file.

#include "Application.h"
#include "BatchTestHost.h"
#include "ConversionBatch.h"
#include "FaultSupport.h"
#include "FileNames.h"
#include "Files.h"
#include "Misc.h"
#include "Process.h"
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
#include <QTimer>

#include <csignal>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// What the progress window showed when a pass asked for its thumbnail.
struct ThumbnailRun
{
    QStringList args;
    QString label;
};

QStringList loggedSources(const QString &log)
{
    QStringList sources;
    for (const QString &line : QString::fromUtf8(ReadFile(log)).split('\n', Qt::SkipEmptyParts)) {
        const QStringList parts = line.split('\t');
        sources << parts.value(parts.indexOf("-i") + 1);
    }
    return sources;
}

QString unsupported()
{
    return TConversionBatch::UnsupportedFilesMessage();
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// An earlier result at the output path, with bytes no text has.
const char OlderText[] = "an earlier result \x00\xFF\x80 of a.avi\n";
const QByteArray OlderBytes(OlderText, sizeof OlderText - 1);

// The names in a folder, hidden ones too.
QStringList namesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

// A FAT file system on a loop device, for as long as the object lives.
struct FatMount
{
    QTemporaryDir image;
    QString point;
    bool mounted = false;
    QString why;

    explicit FatMount(const QString &at) : point(at)
    {
        QDir().mkpath(point);
        const QString file = image.filePath("fat.img");
        if (geteuid() != 0) {
            why = "mounting needs root";
            return;
        }
        if (QStandardPaths::findExecutable("mkfs.vfat").isEmpty()) {
            why = "mkfs.vfat (dosfstools) is not installed";
            return;
        }
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly) || !f.resize(16 * 1024 * 1024)) {
            why = "no room for the image";
            return;
        }
        f.close();
        QProcess mkfs;
        mkfs.start("mkfs.vfat", {file});
        if (!mkfs.waitForFinished(20000) || mkfs.exitCode() != 0) {
            why = "mkfs.vfat failed";
            return;
        }
        QProcess mount;
        mount.start("mount", {"-o", "loop", "-t", "vfat", file, point});
        mounted = mount.waitForFinished(20000) && mount.exitCode() == 0;
        if (!mounted)
            why = "this machine cannot loop-mount: " +
                  QString::fromLocal8Bit(mount.readAllStandardError()).trimmed();
    }
    ~FatMount()
    {
        if (mounted)
            umount2(QFile::encodeName(point).constData(), MNT_DETACH);
    }
};
} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void encoderFaults_data();
    void encoderFaults();
    void outputFolderUnusable_data();
    void outputFolderUnusable();
    void sourceVanishesMidBatch();
    void pipeSourceStaysCancellable();
    void pipeSourceWithWriterConverts();
    void deviceOrFolderSource_data();
    void deviceOrFolderSource();
    void pathArguments_data();
    void pathArguments();
    void awkwardNames_data();
    void awkwardNames();
    void sparseSourceOf3GB_data();
    void sparseSourceOf3GB();
    void twoEntriesOneOutput_data();
    void twoEntriesOneOutput();
    void outputFolderInsideSourceTree();
    void olderFileKept_data();
    void olderFileKept();

private:
    void run(TConversionBatch &batch, bool real, const std::function<void()> &sample = {});
    void needFfmpeg();
    QString clip(const QString &relative);
    QString journalFolder() const;
    QMap<QString, QString> snapshot() const;
    // The entries changed since init(), without the test's own files.
    QStringList changed() const;
    void setRules(const QString &rules);
    void checkNoEncoderLeft();

    QScopedPointer<QTemporaryDir> m_dir;
    QScopedPointer<QTemporaryDir> m_runDir; // the program's private folder for the run
    QScopedPointer<BatchTestHost> m_host;
    QScopedPointer<MessageRecorder> m_messages;
    QMap<QString, QString> m_before;
    QString m_log;
    QString m_clip; // made once per test program
    QString m_previousDir;
    QList<ThumbnailRun> m_thumbs;
    bool m_realThumbnails = false;
    int m_beeps = 0;
};

void TestFaults::initTestCase()
{
    m_previousDir = QDir::currentPath();
    static QTemporaryDir clips;
    if (HaveFfmpeg()) {
        m_clip = clips.filePath("clip.avi");
        QVERIFY(MakeClip(m_clip));
    }
}

void TestFaults::init()
{
    m_dir.reset(new QTemporaryDir);
    m_host.reset(new BatchTestHost);
    m_messages.reset(new MessageRecorder);
    m_log = m_dir->filePath("encoder.log");
    m_thumbs.clear();
    m_realThumbnails = false;
    QDir().mkpath(m_dir->filePath("src"));
    QDir().mkpath(m_dir->filePath("out"));
    // The program's folder with its files, which no conversion may touch.
    m_host->AppDir = m_dir->filePath("app");
    WriteFile(m_host->AppDir, "Pocketclips.ini", "[SET]\r\nM_LEFT=40\r\n[SET2]\r\nC11=/phone\r\n");
    WriteFile(m_host->AppDir, "profile.txt",
              "Phone,3gp,176x144,MPEG4,10fps,128kbps,AAC,8000Hz,32kbps\r\n");
    m_host->Settings.Codec = QStringLiteral("MPEG4");
    m_host->Settings.SizePosition = 0;
    m_host->Settings.RatePosition = 4;
    m_host->Settings.FrameRate = 10;
    m_host->Settings.VideoBitRate = 128;
    m_host->Settings.AudioBitRate = 32;
    m_host->Settings.OutputFolder = m_dir->filePath("out");
    m_host->Window.show();
    qputenv("FAKE_ENCODER_LOG", m_log.toLocal8Bit());
    qunsetenv("FAKE_ENCODER_ACTION");
    qunsetenv("FAKE_ENCODER_RULES");
    qunsetenv("POCKETCLIPS_FFMPEG");
    qputenv("XDG_STATE_HOME", m_dir->filePath("state").toLocal8Bit());
    m_runDir.reset(new QTemporaryDir);
    qputenv("POCKETCLIPS_RUN_DIR", m_runDir->path().toLocal8Bit());
    m_beeps = BeepCount();
    SetShellHooks({{}, [this](const QString &program, const QStringList &args) {
                       ThumbnailRun t;
                       t.args = args;
                       if (TProgressForm1 *f = ProgressForm1.data())
                           t.label = f->Label1->text();
                       m_thumbs << t;
                       if (!m_realThumbnails)
                           return true;
                       // As the shell runs it: detached, from PATH, no input.
                       return ChildProcess::StartDetached(program, args);
                   }});
}

void TestFaults::cleanup()
{
    QDir::setCurrent(m_previousDir);
    SetShellHooks({});
    m_host.reset();
    flushDeletes();
    m_messages.reset();
    // Whatever ran on this test's files is gone.
    if (m_dir)
        QTRY_COMPARE_WITH_TIMEOUT(ProcessesWith(m_dir->path()), QList<qint64>(), 5000);
    // Folders a test made unreadable or read-only are given back for removal.
    if (m_dir)
        QProcess::execute("chmod", {"-R", "u+rwx", m_dir->path()});
    // QTemporaryDir cannot remove a name that is not UTF-8.
    if (m_dir)
        QProcess::execute("rm", {"-rf", "--", m_dir->path()});
}

void TestFaults::needFfmpeg()
{
    if (m_clip.isEmpty())
        QSKIP("FFmpeg is not installed");
    m_realThumbnails = true;
}

QString TestFaults::clip(const QString &relative)
{
    const QString path = m_dir->filePath(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    // Written by its bytes: the name may be no UTF-8.
    const QByteArray bytes =
        m_clip.isEmpty() ? "source video " + relative.toUtf8() : ReadFile(m_clip);
    const QByteArray native = EncodeFileName(path);
    const int fd = open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size())
        qFatal("cannot write the clip to %s", native.constData());
    close(fd);
    return path;
}

QString TestFaults::journalFolder() const
{
    return m_dir->filePath("state/Pocketclips");
}

QMap<QString, QString> TestFaults::snapshot() const
{
    QMap<QString, QString> all = TreeSnapshot(m_dir->path());
    for (auto it = all.begin(); it != all.end();) {
        const QString &key = it.key();
        const bool own = key == "encoder.log" || key == "rules.txt" || key == "state" ||
                         key.startsWith("state/");
        it = own ? all.erase(it) : std::next(it);
    }
    return all;
}

QStringList TestFaults::changed() const
{
    return ChangedEntries(m_before, snapshot());
}

void TestFaults::setRules(const QString &rules)
{
    const QString path = WriteFile(m_dir->path(), "rules.txt", rules.toUtf8());
    qputenv("FAKE_ENCODER_RULES", path.toLocal8Bit());
}

void TestFaults::run(TConversionBatch &batch, bool real, const std::function<void()> &sample)
{
    batch.EncoderProgram = BuildProgram(QString::fromUtf8(real ? ADAPTER_PATH : FAKE_ENCODER_PATH));
    batch.PauseMs = 20;
    m_before = snapshot();
    m_host->Run(batch, sample);
    QVERIFY(m_host->Window.isEnabled());
    flushDeletes();
    QVERIFY(ProgressForm1.isNull());
}

void TestFaults::checkNoEncoderLeft()
{
    QTRY_COMPARE_WITH_TIMEOUT(ProcessesWith(m_dir->path()), QList<qint64>(), 5000);
}

void TestFaults::encoderFaults_data()
{
    QTest::addColumn<QString>("program"); // fake, missing, or the adapter without FFmpeg
    QTest::addColumn<QString>("action");  // what the fake does for a.avi
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<int>("beeps");
    QTest::addColumn<int>("runs");           // fake encoder runs
    QTest::addColumn<QByteArray>("aOutput"); // null: no a.3gp afterwards
    QTest::addColumn<bool>("bConverted");
    QTest::addColumn<bool>("twoPass");       // the action then is pass 2's
    QTest::addColumn<QByteArray>("aBefore"); // an a.3gp from before the batch

    const QStringList failed{unsupported()};
    const QStringList notStarted{TConversionBatch::EncoderNotStartedMessage()};
    const QByteArray none;
    const QByteArray old("an older conversion");
    QTest::newRow("killed by a signal")
        << "fake"
        << "crash" << false << failed << 2 << 2 << none << true << false << none;
    // A failed pass leaves no part of a file that would look like a result.
    QTest::newRow("killed after writing part")
        << "fake"
        << "partialcrash" << false << failed << 2 << 2 << none << true << false << none;
    QTest::newRow("exits with status 1")
        << "fake"
        << "fail 1" << false << failed << 2 << 2 << none << true << false << none;
    QTest::newRow("exits 1 after writing part")
        << "fake"
        << "partial 1" << false << failed << 2 << 2 << none << true << false << none;
    QTest::newRow("pass 2 exits 1 after pass 1 wrote")
        << "fake"
        << "fail 1" << false << failed << 2 << 4 << none << true << true << none;
    QTest::newRow("pass 2 killed after writing part")
        << "fake"
        << "partialcrash" << false << failed << 2 << 4 << none << true << true << none;
    QTest::newRow("exits 1 without writing: an older file stays")
        << "fake"
        << "fail 1" << false << failed << 2 << 2 << old << true << false << old;
    // The older file waited aside while the encoder wrote: it is back.
    QTest::newRow("exits 1 after overwriting an older file")
        << "fake"
        << "partial 1" << false << failed << 2 << 2 << old << true << false << old;
    // The batch trusts the encoder's word: a cut or garbled file it calls
    // done is kept and not reported.
    QTest::newRow("truncated output, exit 0") << "fake"
                                              << "partial 0" << false << QStringList() << 1 << 2
                                              << QByteArray("partial") << true << false << none;
    QTest::newRow("garbage output, exit 0")
        << "fake"
        << "write" << false << QStringList() << 1 << 2 << QByteArray("fake 3gp output\n") << true
        << false << none;
    QTest::newRow("hangs until cancelled")
        << "fake"
        << "hang" << true << QStringList() << 1 << 2 << none << true << false << none;
    // The batch ends at the first file, without going through the others.
    QTest::newRow("missing") << "missing"
                             << "" << false << notStarted << 1 << 0 << none << false << false
                             << none;
    QTest::newRow("adapter finds no FFmpeg")
        << "adapter"
        << "" << false << notStarted << 1 << 0 << none << false << false << none;
}

void TestFaults::encoderFaults()
{
    QFETCH(QString, program);
    QFETCH(QString, action);
    QFETCH(bool, cancel);
    QFETCH(QStringList, messages);
    QFETCH(int, beeps);
    QFETCH(int, runs);
    QFETCH(QByteArray, aOutput);
    QFETCH(bool, bConverted);
    QFETCH(bool, twoPass);
    QFETCH(QByteArray, aBefore);

    const QString a = clip("src/a.avi"), b = clip("src/b.avi");
    m_host->Entries = QStringList{a, b};
    m_host->Settings.TwoPass = twoPass;
    if (!aBefore.isNull())
        WriteFile(m_host->Settings.OutputFolder, "a.3gp", aBefore);
    if (!action.isEmpty())
        setRules((twoPass ? "a.avi -y -pass 2\t" : "a.avi\t") + action + "\n");
    TConversionBatch batch(*m_host);
    bool clicked = false;
    std::function<void()> sample;
    if (cancel) {
        sample = [&] {
            // Once the hanging encoder has written its part, as a user would see it grow.
            if (!clicked && QFileInfo(m_host->OutputFile).size() > 0) {
                clicked = true;
                QTest::mouseClick(ProgressForm1->Button1, Qt::LeftButton);
            }
        };
    }
    if (program == "missing") {
        batch.EncoderProgram = m_dir->filePath("nowhere/ffmpeg");
        batch.PauseMs = 20;
        m_before = snapshot();
        batch.Run();
    } else {
        if (program == "adapter")
            qputenv("POCKETCLIPS_FFMPEG", m_dir->filePath("nowhere/ffmpeg").toLocal8Bit());
        run(batch, program == "adapter", sample);
    }
    QCOMPARE(clicked, cancel);
    QCOMPARE(m_messages->texts(), messages);
    QCOMPARE(BeepCount(), m_beeps + beeps);
    QCOMPARE(loggedSources(m_log).size(), runs);

    const QString aOut = m_host->Settings.OutputFolder + "/a.3gp";
    const QString bOut = m_host->Settings.OutputFolder + "/b.3gp";
    QCOMPARE(QFile::exists(aOut), !aOutput.isNull());
    if (!aOutput.isNull())
        QCOMPARE(ReadFile(aOut), aOutput);
    QCOMPARE(QFile::exists(bOut), bConverted);
    QStringList expected;
    if (aOutput != aBefore)
        expected << "out/a.3gp";
    if (bConverted)
        expected << "out/b.3gp";
    QCOMPARE(changed(), expected);
    checkNoEncoderLeft();
    QVERIFY(m_host->Window.isEnabled());
}

void TestFaults::outputFolderUnusable_data()
{
    QTest::addColumn<QString>("folder"); // below the test folder unless absolute
    QTest::newRow("cannot be created: a file in the way") << "blocker.txt/out";
    // Nobody, root included, creates files in /proc.
    QTest::newRow("cannot be written: /proc") << "/proc";
    QTest::newRow("cannot be written: a read-only folder") << "locked";
}

void TestFaults::outputFolderUnusable()
{
    QFETCH(QString, folder);
    needFfmpeg();
    WriteFile(m_dir->path(), "blocker.txt", "a file where a folder should be");
    QDir().mkpath(m_dir->filePath("locked"));
    QFile::setPermissions(m_dir->filePath("locked"), QFile::ReadOwner | QFile::ExeOwner);
    if (folder == "locked" && geteuid() == 0) {
        // Root writes into read-only folders: an ordinary user runs this row.
        const NobodyRun run =
            RunAsNobody("outputFolderUnusable:" + QString(QTest::currentDataTag()), {ADAPTER_PATH});
        if (!run.started)
            QSKIP(qPrintable(run.whyNot));
        QVERIFY2(run.passed, qPrintable(run.output));
        return;
    }
    m_host->Entries = QStringList{clip("src/a.avi"), clip("src/b.avi")};
    m_host->Settings.OutputFolder = folder.startsWith('/') ? folder : m_dir->filePath(folder);
    TConversionBatch batch(*m_host);
    run(batch, true);
    // Both files were tried; each attempt failed; one message at the end.
    QCOMPARE(m_thumbs.size(), 2);
    QCOMPARE(m_messages->texts(), QStringList{unsupported()});
    QCOMPARE(BeepCount(), m_beeps + 2);
    QVERIFY(m_host->EncoderProcess && m_host->EncoderProcess->Exited() &&
            m_host->EncoderProcess->ExitCode() != 0);
    QCOMPARE(changed(), QStringList());
    QVERIFY(!QFile::exists(m_host->Settings.OutputFolder + "/a.3gp"));
}

void TestFaults::sourceVanishesMidBatch()
{
    needFfmpeg();
    const QString a = clip("src/a.avi"), b = clip("src/b.avi"), c = clip("src/c.avi");
    m_host->Entries = QStringList{a, b, c};
    // While a.avi is being converted, b.avi is deleted by someone else.
    m_host->OnReadSettings = [&] {
        if (m_host->SourceFile == a)
            QFile::remove(b);
    };
    TConversionBatch batch(*m_host);
    run(batch, true);
    QCOMPARE(m_messages->texts(), QStringList{unsupported()});
    QCOMPARE(BeepCount(), m_beeps + 2);
    QCOMPARE(m_thumbs.size(), 3);
    QVERIFY(Is3gp(m_dir->filePath("out/a.3gp")));
    QVERIFY(!QFile::exists(m_dir->filePath("out/b.3gp")));
    QVERIFY(Is3gp(m_dir->filePath("out/c.3gp")));
    QCOMPARE(changed(), (QStringList{"out/a.3gp", "out/c.3gp", "src/b.avi"}));
}

void TestFaults::pipeSourceStaysCancellable()
{
    needFfmpeg();
    // A named pipe nobody writes: FFmpeg waits for it for ever.
    const QString fifo = m_dir->filePath("src/feed");
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString after = clip("src/later.avi");
    m_host->Entries = QStringList{fifo, after};
    TConversionBatch batch(*m_host);
    QElapsedTimer waiting, sinceLast;
    qint64 longestGap = 0;
    int samples = 0;
    bool clicked = false;
    qint64 sizeSeen = -2;
    run(batch, true, [&] {
        if (m_host->SourceFile != fifo || clicked)
            return;
        if (!waiting.isValid()) {
            waiting.start();
            sinceLast.start();
            ProgressForm1->SourceSize = -2; // a tick sets it from the pipe
        }
        longestGap = qMax(longestGap, sinceLast.restart());
        ++samples;
        // Wait past a tick of the size display, then cancel.
        if (waiting.elapsed() > 1500) {
            sizeSeen = ProgressForm1->SourceSize;
            clicked = true;
            QTest::mouseClick(ProgressForm1->Button1, Qt::LeftButton);
        }
    });
    QVERIFY(clicked);
    // The size display read the pipe without blocking, and the window kept
    // handling events all the while.
    QCOMPARE(sizeSeen, qint64(0));
    QVERIFY2(longestGap < 2000, qPrintable(QString::number(longestGap)));
    QVERIFY(samples > 20);
    // A cancel is no failure; the next file was converted.
    QCOMPARE(m_messages->texts(), QStringList());
    QCOMPARE(BeepCount(), m_beeps + 1);
    QVERIFY(Is3gp(m_dir->filePath("out/later.3gp")));
    // No thumbnail run waits on the pipe: only the file had one.
    QCOMPARE(m_thumbs.size(), 1);
    QCOMPARE(m_thumbs[0].args.value(1), after);
    QCOMPARE(changed(), QStringList{"out/later.3gp"});
    checkNoEncoderLeft();
}

void TestFaults::pipeSourceWithWriterConverts()
{
    needFfmpeg();
    // Someone feeds a clip into the pipe: the conversion must get all of it.
    const QString fifo = m_dir->filePath("src/feed.avi");
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QProcess writer;
    writer.start("sh", {"-c", "exec cat \"$1\" > \"$2\"", "sh", m_clip, fifo});
    QVERIFY(writer.waitForStarted());
    m_host->Entries = QStringList{fifo};
    TConversionBatch batch(*m_host);
    QElapsedTimer clock;
    clock.start();
    bool gaveUp = false;
    run(batch, true, [&] {
        if (!gaveUp && clock.elapsed() > 15000) {
            gaveUp = true;
            QTest::mouseClick(ProgressForm1->Button1, Qt::LeftButton);
        }
    });
    QVERIFY2(!gaveUp, "the conversion never got the pipe's data");
    QVERIFY(writer.state() == QProcess::NotRunning || writer.waitForFinished(5000));
    QCOMPARE(m_messages->texts(), QStringList());
    QVERIFY(m_host->EncoderProcess->Succeeded());
    QVERIFY(Is3gp(m_dir->filePath("out/feed.3gp")));
    QVERIFY(m_thumbs.isEmpty());
    QCOMPARE(changed(), QStringList{"out/feed.3gp"});
}

void TestFaults::deviceOrFolderSource_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("thumbnail");
    QTest::newRow("a device") << "/dev/zero" << false;
    // A folder goes through the same steps as a file; FFmpeg refuses it.
    QTest::newRow("a folder") << "src/holiday.2024" << true;
}

void TestFaults::deviceOrFolderSource()
{
    QFETCH(QString, source);
    QFETCH(bool, thumbnail);
    needFfmpeg();
    const QString path = source.startsWith('/') ? source : m_dir->filePath(source);
    QDir().mkpath(m_dir->filePath("src/holiday.2024"));
    WriteFile(m_dir->filePath("src/holiday.2024"), "inside.avi", "kept");
    m_host->Entries = QStringList{path};
    TConversionBatch batch(*m_host);
    run(batch, true);
    QCOMPARE(m_messages->texts(), QStringList{unsupported()});
    QCOMPARE(BeepCount(), m_beeps + 2);
    QCOMPARE(m_thumbs.size(), thumbnail ? 1 : 0);
    QCOMPARE(changed(), QStringList());
}

void TestFaults::pathArguments_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("argument");
    QTest::newRow("absolute") << "/v/-y.avi"
                              << "/v/-y.avi";
    QTest::newRow("absolute with a colon") << "/v/take:2.avi"
                                           << "/v/take:2.avi";
    QTest::newRow("relative") << "clips/a.avi"
                              << "clips/a.avi";
    QTest::newRow("relative, colon further in") << "clips/take:2.avi"
                                                << "clips/take:2.avi";
    QTest::newRow("leading dash") << "-y.avi"
                                  << "./-y.avi";
    QTest::newRow("a lone dash") << "-"
                                 << "./-";
    QTest::newRow("a protocol's look") << "http:clip.avi"
                                       << "./http:clip.avi";
    QTest::newRow("colon in the first folder") << "a:b/clip.3gp"
                                               << "./a:b/clip.3gp";
    // FFmpeg's subfile protocol: "subfile," and a ':' anywhere after it.
    QTest::newRow("subfile, colon past a folder") << "subfile,a/b:c.avi"
                                                  << "./subfile,a/b:c.avi";
    QTest::newRow("subfile, no colon") << "subfile,a/b.avi"
                                       << "subfile,a/b.avi";
}

void TestFaults::pathArguments()
{
    QFETCH(QString, path);
    QFETCH(QString, argument);
    QCOMPARE(EncoderPathArgument(path), argument);
    EncodingSettings s = m_host->Settings;
    const QStringList conversion = BuildConversionCommand(1, path, path, s).Arguments;
    QCOMPARE(conversion.at(conversion.indexOf("-i") + 1), argument);
    QCOMPARE(conversion.last(), argument);
    QCOMPARE(BuildThumbnailArguments(path, "/app").at(1), argument);
}

void TestFaults::awkwardNames_data()
{
    QTest::addColumn<QString>("source"); // below src/, or relative to the working folder
    QTest::addColumn<bool>("relative");  // listed as written, relative to the working folder (src/)
    QTest::addColumn<QString>("folder"); // output folder below the test folder, or relative
    QTest::addColumn<QString>("output"); // the output's name
    QTest::addColumn<bool>("made");

    const QString out = QStringLiteral("out");
    QTest::newRow("double quotes") << "say \"hi\".avi" << false << out << "say \"hi\".3gp" << true;
    QTest::newRow("single quotes")
        << "it's a clip.avi" << false << out << "it's a clip.3gp" << true;
    QTest::newRow("leading dash") << "-y.avi" << false << out << "-y.3gp" << true;
    // Named on the command line from the folder it lies in.
    QTest::newRow("leading dash, relative") << "-y.avi" << true << out << "-y.3gp" << true;
    QTest::newRow("a lone dash, relative") << "-" << true << out << "-.3gp" << true;
    QTest::newRow("colon, relative") << "take:2.avi" << true << out << "take:2.3gp" << true;
    // Typed into the folder field.
    QTest::newRow("output folder with a leading dash, relative") << "clip.avi" << true << "-phone"
                                                                 << "clip.3gp" << true;
    QTest::newRow("newline") << "two\nlines.avi" << false << out << "two\nlines.3gp" << true;
    QTest::newRow("japanese") << "夏の思い出 ＃１.avi" << false << out << "夏の思い出 ＃１.3gp"
                              << true;
    QTest::newRow("emoji") << "🎬 clip 😀.avi" << false << out << "🎬 clip 😀.3gp" << true;
    QTest::newRow("255-byte name")
        << QString(251, 'n') + ".avi" << false << out << QString(251, 'n') + ".3gp" << true;
    const QString kanji(83, QChar(0x52D5)); // 249 bytes in UTF-8
    QTest::newRow("255-byte japanese name")
        << kanji + "ab.avi" << false << out << kanji + "ab.3gp" << true;
    // 252 + ".3gp" passes the 255-byte limit: FFmpeg cannot create it.
    QTest::newRow("255-byte name, output name too long")
        << QString(252, 'n') + ".ts" << false << out << QString(252, 'n') + ".3gp" << false;
    // Names that are no UTF-8 keep their bytes, into the output's name.
    QTest::newRow("bytes 0x80-0xFF, not UTF-8")
        << DecodeFileName("caf\xE9 \x80\xFF.avi") << false << out
        << DecodeFileName("caf\xE9 \x80\xFF.3gp") << true;
    QTest::newRow("Shift-JIS name")
        << DecodeFileName("\x89\xC4\x82\xCC\x8Ev\x82\xA2\x8Fo.avi") << false << out
        << DecodeFileName("\x89\xC4\x82\xCC\x8Ev\x82\xA2\x8Fo.3gp") << true;
    QTest::newRow("255 bytes, none of them UTF-8")
        << DecodeFileName(QByteArray(251, '\xE9') + ".avi") << false << out
        << DecodeFileName(QByteArray(251, '\xE9') + ".3gp") << true;
    QTest::newRow("subfile, relative") << "subfile,a/b:c.avi" << true << out << "b:c.3gp" << true;
    QString deep;
    for (char c : {'p', 'q', 'r', 's'})
        deep += QString(245, QLatin1Char(c)) + '/';
    QTest::newRow("1000-character paths")
        << deep + "clip.avi" << false << "out/" + deep.chopped(1) << "clip.3gp" << true;
}

void TestFaults::awkwardNames()
{
    QFETCH(QString, source);
    QFETCH(bool, relative);
    QFETCH(QString, folder);
    QFETCH(QString, output);
    QFETCH(bool, made);
    needFfmpeg();

    const QString path = clip("src/" + source);
    QString entry = path;
    if (relative) {
        QDir::setCurrent(m_dir->filePath("src"));
        entry = source;
    }
    // A folder that begins with a dash is relative to the working folder.
    const bool relativeFolder = folder.startsWith('-');
    m_host->Settings.OutputFolder = relativeFolder ? folder : m_dir->filePath(folder);
    if (source.size() > 900)
        QVERIFY(path.size() >= 1000 && m_host->Settings.OutputFolder.size() >= 1000);
    m_host->Entries = QStringList{entry};
    TConversionBatch batch(*m_host);
    run(batch, true);

    QCOMPARE(m_messages->texts(), made ? QStringList() : QStringList{unsupported()});
    QCOMPARE(m_thumbs.size(), 1);
    QCOMPARE(m_thumbs[0].label,
             ReadableFileName(FileNamePart(entry)) + " -> " + ReadableFileName(output));
    QCOMPARE(m_host->OutputFile, m_host->Settings.OutputFolder + "/" + output);
    if (!made) {
        QCOMPARE(changed(), QStringList());
        return;
    }
    QVERIFY2(m_host->EncoderProcess->Succeeded(), "FFmpeg refused the command");
    const QString outRelative = (relativeFolder ? "src/" + folder : folder) + "/" + output;
    QVERIFY(Is3gp(m_dir->filePath(outRelative)));
    // Only the output is new, with the folders made for it; the source stayed as it was.
    QStringList expected{outRelative};
    for (QString parent = QFileInfo(outRelative).path(); parent != "out" && parent != "src";
         parent = QFileInfo(parent).path())
        expected << parent;
    expected.sort();
    QCOMPARE(changed(), expected);
}

void TestFaults::sparseSourceOf3GB_data()
{
    QTest::addColumn<bool>("real");
    QTest::newRow("sizes while it is converted") << false;
    QTest::newRow("FFmpeg refuses it") << true;
}

void TestFaults::sparseSourceOf3GB()
{
    QFETCH(bool, real);
    if (real)
        needFfmpeg();
    const QString big = m_dir->filePath("src/big.avi");
    QFile f(big);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QVERIFY(f.resize(qint64(3000000000LL)));
    f.close();
    m_host->Entries = QStringList{big};
    qputenv("FAKE_ENCODER_ACTION", "slow 1400");
    TConversionBatch batch(*m_host);
    QStringList shown;
    run(batch, real, [&] {
        const QString text = ProgressForm1->Label2->text();
        if (shown.isEmpty() || shown.last() != text)
            shown << text;
    });
    if (real) {
        QCOMPARE(m_messages->texts(), QStringList{unsupported()});
        QCOMPARE(changed(), QStringList());
        return;
    }
    // 3,000,000,000 bytes are 3000000KB, not a negative or wrapped number.
    QVERIFY2(shown.contains("3000000KB -> 0KB"), qPrintable(shown.join(" | ")));
    QCOMPARE(m_messages->texts(), QStringList());
    QCOMPARE(changed(), QStringList{"out/big.3gp"});
}

void TestFaults::twoEntriesOneOutput_data()
{
    QTest::addColumn<QStringList>("tree");    // below src/: files, or "name -> target" links
    QTest::addColumn<QStringList>("entries"); // below src/, in list order
    QTest::addColumn<QString>("folder");      // the output folder: out, src, or fat (a FAT mount)
    QTest::addColumn<QStringList>("converted");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("written");

    const QStringList out{"out/clip.3gp"};
    QTest::newRow("clip.avi and clip.mp4")
        << QStringList{"clip.avi", "clip.mp4"} << QStringList{"clip.avi", "clip.mp4"} << "out"
        << QStringList{"clip.avi"} << QStringList{unsupported()} << out;
    QTest::newRow("one name in two folders")
        << QStringList{"a/clip.avi", "b/clip.avi"} << QStringList{"a/clip.avi", "b/clip.avi"}
        << "out" << QStringList{"a/clip.avi"} << QStringList{unsupported()} << out;
    // The same file twice gives the same output twice: nothing is lost.
    QTest::newRow("one file listed twice")
        << QStringList{"clip.avi"} << QStringList{"clip.avi", "clip.avi"} << "out"
        << QStringList{"clip.avi", "clip.avi"} << QStringList() << out;
    QTest::newRow("a file and a link to it")
        << QStringList{"a/clip.avi", "b/clip.avi -> ../a/clip.avi"}
        << QStringList{"a/clip.avi", "b/clip.avi"} << "out"
        << QStringList{"a/clip.avi", "b/clip.avi"} << QStringList() << out;
    // A phone's folder: its own clip.3gp is in the list, as is clip.mp4.
    QTest::newRow("the output is a file of the list")
        << QStringList{"clip.3gp", "clip.mp4"} << QStringList{"clip.3gp", "clip.mp4"} << "src"
        << QStringList() << QStringList{unsupported()} << QStringList();
    // A memory card ignores case: Clip.3gp and clip.3gp are one file.
    QTest::newRow("case-insensitive FAT, Clip.avi and clip.mp4")
        << QStringList{"Clip.avi", "clip.mp4"} << QStringList{"Clip.avi", "clip.mp4"} << "fat"
        << QStringList{"Clip.avi"} << QStringList{unsupported()} << QStringList{"fat/Clip.3gp"};
}

void TestFaults::twoEntriesOneOutput()
{
    QFETCH(QStringList, tree);
    QFETCH(QStringList, entries);
    QFETCH(QString, folder);
    QFETCH(QStringList, converted);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, written);
    std::unique_ptr<FatMount> fat;
    if (folder == "fat") {
        fat = std::make_unique<FatMount>(m_dir->filePath("fat"));
        if (!fat->mounted)
            QSKIP(qPrintable(fat->why));
    }
    m_host->Settings.OutputFolder = m_dir->filePath(folder);
    for (const QString &item : tree) {
        const int arrow = int(item.indexOf(" -> "));
        if (arrow < 0) {
            clip("src/" + item);
            continue;
        }
        const QString link = m_dir->filePath("src/" + item.left(arrow));
        QDir().mkpath(QFileInfo(link).path());
        QVERIFY(QFile::link(item.mid(arrow + 4), link));
    }
    QStringList list, ran;
    for (const QString &e : entries)
        list << m_dir->filePath("src/" + e);
    for (const QString &e : converted)
        ran << m_dir->filePath("src/" + e);
    m_host->Entries = list;
    TConversionBatch batch(*m_host);
    run(batch, false);
    QCOMPARE(loggedSources(m_log), ran);
    QCOMPARE(m_messages->texts(), messages);
    QCOMPARE(changed(), written);
}

void TestFaults::outputFolderInsideSourceTree()
{
    needFfmpeg();
    // The output folder lies in the dropped tree, and holds the results of
    // an earlier run: the list holds them too, and the folder itself.
    clip("src/a.avi");
    clip("src/b.avi");
    clip("src/3gp/old.3gp");
    WriteFile(m_dir->filePath("src/3gp"), "notes.txt", "my notes");
    QStringList entries;
    QDirIterator it(m_dir->filePath("src"), QDir::AllEntries | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        entries << it.next();
    entries.sort();
    QCOMPARE(entries.size(), 5);
    m_host->Entries = entries;
    m_host->Settings.OutputFolder = m_dir->filePath("src/3gp");
    TConversionBatch batch(*m_host);
    run(batch, true);
    // old.3gp is its own output and is left alone; the folder and the notes
    // are no videos. Every pass ran once and the batch ended.
    QCOMPARE(m_messages->texts(), QStringList{unsupported()});
    QCOMPARE(m_thumbs.size(), 4); // not for old.3gp, which would overwrite itself
    QVERIFY(Is3gp(m_dir->filePath("src/3gp/a.3gp")));
    QVERIFY(Is3gp(m_dir->filePath("src/3gp/b.3gp")));
    QCOMPARE(changed(), (QStringList{"src/3gp/a.3gp", "src/3gp/b.3gp"}));
    QCOMPARE(m_host->Entries, entries);
}

void TestFaults::olderFileKept_data()
{
    QTest::addColumn<QString>("end");   // what ends a.avi's pass early
    QTest::addColumn<QString>("rules"); // the fake encoder's rules for a.avi
    QTest::addColumn<bool>("twoPass");
    QTest::addColumn<QByteArray>("atPass2"); // a.3gp as pass 2 starts (two passes)
    QTest::addColumn<QByteArray>("result");  // a.3gp at the end; null: the older file
    QTest::addColumn<bool>("failed");        // the batch reports unsupported files

    const QByteArray none, whole("fake 3gp output\n");
    // A click that waits in the queue through the one-second pause arrives
    // just after the encoder has started.
    QTest::newRow("cancel in the pause") << "pause"
                                         << "a.avi\tslow 3000\n"
                                         << false << none << none << false;
    QTest::newRow("cancel at the first frame") << "frame"
                                               << "a.avi\thang\n"
                                               << false << none << none << false;
    QTest::newRow("cancel after the last frame") << "last"
                                                 << "a.avi\tslow 3000\n"
                                                 << false << none << none << false;
    QTest::newRow("a second cancel while the first is handled") << "twice"
                                                                << "a.avi\thang\n"
                                                                << false << none << none << false;
    // Pass 2 still runs after a cancelled pass 1, and its finished file
    // replaces the older one; in between the older file is back.
    QTest::newRow("cancel in pass 1 of two") << "frame"
                                             << "a.avi -y -pass 1\thang\n"
                                             << true << OlderBytes << whole << false;
    QTest::newRow("cancel in pass 2 of two") << "frame"
                                             << "a.avi -y -pass 2\thang\n"
                                             << true << whole << none << false;
    QTest::newRow("encoder fails after writing part") << ""
                                                      << "a.avi\tpartial 1\n"
                                                      << false << none << none << true;
    QTest::newRow("encoder killed after writing part") << ""
                                                       << "a.avi\tpartialcrash\n"
                                                       << false << none << none << true;
    QTest::newRow("pass 2 of two fails") << ""
                                         << "a.avi -y -pass 2\tpartial 1\n"
                                         << true << whole << none << true;
    QTest::newRow("broken thumbnail in pass 2 of two") << "thumbnail"
                                                       << "" << true << whole << none << true;
    QTest::newRow("quit") << "quit"
                          << "a.avi\thang\n"
                          << false << none << none << false;
    QTest::newRow("SIGTERM") << "signal"
                             << "a.avi\thang\n"
                             << false << none << none << false;
    QTest::newRow("program killed, then the next start") << "crash"
                                                         << "a.avi\thang\n"
                                                         << false << none << none << false;
    // An older file the user may not replace is left alone, and the encoder,
    // which would spoil it, is not run.
    QTest::newRow("read-only older file, an ordinary user") << "readonly"
                                                            << "a.avi\tpartial 1\n"
                                                            << false << none << none << true;
    QTest::newRow("another user's older file in a sticky folder") << "sticky"
                                                                  << "a.avi\tpartial 1\n"
                                                                  << false << none << none << true;
}

// Whatever ends a pass early, the file that lay at the output path is there
// afterwards byte for byte, with nothing beside it.
void TestFaults::olderFileKept()
{
    QFETCH(QString, end);
    QFETCH(QString, rules);
    QFETCH(bool, twoPass);
    QFETCH(QByteArray, atPass2);
    QFETCH(QByteArray, result);
    QFETCH(bool, failed);

    const QByteArray whole("fake 3gp output\n");
    if ((end == "readonly" || end == "sticky") && geteuid() == 0) {
        // Root may replace anything: an ordinary user runs these rows. The
        // sticky folder (anyone may write, only owners rename) and the file
        // in it (anyone may write it) are root's.
        QTemporaryDir sticky(QDir::tempPath() + "/pc-sticky-XXXXXX");
        QVERIFY(chmod(QFile::encodeName(sticky.path()).constData(), 01777) == 0);
        const QString file = WriteFile(sticky.path(), "a.3gp", OlderBytes);
        QVERIFY(chmod(QFile::encodeName(file).constData(), 0666) == 0);
        qputenv("PC_STICKY_FOLDER", sticky.path().toLocal8Bit());
        const NobodyRun run = RunAsNobody("olderFileKept:" + QString(QTest::currentDataTag()));
        qunsetenv("PC_STICKY_FOLDER");
        if (!run.started)
            QSKIP(qPrintable(run.whyNot));
        QVERIFY2(run.passed, qPrintable(run.output));
        QCOMPARE(ReadFile(file), OlderBytes);
        QCOMPARE(namesIn(sticky.path()), QStringList{"a.3gp"});
        return;
    }
    if (end == "sticky") {
        if (qEnvironmentVariableIsEmpty("PC_STICKY_FOLDER"))
            QSKIP("another user's file needs root to set it up");
        m_host->Settings.OutputFolder = qEnvironmentVariable("PC_STICKY_FOLDER");
    }
    const QString a = clip("src/a.avi");
    const QString out = m_host->Settings.OutputFolder;
    const QString older = end == "sticky" ? out + "/a.3gp" : WriteFile(out, "a.3gp", OlderBytes);
    if (end == "readonly")
        QFile::setPermissions(older, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    if (!rules.isEmpty())
        setRules(rules);

    if (end == "signal" || end == "crash") {
        // A program of its own runs the batch from its event loop.
        QProcess child;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("QT_QPA_PLATFORM", "offscreen");
        child.setProcessEnvironment(e);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--older-child", m_dir->path(), journalFolder()});
        QVERIFY(child.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(ReadRaw(older), QByteArray("partial"), 20000);
        ::kill(pid_t(child.processId()), end == "signal" ? SIGTERM : SIGKILL);
        QVERIFY(child.waitForFinished(10000));
        if (end == "signal") {
            QCOMPARE(child.exitStatus(), QProcess::NormalExit);
            QCOMPARE(child.exitCode(), 0);
        } else {
            // Left as the crash left it: the partial under the name, the
            // older file aside. The next start puts things right.
            QCOMPARE(namesIn(out).size(), 2);
            checkNoEncoderLeft();
            TConversionBatch::SettleEarlierRuns(journalFolder());
            QCOMPARE(m_messages->texts(), QStringList());
        }
    } else {
        m_host->Entries = QStringList{a};
        m_host->Settings.TwoPass = twoPass;
        QByteArray seenAtPass2;
        m_host->OnReadSettings = [&] {
            if (m_host->SourceFile == a && m_host->Settings.TwoPass && m_host->SettingsReads == 3)
                seenAtPass2 = ReadRaw(older);
        };
        int thumbnails = 0;
        if (end == "thumbnail") {
            SetShellHooks({{}, [&](const QString &, const QStringList &args) {
                               if (++thumbnails == 2)
                                   WriteFile("/", args.last(), "no picture");
                               return true;
                           }});
        }
        struct Eater : QObject
        {
            bool eventFilter(QObject *, QEvent *event) override
            {
                return event->type() == QEvent::Quit;
            }
        } eater;
        if (end == "quit")
            QCoreApplication::instance()->installEventFilter(&eater);
        if (end == "pause") {
            SetShellHooks(
                {{}, [&](const QString &, const QStringList &) {
                     QMetaObject::invokeMethod(
                         ProgressForm1.data(),
                         [] { QTest::mouseClick(ProgressForm1->Button1, Qt::LeftButton); },
                         Qt::QueuedConnection);
                     return true;
                 }});
        }
        bool done = false;
        TConversionBatch batch(*m_host);
        run(batch, false, [&] {
            // The hanging encoder has written its part, or the slow one all.
            if (done || ReadRaw(older) != (end == "last" ? whole : QByteArray("partial")))
                return;
            if (end == "frame" || end == "last" || end == "twice") {
                done = true;
                QTest::mouseClick(ProgressForm1->Button1, Qt::LeftButton);
                if (end == "twice")
                    QTest::mouseClick(ProgressForm1->Button1, Qt::LeftButton);
            } else if (end == "quit") {
                done = true;
                QEvent event(QEvent::Quit);
                QCoreApplication::sendEvent(QCoreApplication::instance(), &event);
            }
        });
        QCoreApplication::instance()->removeEventFilter(&eater);
        QCOMPARE(m_messages->texts(), failed ? QStringList{unsupported()} : QStringList());
        if (twoPass)
            QCOMPARE(seenAtPass2, atPass2);
        if (end == "readonly" || end == "sticky")
            QCOMPARE(loggedSources(m_log), QStringList());
    }
    checkNoEncoderLeft();
    QCOMPARE(ReadRaw(older), result.isNull() ? OlderBytes : result);
    QCOMPARE(namesIn(out), QStringList{"a.3gp"});
    // Every entry of the journal is settled, and the journal gone.
    QCOMPARE(QDir(journalFolder()).entryList({"*.journal"}, QDir::Files), QStringList());
}

// The program of the signal and crash rows: a batch of a.avi, run from the
// event loop as in the program.
static int olderChild(int argc, char *argv[])
{
    TApplication application(argc, argv);
    const QString dir = QString::fromLocal8Bit(argv[2]);
    BatchTestHost host;
    host.AppDir = dir + "/app";
    host.Entries = QStringList{dir + "/src/a.avi"};
    host.Settings.Codec = QStringLiteral("MPEG4");
    host.Settings.OutputFolder = dir + "/out";
    SetShellHooks({{}, [](const QString &, const QStringList &) { return true; }});
    MessageRecorder quiet;
    TConversionBatch batch(host);
    batch.PauseMs = 0;
    batch.EncoderProgram = QStringLiteral(FAKE_ENCODER_PATH);
    batch.JournalFolder = QString::fromLocal8Bit(argv[3]);
    QTimer::singleShot(0, [&] { batch.Run(); });
    QCoreApplication::exec();
    return 0;
}

int main(int argc, char *argv[])
{
    if (argc == 4 && qstrcmp(argv[1], "--older-child") == 0)
        return olderChild(argc, argv);
    DropToNobodyWhenAsked(argc, argv);
    QApplication app(argc, argv);
    TestFaults test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_faults.moc"
