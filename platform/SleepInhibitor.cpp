#include "SleepInhibitor.h"

#include "DesktopBus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {
const QString PortalService = QStringLiteral("org.freedesktop.portal.Desktop");

// The portal's flags: suspend (4) and idle (8).
constexpr uint PortalSuspendAndIdle = 4 | 8;

void closePortalRequest(const QString &handle)
{
    if (handle.isEmpty())
        return;
    DesktopBus::Session().send(QDBusMessage::createMethodCall(
        PortalService, handle, QStringLiteral("org.freedesktop.portal.Request"),
        QStringLiteral("Close")));
}
} // namespace

SleepInhibitor::SleepInhibitor(const QString &who, const QString &why, QObject *parent)
    : QObject(parent), m_who(who), m_why(why)
{
    askLogind();
}

SleepInhibitor::~SleepInhibitor()
{
    // m_lock closes its descriptor, which ends logind's lock.
    closePortalRequest(m_portalRequest);
    if (m_pending && m_state == State::Asking && m_pending->property("portal").toBool()) {
        // The portal's answer is still to come: it is let go when it does.
        m_pending->setParent(QCoreApplication::instance());
        m_pending->disconnect(this);
        connect(m_pending, &QDBusPendingCallWatcher::finished, [](QDBusPendingCallWatcher *w) {
            const QDBusPendingReply<QDBusObjectPath> reply = *w;
            if (!reply.isError())
                closePortalRequest(reply.value().path());
            w->deleteLater();
        });
    }
}

void SleepInhibitor::setState(State state)
{
    m_state = state;
    emit StateChanged(state);
}

void SleepInhibitor::askLogind()
{
    QDBusConnection bus = DesktopBus::System();
    if (!bus.isConnected()) {
        askPortal();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:idle") << m_who << m_why << QStringLiteral("block");
    m_pending = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(m_pending, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *w) {
                const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
                w->deleteLater();
                m_pending = nullptr;
                if (reply.isError() || !reply.value().isValid()) {
                    askPortal();
                    return;
                }
                m_lock = reply.value();
                setState(State::Logind);
            });
}

void SleepInhibitor::askPortal()
{
    QDBusConnection bus = DesktopBus::Session();
    if (!bus.isConnected()) {
        setState(State::NotAvailable);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        PortalService, QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"));
    QVariantMap options;
    options.insert(QStringLiteral("reason"), m_why);
    call << QString() << PortalSuspendAndIdle << options;
    m_pending = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    m_pending->setProperty("portal", true);
    connect(m_pending, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *w) {
                const QDBusPendingReply<QDBusObjectPath> reply = *w;
                w->deleteLater();
                m_pending = nullptr;
                if (reply.isError()) {
                    setState(State::NotAvailable);
                    return;
                }
                m_portalRequest = reply.value().path();
                setState(State::Portal);
            });
}
