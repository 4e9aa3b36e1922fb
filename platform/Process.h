#pragma once

#include <QString>
#include <QStringList>
#include <sys/types.h>

// A hidden child process started from an argument list (no shell, nothing
// re-parsed), stdin from /dev/null, stdout and stderr discarded. The child dies
// with the program, also when the program crashes.
class ChildProcess
{
public:
    enum class WaitResult { Ended, Timeout, Failed };

    ChildProcess() = default;
    ~ChildProcess(); // ends and reaps a child still running
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

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
};
