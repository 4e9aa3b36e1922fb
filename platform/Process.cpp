#include "Process.h"

#include "FileNames.h"

#include <QCoreApplication>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
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
    const QByteArray native = EncodeFileName(path);
    struct stat st;
    return stat(native.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
           access(native.constData(), X_OK) == 0;
}

// The argument vector of an exec: the strings stay alive in storage.
std::vector<char *> argumentVector(const QString &program, const QStringList &arguments,
                                   std::vector<QByteArray> &storage)
{
    storage.reserve(size_t(arguments.size()) + 1);
    storage.push_back(EncodeFileName(program));
    for (const QString &a : arguments)
        storage.push_back(EncodeFileName(a));
    std::vector<char *> argv;
    for (QByteArray &s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    return argv;
}

// In a child between fork() and exec: no input, output discarded, the error
// output to errors when that is a descriptor.
void nullStandardFiles(int errors)
{
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        dup2(null, 0);
        dup2(null, 1);
        dup2(errors >= 0 ? errors : null, 2);
        if (null > 2)
            close(null);
    }
    signal(SIGPIPE, SIG_DFL);
}

// In a child: becomes the program, or tells why not through fd and ends.
[[noreturn]] void execOrReport(const QByteArray &file, const std::vector<char *> &argv, int fd,
                               int errors = -1)
{
    nullStandardFiles(errors);
    execv(file.constData(), argv.data());
    const int err = errno;
    (void)!write(fd, &err, sizeof err);
    _exit(127);
}

// fork() with a pipe closed on exec, which tells the parent whether exec
// succeeded (status[1] is the child's end); -1 when either fails.
pid_t forkWithStatus(int status[2])
{
    if (pipe2(status, O_CLOEXEC) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid < 0) {
        close(status[0]);
        close(status[1]);
    }
    return pid;
}

// Reads the errno a failed exec reported through the pipe; 0 when exec succeeded.
int execFailure(int fd)
{
    int err = 0;
    ssize_t n;
    do {
        n = read(fd, &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    return n > 0 ? (err ? err : -1) : 0;
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
    if (!program.isEmpty() && !program.contains(QLatin1Char('/'))) {
        const QString own = QCoreApplication::applicationDirPath() + QLatin1Char('/') + program;
        if (isExecutableFile(own))
            return own;
    }
    return FindOnPath(program);
}

QString ChildProcess::FindOnPath(const QString &program)
{
    if (program.isEmpty())
        return QString();
    if (program.contains(QLatin1Char('/')))
        return isExecutableFile(program) ? program : QString();
    const QStringList dirs = DecodeFileName(qgetenv("PATH")).split(QLatin1Char(':'));
    for (const QString &dir : dirs) {
        const QString candidate =
            (dir.isEmpty() ? QStringLiteral(".") : dir) + QLatin1Char('/') + program;
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
    if (m_errorFd >= 0)
        close(m_errorFd);
}

void ChildProcess::ReadErrorOutput()
{
    if (m_errorFd < 0)
        return;
    char buffer[8192];
    for (;;) {
        const ssize_t n = read(m_errorFd, buffer, sizeof buffer);
        if (n > 0) {
            m_errors.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || errno != EAGAIN) {
            close(m_errorFd);
            m_errorFd = -1;
        }
        break;
    }
    if (m_errors.size() > ErrorTailBytes) {
        // Only the end tells why a run failed; it starts with a whole line
        // (or a whole part of a line that carriage returns overwrite).
        m_errors.remove(0, m_errors.size() - ErrorTailBytes);
        qsizetype start = 0;
        while (start < m_errors.size() && m_errors[start] != '\n' && m_errors[start] != '\r')
            ++start;
        m_errors.remove(0, start < m_errors.size() ? start + 1 : 0);
    }
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
    const QByteArray file = EncodeFileName(path);
    std::vector<QByteArray> storage;
    const std::vector<char *> argv = argumentVector(program, arguments, storage);

    // The error output's pipe: our end never reaches a child, and reading
    // it never waits.
    int errors[2] = {-1, -1};
    if (m_keepErrors && pipe2(errors, O_CLOEXEC) == 0)
        fcntl(errors[0], F_SETFL, O_NONBLOCK);
    int status[2];
    const pid_t parent = getpid();
    const pid_t pid = forkWithStatus(status);
    if (pid < 0) {
        for (const int fd : errors)
            if (fd >= 0)
                close(fd);
        return false;
    }
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        execOrReport(file, argv, status[1], errors[1]);
    }
    close(status[1]);
    if (errors[1] >= 0)
        close(errors[1]);
    m_errorFd = errors[0];
    m_errors.clear();
    const int failed = execFailure(status[0]);
    close(status[0]);
    m_pid = pid;
    m_reaped = false;
    m_exited = false;
    m_exitCode = 0;
    m_signal = 0;
    if (failed) {
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

bool ChildProcess::StartDetached(const QString &program, const QStringList &arguments)
{
    const QString path = FindOnPath(program);
    if (path.isEmpty())
        return false;
    const QByteArray file = EncodeFileName(path);
    std::vector<QByteArray> storage;
    const std::vector<char *> argv = argumentVector(program, arguments, storage);
    // The middle child ends at once, so the program never has to reap the
    // run, which then belongs to init.
    int status[2];
    const pid_t middle = forkWithStatus(status);
    if (middle < 0)
        return false;
    if (middle == 0) {
        setsid();
        const pid_t run = fork();
        if (run == 0)
            execOrReport(file, argv, status[1]);
        if (run > 0)
            _exit(0);
        const int err = errno;
        (void)!write(status[1], &err, sizeof err);
        _exit(127);
    }
    close(status[1]);
    int st = 0;
    while (waitpid(middle, &st, 0) < 0 && errno == EINTR) {
    }
    const int failed = execFailure(status[0]);
    close(status[0]);
    return failed == 0;
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
