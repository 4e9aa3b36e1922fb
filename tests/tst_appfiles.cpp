// Where the program's files are, for an ordinary user (the test takes the
// identity of "nobody" when it starts as root): a portable folder, one the
// user cannot write, and an installed program, under every shape of HOME and
// the XDG variables a session may hand over.

#include "AppFiles.h"
#include "FaultSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

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

private slots:
    void initTestCase() { m_temp = QDir::tempPath(); }
    void decide_data();
    void decide();

private:
    QString m_temp; // the rows point TMPDIR elsewhere
};

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
    QTest::addColumn<QString>("thumbnailIn"); // the folder that holds the private folder
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
    QTest::newRow("HOME a file") << "T/usr/bin" << false << "T/file"
                                 << "-"
                                 << "T/run" << false << "installed" << inst
                                 << "T/file/.config/Pocketclips/Pocketclips.ini"
                                 << "T/file/Videos"
                                 << "T/run" << adapter;
    QTest::newRow("XDG_CONFIG_HOME a file")
        << "T/usr/bin" << false << "T/home"
        << "T/file"
        << "T/run" << false << "installed" << inst << "T/file/Pocketclips/Pocketclips.ini"
        << "T/home/Videos"
        << "T/run" << adapter;
    // The runtime folder must be the user's own and closed to others;
    // otherwise a fresh private folder in TMPDIR.
    const QStringList badRuntime = {"-", "run", "T/shared", "/root", "T/file"};
    const QStringList why = {"unset", "relative", "open to all", "another user's", "a file"};
    for (int i = 0; i < badRuntime.size(); ++i)
        QTest::addRow("XDG_RUNTIME_DIR %s", qPrintable(why[i]))
            << "T/usr/bin" << false << "T/home"
            << "T/cfg" << badRuntime[i] << false << "installed" << inst
            << "T/cfg/Pocketclips/Pocketclips.ini"
            << "T/home/Videos"
            << "T/tmp" << adapter;
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
    const QString base = dir.path();
    for (const char *folder : {"app", "usr/bin", "usr/share/pocketclips", "home", "tmp", "shared"})
        QDir(base).mkpath(QLatin1String(folder));
    WriteFile(base, "app/profile.txt", "a,3gp\n");
    WriteFile(base, "usr/share/pocketclips/profile.txt", "a,3gp\n");
    WriteFile(base, "file", "not a folder");
    if (ownPresets)
        WriteFile(base, "cfg/Pocketclips/profile.txt", "mine,3gp\n");
    QDir(base).mkdir(QStringLiteral("run"));
    QFile::setPermissions(base + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    chmod(QFile::encodeName(base + "/shared").constData(), 01777);
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

    if (thumbnailIn.isEmpty()) {
        QCOMPARE(files.ThumbnailDir, files.ProgramDir);
    } else {
        // A folder of its own for each running program: new, a real folder
        // (no link), the user's, closed to everyone else; gone at the end.
        QCOMPARE(QFileInfo(files.ThumbnailDir).path(), expand(thumbnailIn, base));
        QVERIFY(files.ThumbnailDir != again.ThumbnailDir);
        struct stat st;
        QCOMPARE(lstat(QFile::encodeName(files.ThumbnailDir).constData(), &st), 0);
        QVERIFY(S_ISDIR(st.st_mode));
        QCOMPARE(st.st_uid, geteuid());
        QCOMPARE(st.st_mode & 0777, 0700u);
        files.RemovePrivateFolder();
        again.RemovePrivateFolder();
        QVERIFY(!QFileInfo::exists(files.ThumbnailDir));
    }

    // The settings folder is made at the first save, closed to others; the
    // videos folder when it is first needed. Under a file neither can be.
    // (The account's own home is left alone.)
    if (!settings.startsWith(QLatin1String("PW/"))) {
        const bool underFile = settings.contains(QLatin1String("T/file"));
        const QString folder = QFileInfo(files.SettingsFileForWriting()).path();
        QCOMPARE(QFileInfo(folder).isDir(), !underFile);
        if (!underFile && mode != QLatin1String("portable") && !ownPresets)
            QCOMPARE(QFile::permissions(folder) & 0x0077, QFileDevice::Permissions());
        QCOMPARE(QFileInfo(files.DefaultOutputFolder()).isDir(),
                 !output.startsWith(QLatin1String("T/file")));
    }
    QFile::setPermissions(expand(program, base),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

int main(int argc, char *argv[])
{
    // What an ordinary user meets: root may write every folder.
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
        qWarning("running as root: the read-only portable folder is left out");
    QCoreApplication app(argc, argv);
    TestAppFiles test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_appfiles.moc"
