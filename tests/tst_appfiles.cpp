// Where the program's files are, for an ordinary user (the test takes the
// identity of "nobody" when it starts as root): a portable folder, one the
// user cannot write, and an installed program, under every shape of HOME and
// the XDG variables a session may hand over; the run's private folder, where
// it is made and how it goes, with a second user (OtherUser) as the attacker.

#include "AppFiles.h"
#include "Errors.h"
#include "FaultSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// "T/x" is x in the test's folder, "PW/x" x in the account's home; "-" unsets.
QString expand(QString text, const QString &base)
{
    if (const passwd *pw = getpwuid(geteuid()); pw && text.startsWith(QLatin1String("PW/")))
        text.replace(0, 2, QFile::decodeName(pw->pw_dir));
    if (text.startsWith(QLatin1String("T/")))
        text.replace(0, 1, base);
    return text;
}

void setVariable(const char *name, const QString &value)
{
    if (value == QLatin1String("-"))
        qunsetenv(name);
    else
        qputenv(name, QFile::encodeName(value));
}

QString modeName(AppFiles::Layout mode)
{
    switch (mode) {
    case AppFiles::Layout::Portable:
        return QStringLiteral("portable");
    case AppFiles::Layout::ReadOnlyPortable:
        return QStringLiteral("read-only portable");
    case AppFiles::Layout::Installed:
        return QStringLiteral("installed");
    }
    return QString();
}
} // namespace

class TestAppFiles : public QObject
{
    Q_OBJECT

public:
    explicit TestAppFiles(OtherUser &other) : m_other(other) {}

private slots:
    void initTestCase() { m_temp = QDir::tempPath(); }
    void decide_data();
    void decide();
    void runFolder_data();
    void runFolder();
    void removal_data();
    void removal();

private:
    // A folder for a row, with the folders and files the rows name below it
    // ("T/..."), open for the other user to pass through.
    QString makeBase(QTemporaryDir &dir);

    OtherUser &m_other;
    QString m_temp; // the rows point TMPDIR elsewhere
};

QString TestAppFiles::makeBase(QTemporaryDir &dir)
{
    const QString base = dir.path();
    chmod(QFile::encodeName(base).constData(), 0755);
    for (const char *folder : {"app", "usr/bin", "usr/share/pocketclips", "home", "tmp", "shared",
                               "open/Pocketclips", "home/Documents/old"})
        QDir(base).mkpath(QLatin1String(folder));
    WriteFile(base, "app/profile.txt", "a,3gp\n");
    WriteFile(base, "usr/share/pocketclips/profile.txt", "a,3gp\n");
    WriteFile(base, "file", "not a folder");
    WriteFile(base, "home/Documents/letter.txt", "Dear ...");
    WriteFile(base, "home/Documents/old/notes.txt", "...");
    QDir(base).mkdir(QStringLiteral("run"));
    QFile::setPermissions(base + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    chmod(QFile::encodeName(base + "/home").constData(), 0700);
    chmod(QFile::encodeName(base + "/tmp").constData(), 0700);
    // Folders every user may write to: without and with the sticky bit.
    chmod(QFile::encodeName(base + "/open").constData(), 0777);
    chmod(QFile::encodeName(base + "/open/Pocketclips").constData(), 0777);
    chmod(QFile::encodeName(base + "/shared").constData(), 01777);
    QFile::link(base + "/run", base + "/runlink");
    QFile::link(base + "/tmp", base + "/tmplink");
    // The other user's own folder, open to all.
    m_other.Run("mkdir -m 0777 " + base + "/open/theirs");
    return base;
}

void TestAppFiles::decide_data()
{
    QTest::addColumn<QString>("program"); // "T/app": portable folder, "T/usr/bin": installed
    QTest::addColumn<bool>("writable");   // may the user write the program's folder
    QTest::addColumn<QString>("home");    // HOME
    QTest::addColumn<QString>("config");  // XDG_CONFIG_HOME
    QTest::addColumn<QString>("runtime"); // XDG_RUNTIME_DIR ("T/run" is the user's, 0700)
    QTest::addColumn<bool>("ownPresets"); // a profile.txt in the user's settings folder
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("presets");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("thumbnailIn"); // the folder that holds the thumbnail's folder
    QTest::addColumn<QString>("encoder");

    const QString inst = "T/usr/share/pocketclips/profile.txt";
    const QString adapter = "T/usr/lib/pocketclips/ffmpeg";
    QTest::newRow("portable") << "T/app" << true << "T/home"
                              << "T/cfg"
                              << "T/run" << true << "portable"
                              << "T/app/profile.txt"
                              << "T/app/Pocketclips.ini"
                              << "T/app"
                              << ""
                              << "ffmpeg";
    QTest::newRow("read-only portable") << "T/app" << false << "T/home"
                                        << "-"
                                        << "T/run" << true << "read-only portable"
                                        << "T/app/profile.txt"
                                        << "T/home/.config/Pocketclips/Pocketclips.ini"
                                        << "T/home/Videos"
                                        << "T/run"
                                        << "ffmpeg";
    QTest::newRow("installed") << "T/usr/bin" << false << "T/home"
                               << "T/cfg"
                               << "T/run" << false << "installed" << inst
                               << "T/cfg/Pocketclips/Pocketclips.ini"
                               << "T/home/Videos"
                               << "T/run" << adapter;
    QTest::newRow("installed, the user's presets") << "T/usr/bin" << false << "T/home"
                                                   << "T/cfg"
                                                   << "T/run" << true << "installed"
                                                   << "T/cfg/Pocketclips/profile.txt"
                                                   << "T/cfg/Pocketclips/Pocketclips.ini"
                                                   << "T/home/Videos"
                                                   << "T/run" << adapter;
    QTest::newRow("XDG_CONFIG_HOME relative")
        << "T/usr/bin" << false << "T/home"
        << "cfg"
        << "T/run" << false << "installed" << inst << "T/home/.config/Pocketclips/Pocketclips.ini"
        << "T/home/Videos"
        << "T/run" << adapter;
    QTest::newRow("HOME unset") << "T/usr/bin" << false << "-"
                                << "-"
                                << "T/run" << false << "installed" << inst
                                << "PW/.config/Pocketclips/Pocketclips.ini"
                                << "PW/Videos"
                                << "T/run" << adapter;
    QTest::newRow("HOME relative")
        << "T/usr/bin" << false << "home"
        << "-"
        << "T/run" << false << "installed" << inst << "PW/.config/Pocketclips/Pocketclips.ini"
        << "PW/Videos"
        << "T/run" << adapter;
    QTest::newRow("HOME empty") << "T/usr/bin" << false << ""
                                << "-"
                                << "T/run" << false << "installed" << inst
                                << "PW/.config/Pocketclips/Pocketclips.ini"
                                << "PW/Videos"
                                << "T/run" << adapter;
    QTest::newRow("HOME a file") << "T/usr/bin" << false << "T/file"
                                 << "-"
                                 << "T/run" << false << "installed" << inst
                                 << "PW/.config/Pocketclips/Pocketclips.ini"
                                 << "PW/Videos"
                                 << "T/run" << adapter;
    QTest::newRow("XDG_CONFIG_HOME a file")
        << "T/usr/bin" << false << "T/home"
        << "T/file"
        << "T/run" << false << "installed" << inst << "T/file/Pocketclips/Pocketclips.ini"
        << "T/home/Videos"
        << "T/run" << adapter;
    // Pocketclips there is open to every user: the settings are not written.
    QTest::newRow("XDG_CONFIG_HOME open to all")
        << "T/usr/bin" << false << "T/home"
        << "T/open"
        << "T/run" << false << "installed" << inst << "T/open/Pocketclips/Pocketclips.ini"
        << "T/home/Videos"
        << "T/run" << adapter;
}

void TestAppFiles::decide()
{
    QFETCH(QString, program);
    QFETCH(bool, writable);
    QFETCH(QString, home);
    QFETCH(QString, config);
    QFETCH(QString, runtime);
    QFETCH(bool, ownPresets);
    QFETCH(QString, mode);
    QFETCH(QString, presets);
    QFETCH(QString, settings);
    QFETCH(QString, output);
    QFETCH(QString, thumbnailIn);
    QFETCH(QString, encoder);

    if (!writable && program == QLatin1String("T/app") && geteuid() == 0)
        QSKIP("root writes every folder");
    QTemporaryDir dir(m_temp + "/tst_appfiles-XXXXXX");
    QVERIFY(dir.isValid());
    const QString base = makeBase(dir);
    if (ownPresets)
        WriteFile(base, "cfg/Pocketclips/profile.txt", "mine,3gp\n");
    if (!writable)
        QFile::setPermissions(expand(program, base), QFile::ReadOwner | QFile::ExeOwner |
                                                         QFile::ReadOther | QFile::ExeOther);
    setVariable("HOME", expand(home, base));
    setVariable("XDG_CONFIG_HOME", expand(config, base));
    setVariable("XDG_RUNTIME_DIR", expand(runtime, base));
    qputenv("TMPDIR", QFile::encodeName(base + "/tmp"));
    const QMap<QString, QString> userBefore = TreeSnapshot(base + "/home");

    const AppFiles files = AppFiles::Decide(expand(program, base));
    const AppFiles again = AppFiles::Decide(expand(program, base));

    QCOMPARE(modeName(files.Mode), mode);
    QCOMPARE(files.ProgramDir, expand(program, base));
    QCOMPARE(files.PresetFile, expand(presets, base));
    QCOMPARE(files.SettingsFile, expand(settings, base));
    QCOMPARE(files.DefaultOutputDir, expand(output, base));
    QCOMPARE(files.EncoderProgram, expand(encoder, base));
    QCOMPARE(files.GuideFile,
             expand(program == QLatin1String("T/app") ? "T/app/Readme.txt"
                                                      : "T/usr/share/pocketclips/Readme.txt",
                    base));
    // Deciding writes nothing in the user's folders.
    QCOMPARE(TreeSnapshot(base + "/home"), userBefore);

    // Every layout has a private folder for the run (runFolder() has where).
    QCOMPARE(QFileInfo(files.RunFolder.Path).path(), expand("T/run", base));
    if (thumbnailIn.isEmpty())
        QCOMPARE(files.ThumbnailDir, files.ProgramDir);
    else
        QCOMPARE(files.ThumbnailDir, files.RunFolder.Path);
    files.RemovePrivateFolder();
    again.RemovePrivateFolder();
    QVERIFY(!QFileInfo::exists(files.RunFolder.Path));

    // The settings folder is made at the first save, closed to others; the
    // videos folder when it is first needed. Under a file neither can be,
    // and a settings folder open to others is not written to. (The
    // account's own home is left alone.)
    if (!settings.startsWith(QLatin1String("PW/"))) {
        const bool underFile = settings.contains(QLatin1String("T/file"));
        const bool saves = !underFile && !settings.contains(QLatin1String("T/open"));
        QString folder;
        try {
            folder = QFileInfo(files.SettingsFileForWriting()).path();
        } catch (const EIniFileException &) {
        }
        QCOMPARE(QFileInfo(folder).isDir(), saves);
        if (saves && mode != QLatin1String("portable") && !ownPresets)
            QCOMPARE(QFile::permissions(folder) & 0x0077, QFileDevice::Permissions());
        QCOMPARE(QFileInfo(files.DefaultOutputFolder()).isDir(),
                 !output.startsWith(QLatin1String("T/file")));
    }
    QFile::setPermissions(expand(program, base),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestAppFiles::runFolder_data()
{
    QTest::addColumn<QString>("runtime"); // XDG_RUNTIME_DIR ("-" unsets)
    QTest::addColumn<QString>("tmp");     // TMPDIR
    QTest::addColumn<QString>("runIn");   // where the private folder is made

    // The runtime folder must be the user's own and closed to others; a
    // temporary folder the user's own, or shared with the sticky bit.
    // clang-format off
    const struct { const char *name, *runtime, *tmp, *runIn; } rows[] = {
        {"the user's runtime folder", "T/run", "T/tmp", "T/run"},
        {"XDG_RUNTIME_DIR unset", "-", "T/tmp", "T/tmp"},
        {"XDG_RUNTIME_DIR relative", "run", "T/tmp", "T/tmp"},
        {"XDG_RUNTIME_DIR open to all", "T/shared", "T/tmp", "T/tmp"},
        {"XDG_RUNTIME_DIR another user's", "/root", "T/tmp", "T/tmp"},
        {"XDG_RUNTIME_DIR a file", "T/file", "T/tmp", "T/tmp"},
        {"XDG_RUNTIME_DIR a link", "T/runlink", "T/tmp", "T/tmp"},
        {"TMPDIR shared with the sticky bit", "-", "T/shared", "T/shared"},
        {"TMPDIR shared, not sticky", "-", "T/open", "/tmp"},
        {"TMPDIR another user's", "-", "T/open/theirs", "/tmp"},
        {"TMPDIR a link", "-", "T/tmplink", "/tmp"},
    };
    // clang-format on
    for (const auto &r : rows)
        QTest::newRow(r.name) << QString(r.runtime) << QString(r.tmp) << QString(r.runIn);
}

void TestAppFiles::runFolder()
{
    QFETCH(QString, runtime);
    QFETCH(QString, tmp);
    QFETCH(QString, runIn);
    if (tmp.contains(QLatin1String("theirs")) && !m_other.Started())
        QSKIP("a second user needs the test to start as root");
    if (runtime == QLatin1String("/root") && geteuid() == 0)
        QSKIP(qPrintable("root's folder is another user's to an ordinary user only; " +
                         CannotPlayNobody()));
    QTemporaryDir dir(m_temp + "/tst_appfiles-XXXXXX");
    QVERIFY(dir.isValid());
    const QString base = makeBase(dir);
    if (m_other.Started())
        QCOMPARE(QFileInfo(base + "/open/theirs").ownerId(), uint(OtherUser::Id));
    setVariable("HOME", base + "/home");
    setVariable("XDG_RUNTIME_DIR", expand(runtime, base));
    setVariable("TMPDIR", expand(tmp, base));

    const AppFiles files = AppFiles::Decide(base + "/usr/bin");
    const AppFiles again = AppFiles::Decide(base + "/usr/bin");
    // A folder of its own for each running program: new, a real folder (no
    // link), the user's, closed to everyone else; the thumbnail goes there
    // in the installed layout.
    QCOMPARE(QFileInfo(files.RunFolder.Path).path(), expand(runIn, base));
    QVERIFY(files.RunFolder.Path != again.RunFolder.Path);
    QCOMPARE(files.ThumbnailDir, files.RunFolder.Path);
    struct stat st;
    QCOMPARE(lstat(QFile::encodeName(files.RunFolder.Path).constData(), &st), 0);
    QVERIFY(S_ISDIR(st.st_mode));
    QCOMPARE(st.st_uid, geteuid());
    QCOMPARE(st.st_mode & 0777, 0700u);
    files.RemovePrivateFolder();
    again.RemovePrivateFolder();
    QVERIFY(!QFileInfo::exists(files.RunFolder.Path));
    QVERIFY(!QFileInfo::exists(again.RunFolder.Path));
}

void TestAppFiles::removal_data()
{
    // TMPDIR (XDG_RUNTIME_DIR is unset); what takes the private folder's name
    // while the program runs; whether something is at that name afterwards.
    QTest::addColumn<QString>("tmp");
    QTest::addColumn<QString>("swap");
    QTest::addColumn<bool>("stays");

    QTest::newRow("nothing") << "T/tmp" << QString() << false;
    QTest::newRow("a link to the documents") << "T/tmp" << QString("link") << true;
    QTest::newRow("another folder") << "T/tmp" << QString("folder") << true;
    // In a folder open to all the other user could rename the private folder;
    // such a folder is not used.
    QTest::newRow("another user's link, TMPDIR shared")
        << "T/open" << QString("other's link") << false;
}

void TestAppFiles::removal()
{
    QFETCH(QString, tmp);
    QFETCH(QString, swap);
    QFETCH(bool, stays);
    if (swap.startsWith(QLatin1String("other")) && !m_other.Started())
        QSKIP("a second user needs the test to start as root");
    QTemporaryDir dir(m_temp + "/tst_appfiles-XXXXXX");
    QVERIFY(dir.isValid());
    const QString base = makeBase(dir);
    setVariable("HOME", base + "/home");
    setVariable("XDG_RUNTIME_DIR", "-");
    setVariable("TMPDIR", expand(tmp, base));
    const QString documents = base + "/home/Documents";

    // The installed program's thumbnail goes to the run's private folder.
    const AppFiles files = AppFiles::Decide(base + "/usr/bin");
    const QString run = files.ThumbnailDir;
    QVERIFY(QFileInfo(run).isDir());
    WriteFile(run, "_thumb.jpg", "picture");
    WriteFile(run, "sub/passlog-0.log", "statistics");
    QVERIFY(QFile::link(documents, run + "/documents")); // a link in it goes as a link
    const QMap<QString, QString> before = TreeSnapshot(base + "/home");

    const QString moved = run + ".moved";
    if (swap == QLatin1String("link") || swap == QLatin1String("folder"))
        QVERIFY(QFile::rename(run, moved));
    if (swap == QLatin1String("link"))
        QVERIFY(QFile::link(documents, run));
    if (swap == QLatin1String("folder"))
        WriteFile(run, "someone's.txt", "kept");
    if (swap == QLatin1String("other's link")) {
        QCOMPARE(QFileInfo(base + "/open/theirs").ownerId(), uint(OtherUser::Id));
        m_other.Run(QStringLiteral("mv %1 %2 && ln -s %3 %1").arg(run, moved, documents));
    }

    files.RemovePrivateFolder();
    QCOMPARE(ChangedEntries(before, TreeSnapshot(base + "/home")), QStringList());
    QCOMPARE(QFileInfo(run).exists() || QFileInfo(run).isSymLink(), stays);
    if (swap == QLatin1String("folder"))
        QVERIFY(QFileInfo::exists(run + "/someone's.txt"));
    // A private folder that was moved is left whole.
    if (QFileInfo::exists(moved)) {
        QVERIFY(QFileInfo::exists(moved + "/sub/passlog-0.log"));
        QDir(moved).removeRecursively();
    }
    QVERIFY(!QFileInfo(run).isSymLink() || QFile::remove(run));
    QDir(run).removeRecursively();
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The attacker of the private-folder rows, started while still root.
    OtherUser other;
    // What an ordinary user meets: root may write every folder.
    if (geteuid() == 0 && (!CannotPlayNobody().isEmpty() || setgroups(0, nullptr) != 0 ||
                           setgid(65534) != 0 || setuid(65534) != 0))
        qWarning("running as root (%s): the read-only portable folder is left out",
                 qPrintable(CannotPlayNobody()));
    TestAppFiles test(other);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_appfiles.moc"
