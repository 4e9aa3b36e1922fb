#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <sys/types.h>

// A hidden child process started from an argument list (no shell, nothing
// re-parsed), stdin from /dev/null, stdout and stderr discarded (stderr kept
// when asked, see KeepErrorOutput). The child dies with the program, also
// when the program crashes.
class ChildProcess
{
public:
    enum class WaitResult { Ended, Timeout, Failed };

    ChildProcess() = default;
    ~ChildProcess(); // ends and reaps a child still running
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Before Start: the child's error output goes to a pipe instead of
    // /dev/null, and its last ErrorTailBytes are kept (ErrorOutput). The pipe
    // must be drained while the child runs (ReadErrorOutput, when
    // ErrorOutputNotifier is readable), or a talkative child blocks on it.
    void KeepErrorOutput() { m_keepErrors = true; }
    static constexpr int ErrorTailBytes = 16384;
    // The pipe's end to watch; -1 when there is none (not kept, or closed).
    int ErrorOutputNotifier() const { return m_errorFd; }
    // Takes what the child has written so far, without waiting; closes the
    // pipe once the child's side is closed.
    void ReadErrorOutput();
    // The end of the child's error output (after ReadErrorOutput), cut at a
    // line start when longer.
    QByteArray ErrorOutput() const { return m_errors; }

    // Looks the program up (see FindProgram) and starts it. False when it
    // cannot be found or started; the process then does not exist.
    bool Start(const QString &program, const QStringList &arguments);

    // Waits at most timeoutMs for the child to end; returns at once when it does.
    WaitResult Wait(int timeoutMs);

    // True from a successful start until the child has been reaped.
    bool IsRunning() const { return m_pid > 0 && !m_reaped; }

    // Ends the child with SIGKILL. Acts only on the child this object started
    // and has not yet reaped, so a reused process id is never hit. True when
    // the signal reached a live child.
    bool Terminate();

    // A descriptor that becomes readable once the child has ended, for an event
    // loop to wait on together with its other sources; -1 when there is none.
    int EndNotifier() const { return IsRunning() ? m_pidfd : -1; }

    pid_t Pid() const { return m_pid; }
    bool Started() const { return m_pid > 0; }
    bool Reaped() const { return m_reaped; }
    // After the end: exited normally with ExitCode(), or killed by TermSignal().
    bool Exited() const { return m_exited; }
    int ExitCode() const { return m_exitCode; }
    int TermSignal() const { return m_signal; }
    bool Succeeded() const { return m_reaped && m_exited && m_exitCode == 0; }

    // The program's file: a name with a "/" as it stands; a bare name first in
    // the program's own folder, then on PATH. Empty when not found.
    static QString FindProgram(const QString &program);
    // The same without the program's own folder: a bare name on PATH only.
    static QString FindOnPath(const QString &program);

    // Runs a program found by FindOnPath detached: hidden, stdin from
    // /dev/null, output discarded, in a session of its own, not waited for
    // and not ended with the program. False when it could not be started.
    static bool StartDetached(const QString &program, const QStringList &arguments);

private:
    bool reap(bool block);

    pid_t m_pid = -1;
    int m_pidfd = -1;
    bool m_reaped = false;
    bool m_exited = false;
    int m_exitCode = 0;
    int m_signal = 0;
    bool m_keepErrors = false;
    int m_errorFd = -1;
    QByteArray m_errors;
};
