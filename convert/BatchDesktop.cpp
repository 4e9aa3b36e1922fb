#include "BatchDesktop.h"

#include "AppFiles.h"
#include "BatchReport.h"
#include "DesktopNotification.h"
#include "FileManager.h"
#include "LauncherEntry.h"

#include <QGuiApplication>

BatchDesktop::BatchDesktop(QWidget *mainWindow, int total)
    : m_mainWindow(mainWindow), m_total(total), m_entry(AppFiles::Current().DesktopEntry),
      m_inhibitor(QStringLiteral("Pocketclips"), QStringLiteral("動画を変換しています"))
{
    Progress(0);
}

BatchDesktop::~BatchDesktop()
{
    LauncherEntry::HideProgress(m_entry);
}

void BatchDesktop::Progress(int done)
{
    // Once a file, not once a pass: the second pass shows the same count.
    if (done == m_done || m_total <= 0)
        return;
    m_done = done;
    LauncherEntry::ShowProgress(m_entry, double(done) / m_total);
}

bool BatchDesktop::MainWindowActive(const QWidget *mainWindow)
{
    // During the batch the progress window, not the disabled main window,
    // has the keys: the application being active is what tells.
    return mainWindow && QGuiApplication::applicationState() == Qt::ApplicationActive &&
           mainWindow->isVisible() && !mainWindow->isMinimized();
}

void BatchDesktop::Finished(const BatchReport &report, const QString &outputFolder, bool stopped)
{
    if (!stopped)
        Progress(m_total);
    if (MainWindowActive(m_mainWindow))
        return;
    const AppFiles &files = AppFiles::Current();
    DesktopNotification::Message message;
    message.appName = QStringLiteral("Pocketclips");
    message.icon = files.Icon;
    message.desktopEntry = files.DesktopEntry;
    message.summary = BatchReport::Summary(stopped);
    message.body = report.Body(outputFolder);
    message.actionLabel = QStringLiteral("保存先を表示");
    const QString last = report.LastOutput();
    message.action = [last, outputFolder] { ShowInFolder(last, outputFolder); };
    DesktopNotification::Instance().Send(message);
}
