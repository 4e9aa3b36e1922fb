#include "DesktopNotification.h"

#include "DesktopBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {
const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");
} // namespace

DesktopNotification &DesktopNotification::Instance()
{
    static DesktopNotification *instance = new DesktopNotification;
    return *instance;
}

DesktopNotification::DesktopNotification() = default;

QString DesktopNotification::BodyText(const QString &plain)
{
    // Notification servers read the body as a small part of HTML: &, < and > are all
    // that must not reach it raw (a folder named "a&b").
    return plain.toHtmlEscaped();
}

void DesktopNotification::Send(const Message &message)
{
    QDBusConnection bus = DesktopBus::Session();
    if (!bus.isConnected())
        return;
    if (!m_listening) {
        m_listening = true;
        bus.connect(Service, Path, Interface, QStringLiteral("ActionInvoked"), this,
                    SLOT(actionInvoked(uint, QString)));
        bus.connect(Service, Path, Interface, QStringLiteral("NotificationClosed"), this,
                    SLOT(closed(uint, uint)));
    }
    QStringList actions;
    if (message.action)
        actions << QLatin1String(ActionKey) << message.actionLabel;
    QVariantMap hints;
    if (!message.desktopEntry.isEmpty())
        hints.insert(QStringLiteral("desktop-entry"), message.desktopEntry);
    QDBusMessage call =
        QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Notify"));
    call << message.appName << uint(0) << message.icon << message.summary << BodyText(message.body)
         << actions << hints << int(-1);
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    const std::function<void()> action = message.action;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, action](QDBusPendingCallWatcher *w) {
                const QDBusPendingReply<uint> reply = *w;
                w->deleteLater();
                if (!reply.isError() && action)
                    m_actions[reply.value()] = action;
            });
}

void DesktopNotification::actionInvoked(uint id, const QString &key)
{
    const auto found = m_actions.find(id);
    if (found == m_actions.end() || key != QLatin1String(ActionKey))
        return;
    // Copied: the action may send a notification of its own.
    const std::function<void()> action = found->second;
    action();
}

void DesktopNotification::closed(uint id, uint)
{
    m_actions.erase(id);
}
