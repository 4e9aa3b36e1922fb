#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <map>

// Desktop notifications (org.freedesktop.Notifications on the session bus),
// sent without waiting for the server. A notification may carry one action;
// the server's ActionInvoked for it runs the given function, as long as the
// program runs. No bus, no server or an error answer: nothing happens.
class DesktopNotification : public QObject
{
    Q_OBJECT

public:
    struct Message
    {
        QString appName;
        QString icon;         // an icon name of the theme, or a file's path
        QString desktopEntry; // the desktop file's name without ".desktop"
        QString summary;
        QString body; // plain text; escaped for servers that read markup
        QString actionLabel;
        std::function<void()> action;
    };

    // The program's one instance.
    static DesktopNotification &Instance();

    void Send(const Message &message);

    // Text as a body that a server may read as markup shows it.
    static QString BodyText(const QString &plain);

    // The key of the one action in Notify's action list.
    static constexpr const char *ActionKey = "show-output";

private slots:
    void actionInvoked(uint id, const QString &key);
    void closed(uint id, uint reason);

private:
    DesktopNotification();

    bool m_listening = false;
    std::map<uint, std::function<void()>> m_actions;
};
