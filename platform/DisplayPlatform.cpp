#include "DisplayPlatform.h"

#include <QtGlobal>

DisplayEnvironment DisplayEnvironment::Current()
{
    return {qgetenv("QT_QPA_PLATFORM"), qgetenv("XDG_SESSION_TYPE"), qgetenv("WAYLAND_DISPLAY"),
            qgetenv("DISPLAY")};
}

QByteArray ChooseDisplayPlatform(const DisplayEnvironment &env)
{
    if (!env.qpaPlatform.isEmpty())
        return {};
    const bool wayland = env.sessionType == "wayland" || !env.waylandDisplay.isEmpty();
    if (!wayland)
        return {};
    return env.display.isEmpty() ? QByteArray("wayland") : QByteArray("xcb");
}
