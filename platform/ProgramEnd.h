#pragma once

#include <QObject>
#include <functional>

// How the program ends when it is told to from outside.
//
// SIGTERM, SIGINT and SIGHUP (a logout, kill, Ctrl+C, a closed terminal) no
// longer kill the process on the spot: the signal is passed to the event loop
// through a socket, and the application quits as when its window is closed
// (a running conversion is stopped and cleaned up, the settings are saved
// when they can be, the program's temporary files go), with exit status 0.
//
// When the display goes away, Qt's X11 plugin ends the process with exit();
// what was given to AtExit runs then, the last added first.
class ProgramEnd : public QObject
{
    Q_OBJECT

public:
    // Catches the three signals from now on; needs the application object.
    static void CatchSignals();

    // True once the program is ending on such a request: a close then must
    // not be refused (no question, no box that would wait for a user).
    static bool Requested();

    // Clean-up for an end through exit(): run at most once, only if the key
    // has not been removed before.
    static int AtExit(std::function<void()> cleanUp);
    static void Remove(int key);

private:
    explicit ProgramEnd(int socket);
    void signalled();

    int m_socket;
};
