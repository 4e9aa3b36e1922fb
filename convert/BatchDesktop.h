#pragma once

#include "SleepInhibitor.h"

#include <QPointer>
#include <QString>
#include <QWidget>

class BatchReport;

// What a running batch tells the desktop, beside its own windows: it keeps
// the computer awake while it lives, shows its progress on the program's
// dock entry, and at its end, when the user is not at the main window, says
// in a notification what it came to, with an action that shows the output.
// Every service is optional; none is waited for.
class BatchDesktop
{
public:
    // At the batch's start: the inhibitor is asked for and the dock's bar
    // shows 0 of total.
    BatchDesktop(QWidget *mainWindow, int total);
    ~BatchDesktop(); // the inhibitor goes and the dock's bar is hidden

    // done of the total files are finished (the progress bar's position).
    void Progress(int done);

    // The batch is over (stopped: by a failure that ended it early): the
    // dock's bar shows the end, and the notification goes out unless the
    // main window is the user's active window.
    void Finished(const BatchReport &report, const QString &outputFolder, bool stopped);

    // Whether the user is at the main window: the application is active,
    // and the main window is shown and not minimized.
    static bool MainWindowActive(const QWidget *mainWindow);

    SleepInhibitor &Inhibitor() { return m_inhibitor; }

private:
    QPointer<QWidget> m_mainWindow;
    int m_total;
    int m_done = -1;
    QString m_entry;
    SleepInhibitor m_inhibitor;
};
