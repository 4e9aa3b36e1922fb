#pragma once

#include <QByteArray>

// Which display system the program runs on. Its window is borderless, placed
// by the program and kept on top, which only X lets a program do: in a Wayland
// session it runs on X through XWayland when there is an X display, and on
// Wayland itself (moved by the system move) when there is none.
struct DisplayEnvironment
{
    QByteArray qpaPlatform;    // QT_QPA_PLATFORM: the user's own choice
    QByteArray sessionType;    // XDG_SESSION_TYPE
    QByteArray waylandDisplay; // WAYLAND_DISPLAY
    QByteArray display;        // DISPLAY

    static DisplayEnvironment Current();
};

// The platform plugin to ask Qt for; empty leaves Qt's own choice.
QByteArray ChooseDisplayPlatform(const DisplayEnvironment &env);
