// The program under faults around its start: a broken preset file or
// settings file, the program killed during a batch, and trees on the drop
// that loop, go deep or cannot be read. Each case checks what the user is
// shown and that nothing is lost: the settings file stays as it was unless a
// close rightly writes it, and the next start reads it.

#include "AppFiles.h"
#include "Application.h"
#include "ConversionBatch.h"
#include "FaultSupport.h"
#include "Guard.h"
#include "MainWindow1.h"
#include "ProgramEnd.h"
#include "Shell.h"
#include "TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <csignal>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// The settings a user left: a position, a hand-changed bit rate, an output
// folder and two passes.
QByteArray userSettings(const QString &outputFolder)
{
    return "[SET]\r\nM_LEFT=40\r\nM_TOP=50\r\n[SET1]\r\nC0=2\r\nC2=222\r\n[SET2]\r\nC11=" +
           outputFolder.toUtf8() + "\r\nC12=1\r\nC13=0\r\n";
}

QByteArray deliveredPresets()
{
    return ReadFile(QStringLiteral(PC_SOURCE_DIR "/resources/profile.txt"));
}

// Bytes that are no text: the same every run.
QByteArray binaryBytes(int size)
{
    QByteArray bytes;
    bytes.reserve(size);
    quint32 seed = 2024;
    for (int i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes.append(char((seed >> 16) & 0xFF));
    }
    return bytes;
}

// Drops the paths on the window as the desktop does: the drag enters, then drops.
void drop(QWidget *window, const QStringList &paths)
{
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString &p : paths)
        urls << QUrl::fromLocalFile(p);
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(100, 80), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &enter);
    QDropEvent event(QPointF(100, 80), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &event);
}

void activate(QWidget *window)
{
    QEvent event(QEvent::WindowActivate);
    QApplication::sendEvent(window, &event);
}
} // namespace

class TestFaultsStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void presetFile_data();
    void presetFile();
    void settingsFile_data();
    void settingsFile();
    void killedDuringBatch_data();
    void killedDuringBatch();
    void droppedTree_data();
    void droppedTree();

private:
    QString makeAppDir(const QByteArray &profile);
    TMainForm1 *start(const QString &appDir);

    QScopedPointer<QTemporaryDir> m_dir;
    TMainForm1 *m_window = nullptr;
};

void TestFaultsStartup::initTestCase()
{
    SetShellHooks(
        {[](const QString &) {}, [](const QString &, const QStringList &) { return true; }});
}

void TestFaultsStartup::init()
{
    m_dir.reset(new QTemporaryDir);
}

void TestFaultsStartup::cleanup()
{
    delete m_window;
    m_window = nullptr;
    MainForm1 = nullptr;
    if (m_dir)
        QProcess::execute("chmod", {"-R", "u+rwx", m_dir->path()});
}

QString TestFaultsStartup::makeAppDir(const QByteArray &profile)
{
    const QString dir = m_dir->filePath("app");
    QDir().mkpath(dir);
    WriteFile(dir, "profile.txt", profile);
    return dir;
}

// Creation as the program entry runs it: a failure goes to the error box.
TMainForm1 *TestFaultsStartup::start(const QString &appDir)
{
    delete m_window;
    m_window = nullptr;
    RunGuarded([&] { m_window = new TMainForm1(appDir); });
    MainForm1 = m_window;
    if (m_window)
        m_window->CommandLine.clear();
    return m_window;
}

void TestFaultsStartup::presetFile_data()
{
    QTest::addColumn<QByteArray>("profile"); // "folder": a folder in its place
    QTest::addColumn<bool>("created");
    QTest::addColumn<QString>("error"); // pattern of the one error box, empty: none
    QTest::addColumn<int>("presets");

    // A missing file: tst_mainwindow's missingPresetFileEndsCreation.
    QTest::newRow("a folder") << QByteArray("folder") << false
                              << "^ファイル .*/profile.txt は開けません$" << 0;
    // Rows of noise: they load, and the first cannot be applied.
    QTest::newRow("binary") << binaryBytes(1 << 20) << true << "^'.*' は整数ではありません$" << -1;
    QByteArray big;
    QByteArray rows = deliveredPresets();
    if (!rows.endsWith('\n'))
        rows += "\r\n";
    while (big.size() < 50 * 1000 * 1000)
        big += rows;
    QTest::newRow("50 MB") << big << true << ""
                           << int(rows.count('\n') * (big.size() / rows.size()));
    // Read as its first 4096 bytes: one name and no further fields.
    QTest::newRow("one 1 MB line") << QByteArray(1 << 20, 'a') + "\r\n"
                                   << true << "^'' は整数ではありません$" << 1;
}

void TestFaultsStartup::presetFile()
{
    QFETCH(QByteArray, profile);
    QFETCH(bool, created);
    QFETCH(QString, error);
    QFETCH(int, presets);

    MessageRecorder messages;
    const QString dir = profile == "folder" ? makeAppDir({}) : makeAppDir(profile);
    if (profile == "folder") {
        QVERIFY(QFile::remove(dir + "/profile.txt"));
        QVERIFY(QDir().mkdir(dir + "/profile.txt"));
    }
    const QByteArray settings = userSettings(m_dir->filePath("phone"));
    WriteFile(dir, "Pocketclips.ini", settings);

    QElapsedTimer clock;
    clock.start();
    TMainForm1 *w = start(dir);
    QCOMPARE(w != nullptr, created);
    if (w)
        activate(w);
    const qint64 startMs = clock.elapsed();
    qInfo("start-up with this profile.txt: %lld ms", startMs);
    QVERIFY2(startMs < 30000, qPrintable(QString::number(startMs)));

    const QStringList errors = messages.errors();
    QCOMPARE(messages.count(), errors.size());
    if (error.isEmpty()) {
        QCOMPARE(errors, QStringList());
    } else {
        QCOMPARE(errors.size(), 1);
        QVERIFY2(QRegularExpression(error, QRegularExpression::DotMatchesEverythingOption)
                     .match(errors.first())
                     .hasMatch(),
                 qPrintable(errors.first().left(200)));
    }
    if (!w) {
        QCOMPARE(ReadFile(dir + "/Pocketclips.ini"), settings);
        return;
    }
    if (presets >= 0)
        QCOMPARE(w->C2_00->Count(), presets + 1);
    else
        QVERIFY(w->C2_00->Count() > 1);
    for (int i = 1; i < qMin(w->C2_00->Count(), 50); ++i)
        QVERIFY(w->C2_00->Item(i).toUtf8().size() <= 4096);

    // Closing: settings that were loaded are written back as they are shown;
    // settings that could not be loaded are left as the user had them.
    QVERIFY(w->close());
    if (!error.isEmpty()) {
        QCOMPARE(w->Tag, 0);
        QCOMPARE(ReadFile(dir + "/Pocketclips.ini"), settings);
        return;
    }
    TMainForm1 *again = start(dir);
    QVERIFY(again);
    activate(again);
    QCOMPARE(again->DigitBar2->Position(), 222);
    QCOMPARE(again->C1_03->Path(), m_dir->filePath("phone"));
    QVERIFY(again->CheckBox1->isChecked());
    QCOMPARE(messages.count(), 0);
}

void TestFaultsStartup::settingsFile_data()
{
    QTest::addColumn<QByteArray>("before"); // what lies in Pocketclips.ini at the start
    QTest::addColumn<int>("bitRate");       // what the first start shows

    // Read-only and a folder in its place: tst_settings' refusedWrite and
    // tst_mainwindow's closingSavesOrStaysOpen.
    QTest::newRow("garbage") << binaryBytes(200000) << 128;
    QByteArray many;
    for (int i = 0; i < 10000; ++i)
        many +=
            "[Other" + QByteArray::number(i) + "]\r\nkey=value " + QByteArray::number(i) + "\r\n";
    QTest::newRow("10,000 sections before ours") << many + userSettings("/phone") << 222;
}

void TestFaultsStartup::settingsFile()
{
    QFETCH(QByteArray, before);
    QFETCH(int, bitRate);
    MessageRecorder messages;
    const QString dir = makeAppDir(deliveredPresets());
    const QString ini = WriteFile(dir, "Pocketclips.ini", before);

    QElapsedTimer clock;
    clock.start();
    TMainForm1 *w = start(dir);
    QVERIFY(w);
    activate(w);
    QCOMPARE(w->Tag, 1);
    QCOMPARE(w->DigitBar2->Position(), bitRate);
    w->DigitBar2->SetPosition(300);
    w->C1_03->SetPath(m_dir->filePath("elsewhere"));
    QVERIFY(w->close());
    qInfo("start and close: %lld ms", clock.elapsed());
    QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(messages.count(), 0);

    // What the user had besides our keys is still there.
    const QByteArray after = ReadFile(ini);
    if (before.contains("[Other9999]")) {
        QCOMPARE(after.count("[Other"), 10000);
        QVERIFY(after.contains("[Other9999]\r\nkey=value 9999\r\n"));
    }
    TMainForm1 *again = start(dir);
    QVERIFY(again);
    activate(again);
    QCOMPARE(again->DigitBar2->Position(), 300);
    QCOMPARE(again->C1_03->Path(), m_dir->filePath("elsewhere"));
    QCOMPARE(messages.count(), 0);
}

void TestFaultsStartup::killedDuringBatch_data()
{
    QTest::addColumn<QString>("end");
    QTest::newRow("killed outright") << "SIGKILL";
    // A logout, kill, a closed terminal: the program ends as a close does.
    QTest::newRow("SIGTERM") << "SIGTERM";
    QTest::newRow("SIGHUP") << "SIGHUP";
    // Qt's X11 plugin ends the process with exit() when the display goes.
    QTest::newRow("display gone") << "display";
}

void TestFaultsStartup::killedDuringBatch()
{
    QFETCH(QString, end);
    if (!HaveFfmpeg())
        QSKIP("FFmpeg is not installed");
    // The program's folder, the adapter found as "ffmpeg" on PATH (as beside
    // the program), and a source FFmpeg waits on: a named pipe nobody writes.
    const QString app = makeAppDir(deliveredPresets());
    const QByteArray settings = userSettings(m_dir->filePath("out"));
    WriteFile(app, "Pocketclips.ini", settings);
    QDir().mkpath(m_dir->filePath("bin"));
    QVERIFY(QFile::link(ADAPTER_PATH, m_dir->filePath("bin/ffmpeg")));
    QDir().mkpath(m_dir->filePath("src"));
    const QString fifo = m_dir->filePath("src/feed.avi");
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // An earlier result at the output path.
    const QByteArray older("an earlier feed.3gp");
    const QString output = WriteFile(m_dir->filePath("out"), "feed.3gp", older);
    const QString messagesFile = m_dir->filePath("messages.txt");
    const QString reportFile = m_dir->filePath("report.txt");

    std::unique_ptr<TestXServer> x;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PATH", m_dir->filePath("bin") + ":" + env.value("PATH"));
    env.insert("XDG_CACHE_HOME", m_dir->filePath("cache"));
    env.insert("XDG_STATE_HOME", m_dir->filePath("state"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("POCKETCLIPS_FFMPEG");
    QProcessEnvironment running = env;
    if (end == "display") {
        x = std::make_unique<TestXServer>();
        if (x->Display().isEmpty())
            QSKIP("Xvfb did not start");
        running.insert("QT_QPA_PLATFORM", "xcb");
        running.insert("DISPLAY", x->Display());
    }
    QProcess program;
    program.setProcessEnvironment(running);
    program.start(QCoreApplication::applicationFilePath(),
                  {"--program", app, "convert", messagesFile, reportFile, fifo});
    QVERIFY(program.waitForStarted());

    // The conversion is under way once FFmpeg (the adapter has put
    // "-nostdin" in its command) waits on the pipe.
    auto encoders = [&] {
        QList<qint64> found;
        for (qint64 pid : ProcessesWith(fifo))
            if (pid != program.processId() &&
                ReadFile(QStringLiteral("/proc/%1/cmdline").arg(pid)).contains("-nostdin"))
                found << pid;
        return found;
    };
    QElapsedTimer clock;
    clock.start();
    while (encoders().isEmpty() && clock.elapsed() < 20000 && program.state() == QProcess::Running)
        QTest::qWait(20);
    QCOMPARE(encoders().size(), 1);

    if (end == "display")
        x.reset();
    else
        ::kill(pid_t(program.processId()), end == "SIGKILL"   ? SIGKILL
                                           : end == "SIGTERM" ? SIGTERM
                                                              : SIGHUP);
    QVERIFY(program.waitForFinished(10000));
    // No encoder stays behind, no thumbnail run either.
    QTRY_COMPARE_WITH_TIMEOUT(ProcessesWith(fifo), QList<qint64>(), 5000);
    // Nothing half-written beside the settings file; no message waited for a user.
    QCOMPARE(QDir(app).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"Pocketclips.ini", "profile.txt"}));
    QCOMPARE(ReadFile(messagesFile), QByteArray());
    if (end == "SIGKILL") {
        // The settings file is as the user left it.
        QCOMPARE(ReadFile(app + "/Pocketclips.ini"), settings);
    } else {
        // Ended as a close: the settings were saved, the older file is back.
        if (end != "display") {
            QCOMPARE(program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(program.exitCode(), 0);
        }
        const QByteArray saved = ReadFile(app + "/Pocketclips.ini");
        QVERIFY2(saved != settings && saved.contains("M_LEFT=40") && saved.contains("C2=222") &&
                     saved.contains("C12=1"),
                 saved.constData());
        QCOMPARE(QDir(m_dir->filePath("out")).entryList(QDir::Files | QDir::Hidden).join(", "),
                 QString("feed.3gp"));
        QCOMPARE(ReadFile(output), older);
    }

    // The next start reads those settings and works, and tidies up what a
    // killed program left: the older file is back in its place.
    QProcess next;
    next.setProcessEnvironment(env);
    next.start(QCoreApplication::applicationFilePath(),
               {"--program", app, "report", messagesFile, reportFile});
    QVERIFY(next.waitForFinished(20000));
    QCOMPARE(next.exitStatus(), QProcess::NormalExit);
    QCOMPARE(next.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(ReadFile(reportFile)),
             QString("at 40,50\npreset 2\nvideo 222\nfolder %1\ntwo passes 1\n")
                 .arg(m_dir->filePath("out")));
    QCOMPARE(ReadFile(messagesFile), QByteArray());
    QCOMPARE(QDir(m_dir->filePath("out")).entryList(QDir::Files | QDir::Hidden),
             QStringList{"feed.3gp"});
    QCOMPARE(ReadFile(output), older);
    // Its own close wrote them back whole.
    const QByteArray written = ReadFile(app + "/Pocketclips.ini");
    QVERIFY(written.contains("M_LEFT=40") && written.contains("C2=222") &&
            written.contains("C12=1"));
}

void TestFaultsStartup::droppedTree_data()
{
    QTest::addColumn<QStringList>("tree");   // "x/" a folder, "x -> target" a link, else a file
    QTest::addColumn<QStringList>("closed"); // folders made unreadable
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("link loops") << QStringList{"top/a.avi",          "top/sub/b.avi",
                                               "top/sub/up -> ..",   "top/self -> .",
                                               "top/loop1 -> loop2", "top/loop2 -> loop1"}
                                << QStringList()
                                << QStringList{"top/a.avi", "top/loop1", "top/loop2",
                                               "top/self",  "top/sub",   "top/sub/b.avi",
                                               "top/sub/up"};
    QStringList deep, deepList;
    QString path = "top";
    for (int level = 1; level <= 200; ++level) {
        path += QString("/level-%1").arg(level, 3, 10, QLatin1Char('0'));
        deep << path + "/clip.avi";
        deepList << path << path + "/clip.avi";
    }
    deepList.sort();
    QTest::newRow("200 levels deep") << deep << QStringList() << deepList;
    QTest::newRow("an unreadable subfolder")
        << QStringList{"top/a.avi", "top/closed/b.avi", "top/open/c.avi"}
        << QStringList{"top/closed"}
        << QStringList{"top/a.avi", "top/closed", "top/open", "top/open/c.avi"};
}

void TestFaultsStartup::droppedTree()
{
    QFETCH(QStringList, tree);
    QFETCH(QStringList, closed);
    QFETCH(QStringList, expected);

    const QString app = makeAppDir(deliveredPresets());
    for (const QString &item : tree) {
        const int arrow = int(item.indexOf(" -> "));
        const QString at = m_dir->filePath(arrow < 0 ? item : item.left(arrow));
        QDir().mkpath(QFileInfo(at).path());
        if (arrow >= 0)
            QVERIFY(QFile::link(item.mid(arrow + 4), at));
        else
            WriteFile(m_dir->path(), item, "x");
    }
    for (const QString &c : closed)
        QVERIFY(QFile::setPermissions(m_dir->filePath(c), QFileDevice::Permissions()));
    const QMap<QString, QString> before = TreeSnapshot(m_dir->filePath("top"));
    QStringList want;
    for (const QString &e : expected)
        want << m_dir->filePath(e);

    QStringList listed;
    if (!closed.isEmpty() && geteuid() == 0) {
        // Root reads every folder: the drop is made by an ordinary user.
        if (const QString why = CannotPlayNobody(); !why.isEmpty())
            QSKIP(qPrintable(why));
        QFile::setPermissions(m_dir->path(), QFileDevice::Permissions(0x7755));
        QProcess user;
        user.start(QCoreApplication::applicationFilePath(),
                   {"--drop-as-nobody", app, m_dir->filePath("top")});
        QVERIFY(user.waitForFinished(30000));
        if (user.exitCode() == 3)
            QSKIP("cannot take an ordinary user's identity here");
        QCOMPARE(user.exitCode(), 0);
        listed = QString::fromUtf8(user.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    } else {
        MessageRecorder messages;
        TMainForm1 *w = start(app);
        QVERIFY(w);
        activate(w);
        QElapsedTimer clock;
        clock.start();
        drop(w, {m_dir->filePath("top")});
        qInfo("drop: %lld ms", clock.elapsed());
        QVERIFY(clock.elapsed() < 10000);
        listed = w->ListBox1->Items();
        QCOMPARE(messages.count(), 0);
        QVERIFY(!w->Panel11->isVisibleTo(w));
        QVERIFY(w->Button10->isEnabled());
    }
    // Each entry once (the list's own order is tst_sourcelist's).
    listed.sort();
    want.sort();
    QCOMPARE(listed, want);
    QCOMPARE(TreeSnapshot(m_dir->filePath("top")), before);
}

// The program as its entry runs it, for the kill test: once its first
// activation is done it either starts a conversion of the named files or
// writes what it shows to reportFile and closes. Messages go to messagesFile.
static int programChild(int argc, char *argv[])
{
    const QString app = QString::fromLocal8Bit(argv[2]);
    const QString mode = QString::fromLocal8Bit(argv[3]);
    const QString messagesFile = QString::fromLocal8Bit(argv[4]);
    const QString reportFile = QString::fromLocal8Bit(argv[5]);
    QStringList files;
    for (int i = 6; i < argc; ++i)
        files << QString::fromLocal8Bit(argv[i]);
    TApplication application(argc, argv);
    SetMessageSink([&](MessageKind, const QString &text) {
        QFile f(messagesFile);
        if (f.open(QIODevice::Append))
            f.write(text.toUtf8() + "\n");
    });
    int atExit = 0;
    RunGuarded([&] {
        application.SetTitle(QStringLiteral("Pocketclips"));
        TConversionBatch::SettleEarlierRuns(AppFiles::StateFolder());
        MainForm1 = new TMainForm1(app);
        MainForm1->CommandLine = files;
        application.SetMainForm(MainForm1);
        atExit = ProgramEnd::AtExit([] {
            if (MainForm1)
                MainForm1->FormClose();
        });
        QTimer ready;
        QObject::connect(&ready, &QTimer::timeout, [&] {
            if (MainForm1->Tag == 0)
                return;
            ready.stop();
            if (mode == QLatin1String("convert")) {
                RunGuarded([] { MainForm1->Button10Click(); });
                return;
            }
            QFile f(reportFile);
            if (f.open(QIODevice::WriteOnly)) {
                const TMainForm1 *w = MainForm1;
                f.write(QString("at %1,%2\npreset %3\nvideo %4\nfolder %5\ntwo passes %6\n")
                            .arg(w->x())
                            .arg(w->y())
                            .arg(w->C2_00->ItemIndex())
                            .arg(w->DigitBar2->Position())
                            .arg(w->C1_03->Path())
                            .arg(w->CheckBox1->isChecked() ? 1 : 0)
                            .toUtf8());
            }
            MainForm1->close();
        });
        ready.start(20);
        application.Run();
    });
    ProgramEnd::Remove(atExit);
    delete MainForm1;
    MainForm1 = nullptr;
    return 0;
}

// The drop of one folder by the user "nobody"; prints the list, one entry a line.
static int dropAsNobody(int argc, char *argv[])
{
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
        return 3;
    QApplication application(argc, argv);
    SetShellHooks(
        {[](const QString &) {}, [](const QString &, const QStringList &) { return true; }});
    int failures = 0;
    SetMessageSink([&](MessageKind, const QString &) { ++failures; });
    TMainForm1 *w = nullptr;
    RunGuarded([&] { w = new TMainForm1(QString::fromLocal8Bit(argv[2])); });
    if (!w)
        return 4;
    w->CommandLine.clear();
    activate(w);
    drop(w, {QString::fromLocal8Bit(argv[3])});
    for (const QString &item : w->ListBox1->Items())
        std::fputs((item + '\n').toUtf8().constData(), stdout);
    const bool shown = !w->Panel11->isVisibleTo(w) && w->Button10->isEnabled();
    delete w;
    return failures == 0 && shown ? 0 : 5;
}

int main(int argc, char *argv[])
{
    if (argc >= 6 && qstrcmp(argv[1], "--program") == 0)
        return programChild(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--drop-as-nobody") == 0)
        return dropAsNobody(argc, argv);
    QApplication app(argc, argv);
    TestFaultsStartup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_faults_startup.moc"
