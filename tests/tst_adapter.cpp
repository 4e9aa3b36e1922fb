#include "AdapterArgs.h"
#include "FaultSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QStringList toQt(const ArgList &args)
{
    QStringList out;
    for (const std::string &a : args)
        out << QString::fromStdString(a);
    return out;
}

ArgList fromQt(const QStringList &args)
{
    ArgList out;
    for (const QString &a : args)
        out.push_back(a.toStdString());
    return out;
}

// A command line as the program writes it.
QStringList designed(const QString &codec, int pass, const QString &output)
{
    QStringList a{"-i", "/v/clip.avi", "-y"};
    if (pass > 0) {
        a << "-pass" << QString::number(pass);
        if (pass == 1)
            a << "-an";
    }
    a << "-flags"
      << "bitexact"
      << "-s"
      << "176x144"
      << "-aspect"
      << "4:3"
      << "-vcodec" << codec << "-b"
      << "384k"
      << "-r"
      << "15"
      << "-acodec"
      << "libfaac"
      << "-ab"
      << "64k"
      << "-ar"
      << "8000"
      << "-f"
      << "3gp" << output;
    return a;
}

// The thumbnail run's arguments as the program writes them.
QStringList thumbnail(const QString &source, const QString &picture)
{
    return {"-i",       source, "-f", "image2", "-ss", "5",
            "-vframes", "1",    "-s", "80x60",  "-an", picture};
}

bool waitUntil(const std::function<bool()> &condition, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > ms)
            return false;
        QThread::msleep(10);
    }
    return true;
}
} // namespace

class TestAdapter : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void mapArguments_data();
    void mapArguments();
    void phoneOptions_data();
    void phoneOptions();
    void outputAndPass_data();
    void outputAndPass();
    void passLogKeyIsStablePerPath();
    void encoderList();

    void becomesTheEncoder();
    void exitStatusIsTheEncoders_data();
    void exitStatusIsTheEncoders();
    void passLogsStayOutOfUserFolders();
    void cancelledPass2StillCleansUp();
    void foldersAreTheUsersOwn_data();
    void foldersAreTheUsersOwn();
    void privateGroupMayWrite_data();
    void privateGroupMayWrite();
    void streamsListedOncePerSource();
    void libxvidMissingUsesMpeg4();
    void realEncoderNotFound();
    void skipsItselfAndOtherAdaptersOnPath();

private:
    QProcess *adapter(const QStringList &args, const QMap<QString, QString> &env);
    // A folder below the test's, mode 0700, as the program makes its own.
    QString privateFolder(const QString &name);
    QScopedPointer<QTemporaryDir> m_dir;
    QString m_log;
    QString m_run; // the program's private folder for the run
};

void TestAdapter::init()
{
    m_dir.reset(new QTemporaryDir);
    m_log = m_dir->filePath("log.txt");
    m_run = privateFolder("run");
}

QString TestAdapter::privateFolder(const QString &name)
{
    QDir().mkpath(m_dir->filePath(name));
    QFile::setPermissions(m_dir->filePath(name),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return m_dir->filePath(name);
}

void TestAdapter::mapArguments_data()
{
    QTest::addColumn<QStringList>("in");
    QTest::addColumn<bool>("haveXvid");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QStringList>("expected");

    QStringList in = designed("libx264", 0, "/o/clip.3gp");
    QStringList out = QStringList{"-nostdin"} + in;
    out[out.indexOf("libfaac")] = "aac";
    QTest::newRow("one pass x264") << in << true << "/c/k" << out;

    in = designed("libxvid", 1, "/o/clip.3gp");
    out = QStringList{"-nostdin"} + in;
    out[out.indexOf("libfaac")] = "aac";
    out.insert(out.indexOf("-pass") + 2, "/c/k");
    out.insert(out.indexOf("-pass") + 2, "-passlogfile");
    out.insert(out.indexOf("libxvid") + 1, "mp4v");
    out.insert(out.indexOf("libxvid") + 1, "-vtag");
    QTest::newRow("xvid pass 1") << in << true << "/c/k" << out;

    in = designed("libxvid", 2, "/o/clip.3gp");
    out = QStringList{"-nostdin"} + in;
    out[out.indexOf("libfaac")] = "aac";
    out[out.indexOf("libxvid")] = "mpeg4";
    out.insert(out.indexOf("-pass") + 2, "/c/k");
    out.insert(out.indexOf("-pass") + 2, "-passlogfile");
    QTest::newRow("xvid missing, pass 2") << in << false << "/c/k" << out;

    // Given options are not doubled; only codec values change, not a file
    // that happens to be called like one.
    in = QStringList{"-nostdin", "-i",   "libfaac", "-c:a", "libfaac",      "-c:v",  "libxvid",
                     "-vtag",    "xvid", "-pass",   "2",    "-passlogfile", "/mine", "libxvid"};
    out = in;
    out[4] = "aac";
    QTest::newRow("already adapted") << in << true << "/c/k" << out;

    in = QStringList{"-i", "/v/a.avi", "-pass", "1", "/o/a.3gp"};
    QTest::newRow("no cache folder") << in << true << "" << QStringList{"-nostdin"} + in;
}

void TestAdapter::mapArguments()
{
    QFETCH(QStringList, in);
    QFETCH(bool, haveXvid);
    QFETCH(QString, prefix);
    QFETCH(QStringList, expected);
    AdapterOptions o;
    o.haveLibxvid = haveXvid;
    o.passLogPrefix = prefix.toStdString();
    // A 3GP output gets the phone's options in front of the output file.
    const QStringList phone = toQt(PhoneOptions(fromQt(expected), o));
    QCOMPARE(phone.isEmpty(), !in.contains("3gp"));
    for (int i = 0; i < phone.size(); ++i)
        expected.insert(expected.size() - 1, phone[i]);
    QCOMPARE(toQt(MapArguments(fromQt(in), o)), expected);
}

void TestAdapter::phoneOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("streams");      // ffprobe's list; empty: not known
    QTest::addColumn<QStringList>("wanted");   // "option value" next to each other
    QTest::addColumn<QStringList>("unwanted"); // options that must not be there
    QTest::addColumn<bool>("noFirstPass");     // no video: pass 1 ("-an") has nothing to do

    auto command = [](const QString &codec, const QString &size, int rate, int kbit) {
        QStringList a = designed(codec, 0, "/o/a.3gp");
        a[a.indexOf("-s") + 1] = size;
        a[a.indexOf("-r") + 1] = QString::number(rate);
        a[a.indexOf("-b") + 1] = QString::number(kbit) + "k";
        a[a.indexOf("libfaac")] = "aac";
        return a;
    };
    const QStringList common{"-pix_fmt yuv420p", "-profile:a aac_low", "-movflags +faststart",
                             "-af aformat=channel_layouts=mono|stereo"};
    // Levels: the smallest that holds the picture, its rate and the bit rate;
    // x264 alone would say 1.2 for the first and the fourth.
    QTest::newRow("x264 QCIF 15 fps 192k")
        << command("libx264", "176x144", 15, 192) << ""
        << common + QStringList{"-profile:v baseline", "-level:v 1.1", "-maxrate 192k",
                                "-bufsize 500k",       "-refs 5",      "-motion-est umh"}
        << QStringList{"-map", "-bf"} << false;
    QTest::newRow("x264 QVGA 24 fps 384k")
        << command("libx264", "320x240", 24, 384) << ""
        << QStringList{"-level:v 1.3", "-maxrate 768k", "-bufsize 2000k"} << QStringList() << false;
    QTest::newRow("x264 VGA 30 fps 768k") << command("libx264", "640x480", 30, 768) << ""
                                          << QStringList{"-level:v 3"} << QStringList() << false;
    // Level 1 holds four QCIF pictures: no more reference frames than that.
    QTest::newRow("x264 QCIF 10 fps 64k")
        << command("libx264", "176x144", 10, 64) << "" << QStringList{"-level:v 1", "-refs 4"}
        << QStringList() << false;
    QTest::newRow("x264 QCIF, bit rate above level 1.2")
        << command("libx264", "176x144", 15, 500) << "" << QStringList{"-level:v 1.3"}
        << QStringList() << false;
    QTest::newRow("mpeg4 QVGA 15 fps 384k")
        << command("mpeg4", "320x240", 15, 384) << "" << common + QStringList{"-bf 0", "-level:v 3"}
        << QStringList{"-profile:v", "-maxrate"} << false;
    QTest::newRow("mpeg4 VGA 24 fps 768k: level 4a")
        << command("mpeg4", "640x480", 24, 768) << "" << QStringList{"-level:v 4"} << QStringList()
        << false;
    QTest::newRow("xvid picks its own level")
        << command("libxvid", "320x240", 15, 384) << "" << QStringList{"-bf 0"}
        << QStringList{"-level:v"} << false;
    QTest::newRow("portrait pictures keep their shape in the frame")
        << command("mpeg4", "320x240", 15, 384) << ""
        << QStringList{"-vf scale=w='if(lt(dar,1),max(2,trunc(320*dar/(4/3)/2)*2),320)':h=240,"
                       "pad=320:240:(ow-iw)/2:(oh-ih)/2"}
        << QStringList() << false;
    // FFmpeg's own choice of streams, without the cover picture.
    QTest::newRow("MP3 with a cover picture")
        << command("mpeg4", "176x144", 15, 128)
        << "index=0|codec_type=audio|channels=2|disposition:default=0|"
           "disposition:attached_pic=0\n"
           "index=1|codec_type=video|width=600|height=600|disposition:default=0|"
           "disposition:attached_pic=1\n"
        << QStringList{"-map 0:0"} << QStringList{"-vn"} << true;
    QTest::newRow("two audio tracks: the most channels")
        << command("libx264", "176x144", 15, 128)
        << "index=0|codec_type=video|width=64|height=48|disposition:default=1\n"
           "index=1|codec_type=audio|channels=2|disposition:default=1\n"
           "index=2|codec_type=audio|channels=6|disposition:default=1\n"
        << QStringList{"-map 0:0", "-map 0:2"} << QStringList() << false;
    QTest::newRow("two audio tracks: the default one")
        << command("libx264", "176x144", 15, 128)
        << "index=0|codec_type=audio|channels=2|disposition:default=1\n"
           "index=1|codec_type=audio|channels=6|disposition:default=0\n"
        << QStringList{"-map 0:0"} << QStringList() << true;
    QTest::newRow("no video and no audio: nothing to write")
        << command("mpeg4", "176x144", 15, 128)
        << "index=0|codec_type=subtitle|disposition:default=1\n"
        << QStringList{"-vn -an", "-sn -dn"} << QStringList{"-map"} << true;
    QStringList own = command("mpeg4", "176x144", 15, 128);
    own.insert(own.size() - 1, "-pix_fmt");
    own.insert(own.size() - 1, "yuv444p");
    QTest::newRow("given options are not repeated")
        << own << "" << QStringList() << QStringList{"-pix_fmt"} << false;
    QTest::newRow("not 3GP: the thumbnail")
        << QStringList{"-i", "/v/a.avi", "-f", "image2", "-vframes", "1", "/p/_thumb.jpg"} << ""
        << QStringList() << QStringList{"-pix_fmt", "-movflags"} << false;
}

void TestAdapter::phoneOptions()
{
    QFETCH(QStringList, args);
    QFETCH(QString, streams);
    QFETCH(QStringList, wanted);
    QFETCH(QStringList, unwanted);
    QFETCH(bool, noFirstPass);
    AdapterOptions o;
    o.streamsKnown = !streams.isEmpty();
    o.streams = ParseStreamList(streams.toStdString());
    const QStringList phone = toQt(PhoneOptions(fromQt(args), o));
    const QString joined = " " + phone.join(' ') + " ";
    for (const QString &w : wanted)
        QVERIFY2(joined.contains(" " + w + " "), qPrintable(w + " not in" + joined));
    for (const QString &u : unwanted)
        QVERIFY2(!phone.contains(u), qPrintable(u + " in" + joined));
    QVERIFY(!PassHasNothingToDo(fromQt(args), o));
    QCOMPARE(PassHasNothingToDo(fromQt(QStringList{"-pass", "1", "-an"} + args), o), noFirstPass);
}

void TestAdapter::outputAndPass_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("pass");
    QTest::addColumn<bool>("xvid");
    QTest::addColumn<bool>("thumbnail");
    QTest::newRow("designed pass 2")
        << designed("libxvid", 2, "/o/a b.3gp") << "/o/a b.3gp" << 2 << true << false;
    QTest::newRow("designed one pass")
        << designed("mpeg4", 0, "x.3gp") << "x.3gp" << 0 << false << false;
    QTest::newRow("ends in an option value")
        << QStringList{"-i", "a", "-f", "3gp"} << "" << 0 << false << false;
    QTest::newRow("bad pass number")
        << QStringList{"-pass", "x", "o"} << "o" << 0 << false << false;
    QTest::newRow("the thumbnail")
        << thumbnail("/v/a.avi", "/p/_thumb.jpg") << "/p/_thumb.jpg" << 0 << false << true;
}

void TestAdapter::outputAndPass()
{
    QFETCH(QStringList, args);
    QFETCH(QString, output);
    QFETCH(int, pass);
    QFETCH(bool, xvid);
    QFETCH(bool, thumbnail);
    QCOMPARE(QString::fromStdString(OutputArgument(fromQt(args))), output);
    QCOMPARE(PassNumber(fromQt(args)), pass);
    QCOMPARE(WantsLibxvid(fromQt(args)), xvid);
    QCOMPARE(IsThumbnailRun(fromQt(args)), thumbnail);
}

void TestAdapter::passLogKeyIsStablePerPath()
{
    QCOMPARE(AbsolutePath("b/../c/./d.3gp", "/w/x"), std::string("/w/x/c/d.3gp"));
    QCOMPARE(AbsolutePath("/a//b/", "/w"), std::string("/a/b"));
    QCOMPARE(PassLogKey("/o/a.3gp"), PassLogKey(AbsolutePath("a.3gp", "/o")));
    QVERIFY(PassLogKey("/o/a.3gp") != PassLogKey("/o/b.3gp"));
    QCOMPARE(PassLogKey("/o/a.3gp").size(), size_t(16));
}

void TestAdapter::encoderList()
{
    const std::string with = "Encoders:\n V..... = Video\n ------\n"
                             " V....D libx264   libx264 H.264\n"
                             " V..... libxvid   libxvidcore MPEG-4 part 2 (codec mpeg4)\n";
    const std::string without = " V....D libx264   libx264 H.264\n"
                                " V.S... mpeg4     MPEG-4 part 2\n"
                                " A..... libxvidaudio  not a video encoder\n";
    QVERIFY(EncoderListHasLibxvid(with));
    QVERIFY(!EncoderListHasLibxvid(without));
}

QProcess *TestAdapter::adapter(const QStringList &args, const QMap<QString, QString> &env)
{
    auto *p = new QProcess(this);
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("POCKETCLIPS_RUN_DIR", m_run);
    e.insert("FAKE_ENCODER_LOG", m_log);
    e.insert("POCKETCLIPS_FFMPEG", FAKE_ENCODER_PATH);
    e.remove("POCKETCLIPS_ADAPTER_CHAIN");
    for (auto it = env.begin(); it != env.end(); ++it) {
        if (it.value().isNull())
            e.remove(it.key());
        else
            e.insert(it.key(), it.value());
    }
    p->setProcessEnvironment(e);
    QDir().mkpath(m_dir->filePath("work"));
    p->setWorkingDirectory(m_dir->filePath("work"));
    p->start(ADAPTER_PATH, args);
    return p;
}

void TestAdapter::becomesTheEncoder()
{
    QProcess *p = adapter(designed("libx264", 0, m_dir->filePath("o.3gp")), {});
    QVERIFY(p->waitForStarted());
    const qint64 pid = p->processId();
    QVERIFY(p->waitForFinished(10000));
    QCOMPARE(p->exitCode(), 0);
    const QList<LoggedRun> runs = ReadEncoderLog(m_log);
    QCOMPARE(runs.size(), 1);
    // The same process: the adapter replaced itself instead of starting a child.
    QCOMPARE(runs[0].pid, pid);
    QCOMPARE(runs[0].args.first(), QStringLiteral("-nostdin"));
    QVERIFY(runs[0].args.contains("aac"));
    QVERIFY(!runs[0].args.contains("libfaac"));
    QVERIFY(QFile::exists(m_dir->filePath("o.3gp")));
}

void TestAdapter::exitStatusIsTheEncoders_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("crashed");
    QTest::addColumn<int>("code");
    QTest::newRow("success") << "write" << false << 0;
    QTest::newRow("failure") << "fail 3" << false << 3;
    QTest::newRow("crash") << "crash" << true << 0;
}

void TestAdapter::exitStatusIsTheEncoders()
{
    QFETCH(QString, action);
    QFETCH(bool, crashed);
    QFETCH(int, code);
    QProcess *p =
        adapter(designed("mpeg4", 0, m_dir->filePath("o.3gp")), {{"FAKE_ENCODER_ACTION", action}});
    QVERIFY(p->waitForFinished(10000));
    QCOMPARE(p->exitStatus() == QProcess::CrashExit, crashed);
    if (!crashed)
        QCOMPARE(p->exitCode(), code);
}

void TestAdapter::passLogsStayOutOfUserFolders()
{
    const QString output = m_dir->filePath("out/clip.3gp");
    QDir().mkpath(m_dir->filePath("out"));
    const QStringList logs{"passlog-*"};
    QProcess *p1 = adapter(designed("libx264", 1, output), {});
    QVERIFY(p1->waitForFinished(10000));
    QCOMPARE(p1->exitCode(), 0);
    const QStringList afterPass1 = QDir(m_run).entryList(logs, QDir::Files);
    QCOMPARE(afterPass1.size(), 2);
    for (const QString &f : afterPass1)
        QVERIFY2(f.startsWith("passlog-" +
                              QString::fromStdString(PassLogKey(output.toStdString())) + "-"),
                 qPrintable(f));

    QProcess *p2 = adapter(designed("libx264", 2, output), {});
    QVERIFY(p2->waitForFinished(10000));
    QCOMPARE(p2->exitCode(), 0);
    const QList<LoggedRun> runs = ReadEncoderLog(m_log);
    QCOMPARE(runs.size(), 2);
    for (const LoggedRun &r : runs) {
        const int at = int(r.args.indexOf("-passlogfile"));
        QVERIFY(at > 0);
        QVERIFY(r.args.at(at + 1).startsWith(m_run + "/"));
    }
    // Removed once pass 2 has ended, by the adapter's watcher.
    QVERIFY(waitUntil([&] { return QDir(m_run).entryList(logs, QDir::Files).isEmpty(); }, 3000));
    // Nothing in the working folder or beside the output.
    QCOMPARE(QDir(m_dir->filePath("work")).entryList(QDir::Files), QStringList());
    QCOMPARE(QDir(m_dir->filePath("out")).entryList(QDir::Files), QStringList({"clip.3gp"}));
}

void TestAdapter::cancelledPass2StillCleansUp()
{
    const QString output = m_dir->filePath("clip.3gp");
    const QStringList logs{"passlog-*"};
    QProcess *p = adapter(designed("mpeg4", 2, output), {{"FAKE_ENCODER_ACTION", "hang"}});
    QVERIFY(p->waitForStarted());
    QVERIFY(waitUntil([&] { return QDir(m_run).entryList(logs, QDir::Files).size() == 2; }, 5000));
    p->kill();
    QVERIFY(p->waitForFinished(5000));
    QVERIFY(waitUntil([&] { return QDir(m_run).entryList(logs, QDir::Files).isEmpty(); }, 3000));
}

void TestAdapter::foldersAreTheUsersOwn_data()
{
    // "-" unsets; "T/x" is x in the test's folder. The user is nobody, the
    // other user (OtherUser) the attacker.
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("cache");   // XDG_CACHE_HOME
    QTest::addColumn<QString>("runtime"); // XDG_RUNTIME_DIR
    QTest::addColumn<QString>("tmp");     // TMPDIR
    QTest::addColumn<QString>("run");     // POCKETCLIPS_RUN_DIR, from the program
    QTest::addColumn<QString>("logsIn");  // "T/run", else where a fresh folder is made

    // clang-format off
    const struct { const char *name, *home, *cache, *runtime, *tmp, *run, *logsIn; } rows[] = {
        {"HOME unset", "-", "-", "-", "-", "-", "/tmp"},
        {"HOME empty", "", "-", "-", "-", "-", "/tmp"},
        {"HOME relative", "somewhere", "-", "-", "-", "-", "/tmp"},
        {"XDG_CACHE_HOME relative", "-", "cache", "-", "-", "-", "/tmp"},
        {"the user's runtime folder", "-", "-", "T/rt", "-", "-", "T/rt"},
        {"XDG_RUNTIME_DIR shared", "-", "-", "T/open", "-", "-", "/tmp"},
        {"XDG_RUNTIME_DIR another user's", "-", "-", "T/theirs", "-", "-", "/tmp"},
        {"XDG_RUNTIME_DIR a link", "-", "-", "T/rtlink", "-", "-", "/tmp"},
        {"TMPDIR shared", "-", "-", "-", "T/open", "-", "/tmp"},
        {"TMPDIR another user's", "-", "-", "-", "T/theirs", "-", "/tmp"},
        {"TMPDIR a link", "-", "-", "-", "T/rtlink", "-", "/tmp"},
        {"the program's run folder", "-", "-", "-", "-", "T/run", "T/run"},
        {"a run folder of another user's", "-", "-", "-", "-", "T/theirs", "/tmp"},
        {"a run folder through a link", "-", "-", "-", "-", "T/runlink", "/tmp"},
    };
    // clang-format on
    for (const auto &r : rows)
        QTest::newRow(r.name) << QString(r.home) << QString(r.cache) << QString(r.runtime)
                              << QString(r.tmp) << QString(r.run) << QString(r.logsIn);
}

void TestAdapter::foldersAreTheUsersOwn()
{
    QFETCH(QString, home);
    QFETCH(QString, cache);
    QFETCH(QString, runtime);
    QFETCH(QString, tmp);
    QFETCH(QString, run);
    QFETCH(QString, logsIn);
    if (const QString why = CannotPlayNobody(); !why.isEmpty())
        QSKIP(qPrintable(why));
    OtherUser other;
    const QString victim = QString::number(65534);
    const QString base = m_dir->path();
    const auto t = [&](QString path) {
        return path.replace(QRegularExpression("^T/"), base + "/");
    };
    const auto folder = [&](const QString &path, int owner, mode_t mode) {
        QDir().mkpath(t(path));
        return chown(QFile::encodeName(t(path)).constData(), owner, owner) == 0 &&
               chmod(QFile::encodeName(t(path)).constData(), mode) == 0;
    };
    chmod(QFile::encodeName(base).constData(), 0755);
    for (const char *own : {"T/home", "T/out", "T/rt", "T/run", "T/tmp"})
        QVERIFY(folder(own, 65534, 0700));
    QVERIFY(folder("T/work", 65534, 0755) && folder("T/open", 0, 0777));
    QVERIFY(folder("T/theirs", OtherUser::Id, 0777));
    const QString document = WriteFile(t("T/home"), "letter.txt", "Dear ...");
    WriteFile(base, "log.txt", "");
    for (const QString &file : {document, m_log})
        QCOMPARE(chown(QFile::encodeName(file).constData(), 65534, 65534), 0);
    QVERIFY(QFile::link(t("T/rt"), t("T/rtlink")));
    QVERIFY(QFile::link(t("T/run"), t("T/runlink")));
    // The folder the adapter once took, made by the other user before the
    // user's first conversion. (Root clears any earlier one first.)
    const QString planted = "/tmp/pocketclips-" + victim;
    QProcess::execute("rm", {"-rf", planted});
    const auto removePlanted = qScopeGuard([&] { QProcess::execute("rm", {"-rf", planted}); });
    QCOMPARE(other.Run("mkdir -p " + planted + "/pocketclips/passlog && chmod -R 0777 " + planted),
             0);
    const QMap<QString, QString> plantedBefore = TreeSnapshot(planted);
    const QMap<QString, QString> theirsBefore = TreeSnapshot(t("T/theirs"));
    const QMap<QString, QString> openBefore = TreeSnapshot(t("T/open"));

    const QString output = t("T/out/clip.3gp");
    const QString key = QString::fromStdString(PassLogKey(output.toStdString()));
    auto runPass = [&](int pass) {
        QProcess p;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.remove("POCKETCLIPS_ADAPTER_CHAIN");
        const QStringList names = {"HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR", "TMPDIR",
                                   "POCKETCLIPS_RUN_DIR"};
        const QStringList values = {home, cache, runtime, tmp, run};
        for (int i = 0; i < names.size(); ++i) {
            e.remove(names[i]);
            if (values[i] != QLatin1String("-"))
                e.insert(names[i], t(values[i]));
        }
        e.insert("FAKE_ENCODER_LOG", m_log);
        e.insert("POCKETCLIPS_FFMPEG", SharedCopy(FAKE_ENCODER_PATH));
        p.setProcessEnvironment(e);
        p.setWorkingDirectory(t("T/work"));
        p.start("setpriv", QStringList{"--reuid=" + victim, "--regid=" + victim, "--clear-groups",
                                       SharedCopy(ADAPTER_PATH)} +
                               designed("libx264", pass, output));
        return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit &&
               p.exitCode() == 0;
    };

    QVERIFY(runPass(1));
    QList<LoggedRun> runs = ReadEncoderLog(m_log);
    QCOMPARE(runs.size(), 1);
    int at = int(runs[0].args.indexOf("-passlogfile"));
    QVERIFY2(at > 0, "pass 1 left its statistics to FFmpeg's choice: the working folder");
    const QString prefix = runs[0].args.at(at + 1);
    // Between the passes the other user puts a link to the document at the
    // statistics' names: the usual one and the one pass 1 took.
    other.Run(
        QStringLiteral("ln -sf %1 %2/pocketclips/passlog/%3-0.log").arg(document, planted, key));
    other.Run(QStringLiteral("ln -sf %1 %2-0.log").arg(document, prefix));
    const QMap<QString, QString> plantedBetween = TreeSnapshot(planted);
    QVERIFY(runPass(2));

    QCOMPARE(ReadFile(document), QByteArray("Dear ..."));
    runs = ReadEncoderLog(m_log);
    QCOMPARE(runs.size(), 2);
    at = int(runs[1].args.indexOf("-passlogfile"));
    QVERIFY(at > 0);
    const QString logs = QFileInfo(prefix).path();
    if (logsIn == QLatin1String("T/run")) {
        QCOMPARE(logs, t(logsIn));
        QCOMPARE(runs[1].args.at(at + 1), prefix);
    } else {
        // A fresh folder of the user's for each pass, gone with its encoder.
        QCOMPARE(QFileInfo(logs).path(), t(logsIn));
        QVERIFY(QFileInfo(logs).fileName().startsWith("pocketclips-"));
        QVERIFY(waitUntil([&] { return !QFileInfo::exists(logs); }, 3000));
    }
    // Nothing of the user's went to the folders of others or to the working
    // folder; nothing was taken from them.
    QCOMPARE(ChangedEntries(plantedBetween, TreeSnapshot(planted)), QStringList());
    QCOMPARE(ChangedEntries(plantedBefore, plantedBetween).size(), 1);
    QCOMPARE(ChangedEntries(theirsBefore, TreeSnapshot(t("T/theirs"))), QStringList());
    QCOMPARE(ChangedEntries(openBefore, TreeSnapshot(t("T/open"))), QStringList());
    QCOMPARE(QDir(t("T/work")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

void TestAdapter::privateGroupMayWrite_data()
{
    QTest::addColumn<bool>("privateGroup");
    QTest::addColumn<bool>("taken"); // the fresh folder is made in TMPDIR

    // A folder made by hand under Debian's umask 002 has group write for
    // the user's private group: still the user's own, as for the program.
    QTest::newRow("the user's private group") << true << true;
    QTest::newRow("another group") << false << false;
}

void TestAdapter::privateGroupMayWrite()
{
    QFETCH(bool, privateGroup);
    QFETCH(bool, taken);
    const passwd *pw = getpwuid(geteuid());
    const group *own = pw ? getgrnam(pw->pw_name) : nullptr;
    if (!own || (own->gr_mem[0] && (own->gr_mem[1] || qstrcmp(own->gr_mem[0], pw->pw_name))))
        QSKIP("the user has no private group");
    gid_t gid = own->gr_gid;
    if (!privateGroup) {
        // Root may give the folder to any group, a user to one of theirs.
        gid_t groups[64];
        const int count = geteuid() == 0 ? 0 : getgroups(64, groups);
        gid = geteuid() == 0 ? 65534 : gid;
        for (int i = 0; i < count; ++i)
            if (groups[i] != own->gr_gid)
                gid = groups[i];
        if (gid == own->gr_gid)
            QSKIP("the user belongs to no other group");
    }
    const QString temp = m_dir->filePath("tmp");
    QVERIFY(QDir().mkpath(temp));
    QCOMPARE(chown(QFile::encodeName(temp).constData(), geteuid(), gid), 0);
    QCOMPARE(chmod(QFile::encodeName(temp).constData(), 0770), 0);

    QProcess *p = adapter(
        designed("libx264", 1, m_dir->filePath("clip.3gp")),
        {{"POCKETCLIPS_RUN_DIR", QString()}, {"XDG_RUNTIME_DIR", QString()}, {"TMPDIR", temp}});
    QVERIFY(p->waitForFinished(10000));
    QCOMPARE(p->exitCode(), 0);
    const QStringList args = ReadEncoderLog(m_log).value(0).args;
    const int at = int(args.indexOf("-passlogfile"));
    QVERIFY(at > 0);
    const QString logs = QFileInfo(args.at(at + 1)).path();
    QCOMPARE(QFileInfo(logs).path(), taken ? temp : QStringLiteral("/tmp"));
    QVERIFY(waitUntil([&] { return !QFileInfo::exists(logs); }, 3000));
}

void TestAdapter::streamsListedOncePerSource()
{
    // The stand-in for FFmpeg with an ffprobe beside it that counts its runs.
    const QString bin = m_dir->filePath("bin");
    QDir().mkpath(bin);
    QVERIFY(QFile::link(FAKE_ENCODER_PATH, bin + "/ffmpeg"));
    const QString probes = m_dir->filePath("probes.txt");
    const QString ffprobe = WriteFile(bin, "ffprobe",
                                      "#!/bin/sh\necho run >>" + probes.toUtf8() +
                                          "\necho 'index=0|codec_type=audio|channels=2'\n"
                                          "echo 'index=1|codec_type=video|width=64|height=48'\n");
    QFile::setPermissions(ffprobe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QMap<QString, QString> env{{"POCKETCLIPS_FFMPEG", bin + "/ffmpeg"}};
    const QString source = WriteFile(m_dir->path(), "clip.avi", "a video");
    const auto listed = [&] { return int(ReadFile(probes).count('\n')); };
    const auto convert = [&](int pass) {
        QStringList args = designed("libx264", pass, m_dir->filePath("clip.3gp"));
        args[1] = source;
        QProcess *p = adapter(args, env);
        return p->waitForFinished(10000) && p->exitCode() == 0 &&
               ReadEncoderLog(m_log).last().args.join(' ').contains("-map 0:1 -map 0:0");
    };

    // The thumbnail run lists the streams while it becomes FFmpeg...
    QProcess *p = adapter(thumbnail(source, m_run + "/_thumb.jpg"), env);
    QVERIFY(p->waitForFinished(10000));
    QCOMPARE(ReadEncoderLog(m_log).size(), 1);
    QVERIFY(waitUntil([&] { return !QDir(m_run).entryList({"streams-*"}).isEmpty(); }, 5000));
    QCOMPARE(listed(), 1);
    // ... for both passes of the conversion.
    QVERIFY(convert(1));
    QVERIFY(convert(2));
    QCOMPARE(listed(), 1);
    // A source changed since is listed again.
    QFile file(source);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(10),
                             QFileDevice::FileModificationTime));
    file.close();
    QVERIFY(convert(1));
    QCOMPARE(listed(), 2);
}

void TestAdapter::libxvidMissingUsesMpeg4()
{
    for (bool have : {false, true}) {
        QFile::remove(m_log);
        const QString list = have ? " V..... libxvid   libxvidcore\n" : " V.S... mpeg4   MPEG-4\n";
        // A separate run each time: the answer is kept per encoder file.
        QProcess *p = adapter(
            designed("libxvid", 0, m_dir->filePath("o.3gp")),
            {{"FAKE_ENCODERS", list}, {"POCKETCLIPS_RUN_DIR", privateFolder(have ? "c1" : "c2")}});
        QVERIFY(p->waitForFinished(10000));
        const QList<LoggedRun> runs = ReadEncoderLog(m_log);
        QCOMPARE(runs.size(), 1);
        const QStringList &a = runs[0].args;
        const int at = int(a.indexOf("-vcodec"));
        QCOMPARE(a.at(at + 1), have ? QStringLiteral("libxvid") : QStringLiteral("mpeg4"));
        QCOMPARE(a.contains("-vtag"), have);
    }
}

void TestAdapter::realEncoderNotFound()
{
    QDir().mkpath(m_dir->filePath("empty"));
    QProcess *p = adapter({"-version"},
                          {{"POCKETCLIPS_FFMPEG", QString()}, {"PATH", m_dir->filePath("empty")}});
    QVERIFY(p->waitForFinished(10000));
    QCOMPARE(p->exitCode(), 127);
    QVERIFY(p->readAllStandardError().contains("not found"));
}

void TestAdapter::skipsItselfAndOtherAdaptersOnPath()
{
    // PATH: a link to this adapter, a copy of it (another file), then the fake.
    for (const char *d : {"p1", "p2", "p3"})
        QDir().mkpath(m_dir->filePath(d));
    QVERIFY(QFile::link(ADAPTER_PATH, m_dir->filePath("p1/ffmpeg")));
    QVERIFY(QFile::copy(ADAPTER_PATH, m_dir->filePath("p2/ffmpeg")));
    QVERIFY(QFile::link(FAKE_ENCODER_PATH, m_dir->filePath("p3/ffmpeg")));
    const QString path =
        m_dir->filePath("p1") + ":" + m_dir->filePath("p2") + ":" + m_dir->filePath("p3");
    auto *p = new QProcess(this);
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.remove("POCKETCLIPS_FFMPEG");
    e.remove("POCKETCLIPS_ADAPTER_CHAIN");
    e.insert("PATH", path);
    e.insert("FAKE_ENCODER_LOG", m_log);
    p->setProcessEnvironment(e);
    p->start(m_dir->filePath("p1/ffmpeg"), designed("mpeg4", 0, m_dir->filePath("o.3gp")));
    QVERIFY(p->waitForFinished(10000));
    QCOMPARE(p->exitCode(), 0);
    const QList<LoggedRun> runs = ReadEncoderLog(m_log);
    QCOMPARE(runs.size(), 1);
    // Both adapters passed through: "-nostdin" once, libfaac mapped once.
    QCOMPARE(runs[0].args.count("-nostdin"), 1);
    QVERIFY(runs[0].args.contains("aac"));
}

QTEST_GUILESS_MAIN(TestAdapter)
#include "tst_adapter.moc"
