#pragma once

#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

class QDBusPendingCallWatcher;

// Keeps the computer from suspending and the screen from blanking while it
// lives: logind's inhibitor lock on the system bus ("sleep:idle", held as a
// file descriptor, so that a program killed outright lets it go too), or,
// where logind is missing or refuses, the desktop portal's inhibition on the
// session bus. Asked for without waiting; no bus or a refusal is no error:
// the inhibitor is then simply not held.
class SleepInhibitor : public QObject
{
    Q_OBJECT

public:
    enum class State { Asking, Logind, Portal, NotAvailable };

    SleepInhibitor(const QString &who, const QString &why, QObject *parent = nullptr);
    ~SleepInhibitor() override; // lets go of what is held

    State CurrentState() const { return m_state; }

signals:
    void StateChanged(SleepInhibitor::State state);

private:
    void askLogind();
    void askPortal();
    void setState(State state);

    QString m_who, m_why;
    State m_state = State::Asking;
    QDBusUnixFileDescriptor m_lock;
    QString m_portalRequest;
    QDBusPendingCallWatcher *m_pending = nullptr;
};
