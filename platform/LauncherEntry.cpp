#include "LauncherEntry.h"

#include "DesktopBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

namespace {
void update(const QString &desktopEntry, const QVariantMap &properties)
{
    if (desktopEntry.isEmpty())
        return;
    QDBusConnection bus = DesktopBus::Session();
    if (!bus.isConnected())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(
        QStringLiteral("/com/canonical/unity/launcherentry/pocketclips"),
        QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
    signal << QStringLiteral("application://%1.desktop").arg(desktopEntry) << properties;
    bus.send(signal);
}
} // namespace

void LauncherEntry::ShowProgress(const QString &desktopEntry, double progress)
{
    update(desktopEntry, {{QStringLiteral("progress"), qBound(0.0, progress, 1.0)},
                          {QStringLiteral("progress-visible"), true}});
}

void LauncherEntry::HideProgress(const QString &desktopEntry)
{
    update(desktopEntry,
           {{QStringLiteral("progress"), 0.0}, {QStringLiteral("progress-visible"), false}});
}
