#include "FileManager.h"

#include "DesktopBus.h"
#include "FileNames.h"
#include "Files.h"
#include "Shell.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QUrl>

void ShowInFolder(const QString &file, const QString &folder)
{
    QDBusConnection bus = DesktopBus::Session();
    if (file.isEmpty() || !FileExists(file) || !bus.isConnected()) {
        ShellOpen(folder);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    // The name's own bytes, also when they are not UTF-8.
    const QByteArray uri = "file://" + QUrl::toPercentEncoding(EncodeFileName(file), "/");
    call << QStringList{QString::fromLatin1(uri)} << QString();
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished,
                     [folder](QDBusPendingCallWatcher *w) {
                         if (w->isError())
                             ShellOpen(folder);
                         w->deleteLater();
                     });
}
