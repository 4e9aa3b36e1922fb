#include "DesktopBus.h"

#include <sys/stat.h>

namespace {
bool sessionBusNamed()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat st;
    return !runtime.isEmpty() && stat((runtime + "/bus").constData(), &st) == 0 &&
           S_ISSOCK(st.st_mode);
}
} // namespace

QDBusConnection DesktopBus::Session()
{
    static const bool named = sessionBusNamed();
    return named ? QDBusConnection::sessionBus()
                 : QDBusConnection(QStringLiteral("pocketclips-no-session-bus"));
}

QDBusConnection DesktopBus::System()
{
    return QDBusConnection::systemBus();
}
