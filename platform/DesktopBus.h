#pragma once

#include <QDBusConnection>

// The buses the desktop's services are on. The session bus is the one the
// session names (DBUS_SESSION_BUS_ADDRESS, or the user's bus socket in
// $XDG_RUNTIME_DIR): where there is none, none is started (the D-Bus
// library would launch a bus of its own for the X display otherwise).
// Without a bus the connection given is not connected.
namespace DesktopBus {
QDBusConnection Session();
QDBusConnection System();
} // namespace DesktopBus
