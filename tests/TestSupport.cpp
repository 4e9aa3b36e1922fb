#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QMap>
#include <QPixmap>
#include <QProcess>

#include <csignal>
#include <cstdlib>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr char AsNobody[] = "--as-nobody";
// The exit status of a program that could not become nobody.
constexpr int CannotDrop = 77;
constexpr uid_t NobodyId = 65534;
// Names the folder of the SharedCopy copies a run as nobody is handed.
constexpr char SharedCopies[] = "PC_SHARED_COPIES";

// Whether every user can pass through each folder of the path.
bool othersCanEnter(const QString &path)
{
    for (QString dir = QDir::cleanPath(path); dir.size() > 1; dir = QFileInfo(dir).path())
        if (!QFileInfo(dir).permission(QFile::ExeOther))
            return false;
    return true;
}

// The folder of this test program's shared copies, open to all to read.
QTemporaryDir &sharedCopies()
{
    static QTemporaryDir dir([] {
        const QString temp = QDir::tempPath();
        return (othersCanEnter(temp) ? temp : QStringLiteral("/tmp")) + "/pc-shared-XXXXXX";
    }());
    if (!dir.isValid())
        qFatal("cannot make a folder for copies other users may read");
    QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7755));
    return dir;
}
} // namespace

MessageRecorder::MessageRecorder()
{
    SetMessageSink([this](MessageKind kind, const QString &text) {
        m_messages.append(qMakePair(kind, text));
    });
}

MessageRecorder::~MessageRecorder()
{
    SetMessageSink({});
}

QStringList MessageRecorder::texts() const
{
    QStringList out;
    for (const auto &m : m_messages)
        out << m.second;
    return out;
}

QStringList MessageRecorder::errors() const
{
    QStringList out;
    for (const auto &m : m_messages)
        if (m.first == MessageKind::Error)
            out << m.second;
    return out;
}

QString WriteFile(const QString &dir, const QString &relative, const QByteArray &bytes)
{
    const QString path = dir + QLatin1Char('/') + relative;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString ProgramDir()
{
    return QStringLiteral(PC_PROGRAM_DIR);
}

void SaveShot(const QPixmap &picture, const QString &name)
{
    const QString dir = qEnvironmentVariable("PC_SHOT_DIR");
    if (dir.isEmpty())
        return;
    picture.save(dir + '/' + name + ".png");
    picture.scaled(picture.size() * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation)
        .save(dir + '/' + name + "_x4.png");
}

QFont PixelFont(const QString &face, int pixelHeight, bool bold)
{
    QFont font(face);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

QList<LoggedRun> ReadEncoderLog(const QString &path)
{
    QList<LoggedRun> runs;
    for (const QString &line : QString::fromUtf8(ReadFile(path)).split('\n', Qt::SkipEmptyParts)) {
        QStringList parts = line.split('\t');
        LoggedRun r;
        r.pid = parts.takeFirst().toLongLong();
        r.args = parts;
        runs << r;
    }
    return runs;
}

QString SharedCopy(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    const QString handed = qEnvironmentVariable(SharedCopies);
    if (!handed.isEmpty())
        return handed + '/' + name;
    static QMap<QString, QString> copied; // the copy's name: its original
    const QString copy = sharedCopies().filePath(name);
    if (copied.contains(name)) {
        if (copied[name] != path)
            qFatal("two files named %s to share", qPrintable(name));
        return copy;
    }
    if (!QFile::copy(path, copy))
        qFatal("cannot copy %s for other users", qPrintable(path));
    QFileDevice::Permissions mode = QFile::permissions(copy) | QFile::ReadGroup | QFile::ReadOther;
    if (mode & QFile::ExeOwner)
        mode |= QFile::ExeGroup | QFile::ExeOther;
    QFile::setPermissions(copy, mode);
    copied.insert(name, path);
    return copy;
}

QString CannotPlayNobody()
{
    if (geteuid() != 0)
        return QStringLiteral("playing the user nobody needs the test to start as root");
    const passwd *pw = getpwnam("nobody");
    if (!pw || pw->pw_uid != NobodyId)
        return QStringLiteral("the user nobody (%1) is not in the password database").arg(NobodyId);
    return QString();
}

NobodyRun RunAsNobody(const QString &testFunction, const QStringList &buildFiles)
{
    NobodyRun run;
    run.whyNot = CannotPlayNobody();
    if (!run.whyNot.isEmpty())
        return run;
    // Below the temporary folder, which every user can enter.
    QTemporaryDir own;
    if (!own.isValid())
        qFatal("cannot make a folder for nobody in %s", qPrintable(QDir::tempPath()));
    const QString home = own.filePath("home"), runtime = own.filePath("runtime"),
                  temp = own.filePath("tmp");
    for (const QString &dir : {home + "/.config", home + "/.cache", runtime, temp})
        QDir().mkpath(dir);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QString copies;
    for (const QString &file : buildFiles)
        copies = QFileInfo(SharedCopy(file)).path();
    (void)!chown(QFile::encodeName(own.path()).constData(), NobodyId, NobodyId);
    QDirIterator it(own.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        (void)!lchown(QFile::encodeName(it.next()).constData(), NobodyId, NobodyId);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/.config");
    env.insert("XDG_CACHE_HOME", home + "/.cache");
    env.insert("XDG_DATA_HOME", home + "/.local/share");
    env.insert("XDG_STATE_HOME", home + "/.local/state");
    env.insert("XDG_RUNTIME_DIR", runtime);
    env.insert("TMPDIR", temp);
    if (!copies.isEmpty())
        env.insert(SharedCopies, copies);
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(temp);
    p.setProcessChannelMode(QProcess::MergedChannels);
    EndWithTest(p);
    p.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(AsNobody), testFunction});
    if (!p.waitForFinished(240000))
        p.kill();
    run.output = QString::fromUtf8(p.readAll());
    run.started = p.exitStatus() == QProcess::NormalExit && p.exitCode() != CannotDrop;
    if (!run.started)
        run.whyNot = QStringLiteral("this system does not let root run the check as nobody");
    run.passed =
        run.started && p.exitCode() == 0 && run.output.contains(QLatin1String("PASS   : "));
    return run;
}

void DropToNobodyWhenAsked(int &argc, char **argv)
{
    if (argc < 2 || qstrcmp(argv[1], AsNobody) != 0)
        return;
    const pid_t test = getppid();
    if (setgroups(0, nullptr) != 0 || setgid(NobodyId) != 0 || setuid(NobodyId) != 0)
        std::_Exit(CannotDrop);
    // A new identity clears the signal EndWithTest asked for.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != test)
        std::_Exit(1);
    for (int i = 1; i < argc; ++i)
        argv[i] = argv[i + 1];
    --argc;
}

QString BuildProgram(const QString &path)
{
    return qEnvironmentVariableIsSet(SharedCopies) ? SharedCopy(path) : path;
}

void EndWithTest(QProcess &process)
{
    const pid_t test = getpid();
    process.setChildProcessModifier([test] {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        // The test may have ended before the signal was asked for.
        if (getppid() != test)
            _exit(1);
    });
}

OtherUser::OtherUser()
{
    if (geteuid() != 0)
        return;
    const QString id = QString::number(Id);
    m_shell.start(QStringLiteral("setpriv"),
                  {"--reuid=" + id, "--regid=" + id, "--clear-groups", "/bin/sh", "-s"});
    m_started = m_shell.waitForStarted();
}

OtherUser::~OtherUser()
{
    if (!m_started)
        return;
    m_shell.closeWriteChannel();
    if (!m_shell.waitForFinished(5000))
        m_shell.kill();
}

int OtherUser::Run(const QString &script)
{
    if (!m_started)
        return -1;
    m_shell.write(QFile::encodeName("(" + script + ") >/dev/null 2>&1; echo \"done $?\"\n"));
    while (!m_shell.canReadLine())
        if (!m_shell.waitForReadyRead(20000))
            return -1;
    const QByteArray line = m_shell.readLine().trimmed();
    return line.startsWith("done ") ? line.mid(5).toInt() : -1;
}

bool ChildEnded(qint64 pid)
{
    siginfo_t info{};
    return waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
}

TestXServer::TestXServer(const QString &screen)
{
    // The server picks a free display number and tells it on standard output.
    // It never resets: by default it does so whenever its last client leaves,
    // and a client connecting meanwhile (a window manager starting while
    // xdotool ends) cannot open the display. It listens on its abstract
    // socket only, so that it leaves no socket file in /tmp/.X11-unix, not
    // even when it is killed.
    EndWithTest(m_server);
    m_server.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-screen", "0", screen, "-ac",
                                            "-nolisten", "tcp", "-nolisten", "unix", "-noreset"});
    if (!m_server.waitForStarted())
        return;
    for (int i = 0; i < 40 && !m_server.canReadLine(); ++i)
        m_server.waitForReadyRead(500);
    const QString number = QString::fromLatin1(m_server.readLine()).trimmed();
    if (!number.isEmpty())
        m_display = QLatin1Char(':') + number;
}

TestXServer::~TestXServer()
{
    m_server.terminate();
    if (!m_server.waitForFinished(5000))
        m_server.kill();
    m_server.waitForFinished(5000);
}

QString TestXServer::Xdotool(const QStringList &arguments) const
{
    QProcess x;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    x.setProcessEnvironment(env);
    x.start(QStringLiteral("xdotool"), arguments);
    x.waitForFinished(20000);
    return QString::fromUtf8(x.readAllStandardOutput()).trimmed();
}
