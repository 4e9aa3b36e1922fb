// The Debian package as an ordinary user meets it: built from this build
// tree, unpacked into a folder of its own, and its program started by
// "nobody" under a private X server. It converts a clip into the user's
// videos folder, closes on its "×" button, keeps its settings in
// ~/.config/Pocketclips, and writes nothing beside itself.

#include "FaultSupport.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {
constexpr uid_t Nobody = 65534;

QByteArray run(const QString &program, const QStringList &arguments, int timeoutMs = 120000)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(program, arguments);
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit ||
        p.exitCode() != 0)
        qWarning("%s %s failed", qPrintable(program), qPrintable(arguments.join(' ')));
    return p.readAllStandardOutput();
}

// Hands the folder and everything in it to the user the program runs as.
void giveToUser(const QString &path)
{
    if (geteuid() == 0)
        run(QStringLiteral("chown"), {"-R", QString::number(Nobody), path});
}

// The files below root by their path relative to it, folders left out.
QStringList filesBelow(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}
} // namespace

class TestPackage : public QObject
{
    Q_OBJECT

private slots:
    void installedProgramAsUser();
};

void TestPackage::installedProgramAsUser()
{
    for (const char *tool : {"ffmpeg", "dpkg-deb", "Xvfb", "xdotool"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(tool)));
    // Root plays the user as nobody; anyone else is the user.
    if (const QString why = CannotPlayNobody(); geteuid() == 0 && !why.isEmpty())
        QSKIP(qPrintable(why));
    QTemporaryDir dir;
    const QString base = dir.path();

    // The package, from the build this test belongs to.
    run(QStringLiteral(CPACK_COMMAND),
        {"-G", "DEB", "--config", PC_BINARY_DIR "/CPackConfig.cmake", "-B", base + "/deb"}, 240000);
    const QStringList debs = QDir(base + "/deb").entryList({"pocketclips_*.deb"}, QDir::Files);
    QCOMPARE(debs.size(), 1);
    const QString deb = base + "/deb/" + debs.first();
    const QString control = QString::fromUtf8(run("dpkg-deb", {"-f", deb}));
    QVERIFY(control.contains("Package: pocketclips\n"));
    QVERIFY(control.contains("Section: video\n"));
    const QRegularExpression depends("^Depends: (.*)$", QRegularExpression::MultilineOption);
    const QString needs = depends.match(control).captured(1);
    for (const char *package :
         {"ffmpeg", "fonts-ipafont-gothic", "libqt6widgets6", "libjpeg62-turbo", "qt6-qpa-plugins"})
        QVERIFY2(needs.contains(QLatin1String(package)), qPrintable(needs));
    QVERIFY(control.contains("Recommends: fonts-wine\n"));

    // Unpacked as dpkg would place it, below a root of its own.
    const QString root = base + "/root";
    run("dpkg-deb", {"-x", deb, root});
    const QString id = QStringLiteral(PC_APP_ID);
    QCOMPARE(filesBelow(root + "/usr"),
             (QStringList{"bin/pocketclips", "lib/pocketclips/ffmpeg",
                          "share/applications/" + id + ".desktop",
                          "share/doc/pocketclips/changelog.gz", "share/doc/pocketclips/copyright",
                          "share/icons/hicolor/32x32/apps/" + id + ".png",
                          "share/icons/hicolor/scalable/apps/" + id + ".svg",
                          "share/lintian/overrides/pocketclips", "share/man/man1/pocketclips.1.gz",
                          "share/metainfo/" + id + ".metainfo.xml", "share/pocketclips/Readme.txt",
                          "share/pocketclips/profile.txt"}));
    QFile::setPermissions(base, QFileDevice::Permissions(0x7755));
    const QMap<QString, QString> installed = TreeSnapshot(root);

    // The user: a home, a runtime folder of their own, a clip long enough
    // for the thumbnail taken 5 s in.
    const QString home = base + "/home", runtime = base + "/run", clip = base + "/src/clip.avi";
    QDir().mkpath(home);
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir().mkpath(base + "/src");
    run("ffmpeg", {"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                   "testsrc=size=176x144:rate=10:duration=6", "-c:v", "mpeg4", clip});
    QVERIFY(QFile::exists(clip));
    giveToUser(home);
    giveToUser(runtime);

    QScopedPointer<TestXServer> xserver(new TestXServer(QStringLiteral("800x700x24")));
    const QString display = xserver->Display();
    QVERIFY2(!display.isEmpty(), "Xvfb gave no display");

    QProcessEnvironment env;
    env.insert("HOME", home);
    env.insert("XDG_RUNTIME_DIR", runtime);
    env.insert("PATH", "/usr/bin:/bin");
    env.insert("DISPLAY", display);
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("LANG", "C.UTF-8");
    // No session bus, and none started on the display for the user: a bus
    // that dbus-launch brings up would outlive the program and write into
    // the runtime folder.
    env.insert("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    for (const char *name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) // a sanitizer build
        if (qEnvironmentVariableIsSet(name))
            env.insert(name, qEnvironmentVariable(name));
    QProcess program;
    program.setProcessEnvironment(env);
    // Started in the home, as a launcher does: not in the build tree, which
    // the user may not be able to enter.
    program.setWorkingDirectory(home);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    EndWithTest(program);
    QStringList command{root + "/usr/bin/pocketclips", clip};
    if (geteuid() == 0)
        command = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups",
                              "--pdeathsig=keep", "--"} +
                  command;
    program.start(geteuid() == 0 ? "setpriv" : command.takeFirst(), command);
    QVERIFY(program.waitForStarted());

    auto xdotool = [&](const QStringList &arguments) { return xserver->Xdotool(arguments); };
    const QString window = xdotool({"search", "--sync", "--onlyvisible", "--name", "^Pocketclips$"})
                               .section('\n', 0, 0);
    QVERIFY(!window.isEmpty());
    QTest::qWait(500); // the first activation adds the clip to the list
    // "[ 変換開始 ]", then "×" once the batch has given the window back.
    xdotool({"mousemove", "--window", window, "200", "554", "click", "1"});
    const QString output = home + "/Videos/clip.3gp";
    QElapsedTimer clock;
    clock.start();
    while (program.state() == QProcess::Running && clock.elapsed() < 60000) {
        if (QFile::exists(output))
            xdotool({"mousemove", "--window", window, "384", "12", "click", "1"});
        program.waitForFinished(500);
    }
    QCOMPARE(program.state(), QProcess::NotRunning);
    QCOMPARE(program.exitCode(), 0);
    xserver.reset();

    // The 3GP in ~/Videos, the settings in ~/.config/Pocketclips, pointing
    // at ~/Videos; no thumbnail folder left; nothing beside the program.
    QVERIFY(Is3gp(output));
    const QByteArray settings = ReadFile(home + "/.config/Pocketclips/Pocketclips.ini");
    QVERIFY2(QString::fromUtf8(settings)
                 .split(QRegularExpression("\r?\n"))
                 .contains("C11=" + home + "/Videos"),
             settings.constData());
    QCOMPARE(QDir(runtime).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
    QCOMPARE(ChangedEntries(installed, TreeSnapshot(root)), QStringList());
    const QStringList written = filesBelow(home).filter(QRegularExpression("^(?!\\.cache/)"));
    QCOMPARE(written, (QStringList{".config/Pocketclips/Pocketclips.ini", "Videos/clip.3gp"}));
}

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
