#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QPixmap>
#include <QProcess>

#include <cstdlib>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr char AsNobody[] = "--as-nobody";
// The exit status of a program that could not become nobody.
constexpr int CannotDrop = 77;
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

NobodyRun RunAsNobody(const QString &testFunction)
{
    NobodyRun run;
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(AsNobody), testFunction});
    if (!p.waitForFinished(240000))
        p.kill();
    run.output = QString::fromUtf8(p.readAll());
    run.started = p.exitStatus() == QProcess::NormalExit && p.exitCode() != CannotDrop;
    run.passed =
        run.started && p.exitCode() == 0 && run.output.contains(QLatin1String("PASS   : "));
    return run;
}

void DropToNobodyWhenAsked(int &argc, char **argv)
{
    if (argc < 2 || qstrcmp(argv[1], AsNobody) != 0)
        return;
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
        std::_Exit(CannotDrop);
    for (int i = 1; i < argc; ++i)
        argv[i] = argv[i + 1];
    --argc;
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
    m_server.start(QStringLiteral("Xvfb"),
                   {"-displayfd", "1", "-screen", "0", screen, "-ac", "-nolisten", "tcp"});
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
