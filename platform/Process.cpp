#include "Process.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {
int openPidfd(pid_t pid)
{
#ifdef SYS_pidfd_open
    return int(syscall(SYS_pidfd_open, pid, 0));
#else
    Q_UNUSED(pid);
    errno = ENOSYS;
    return -1;
#endif
}

bool sendPidfdSignal(int pidfd, int sig)
{
#ifdef SYS_pidfd_send_signal
    return syscall(SYS_pidfd_send_signal, pidfd, sig, nullptr, 0) == 0;
#else
    Q_UNUSED(pidfd);
    Q_UNUSED(sig);
    errno = ENOSYS;
    return false;
#endif
}

bool isExecutableFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

qint64 nowMs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}
} // namespace

QString ChildProcess::FindProgram(const QString &program)
{
    if (program.isEmpty())
        return QString();
    if (program.contains(QLatin1Char('/')))
        return isExecutableFile(program) ? program : QString();
    const QString own = QCoreApplication::applicationDirPath() + QLatin1Char('/') + program;
    if (isExecutableFile(own))
        return own;
    const QStringList dirs = QString::fromLocal8Bit(qgetenv("PATH")).split(QLatin1Char(':'));
    for (const QString &dir : dirs) {
        const QString candidate = (dir.isEmpty() ? QStringLiteral(".") : dir) +
                                  QLatin1Char('/') + program;
        if (isExecutableFile(candidate))
            return candidate;
    }
    return QString();
}

ChildProcess::~ChildProcess()
{
    if (IsRunning()) {
        Terminate();
        reap(true);
    }
    if (m_pidfd >= 0)
        close(m_pidfd);
}

bool ChildProcess::Start(const QString &program, const QStringList &arguments)
{
    if (m_pid > 0)
        return false;
    const QString path = FindProgram(program);
    if (path.isEmpty())
        return false;

    // Everything the child needs is prepared before fork(): afterwards it may
    // only make async-signal-safe calls.
    const QByteArray file = QFile::encodeName(path);
    std::vector<QByteArray> storage;
    storage.reserve(size_t(arguments.size()) + 1);
    storage.push_back(QFile::encodeName(program));
    for (const QString &a : arguments)
        storage.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    // A pipe closed on exec tells the parent whether exec succeeded.
    int status[2];
    if (pipe2(status, O_CLOEXEC) != 0)
        return false;
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        close(status[0]);
        close(status[1]);
        return false;
    }
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
            if (null > 2)
                close(null);
        }
        signal(SIGPIPE, SIG_DFL);
        execv(file.constData(), argv.data());
        const int err = errno;
        (void)!write(status[1], &err, sizeof err);
        _exit(127);
    }
    close(status[1]);
    int err = 0;
    ssize_t n;
    do {
        n = read(status[0], &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    close(status[0]);
    m_pid = pid;
    m_reaped = false;
    m_exited = false;
    m_exitCode = 0;
    m_signal = 0;
    if (n > 0) {
        // exec failed: the child is gone; reap it and report no process.
        reap(true);
        m_pid = -1;
        return false;
    }
    m_pidfd = openPidfd(pid);
    return true;
}

bool ChildProcess::reap(bool block)
{
    if (m_reaped)
        return true;
    int st = 0;
    pid_t r;
    do {
        r = waitpid(m_pid, &st, block ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0)
        return false;
    m_reaped = true;
    if (r == m_pid) {
        m_exited = WIFEXITED(st);
        m_exitCode = m_exited ? WEXITSTATUS(st) : 0;
        m_signal = WIFSIGNALED(st) ? WTERMSIG(st) : 0;
    }
    return true;
}

ChildProcess::WaitResult ChildProcess::Wait(int timeoutMs)
{
    if (m_pid <= 0)
        return WaitResult::Failed;
    if (m_reaped || reap(false))
        return WaitResult::Ended;
    const qint64 deadline = nowMs() + qMax(0, timeoutMs);
    if (m_pidfd >= 0) {
        for (;;) {
            const int left = int(qMax<qint64>(0, deadline - nowMs()));
            struct pollfd p = {m_pidfd, POLLIN, 0};
            const int r = poll(&p, 1, left);
            if (r > 0)
                return reap(true) ? WaitResult::Ended : WaitResult::Failed;
            if (r == 0)
                return WaitResult::Timeout;
            if (errno != EINTR)
                break;
        }
    }
    // Without pidfd: poll the child's state in short steps.
    for (;;) {
        if (reap(false))
            return WaitResult::Ended;
        if (nowMs() >= deadline)
            return WaitResult::Timeout;
        usleep(1000);
    }
}

bool ChildProcess::Terminate()
{
    // A child that has already ended is not "terminated" by us.
    if (!IsRunning() || reap(false))
        return false;
    // Until it is reaped the child's id cannot be reused, so both ways below
    // can only reach our own child.
    if (m_pidfd >= 0)
        return sendPidfdSignal(m_pidfd, SIGKILL);
    return kill(m_pid, SIGKILL) == 0;
}
