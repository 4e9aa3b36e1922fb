// The program itself (app/main.cpp is compiled into this executable as it
// stands), with the start-up probe attached when the application object is
// built. The report adds the number of list entries, so that a folder named on
// the command line shows how many it brought.

#include "MainWindow1.h"
#include "SortedListBox.h"
#include "StartupProbe.h"

#include <QCoreApplication>

namespace {
void attachProbe()
{
    InstallStartupProbe(QStringLiteral("MainForm1"), [] {
        const int entries = MainForm1 ? MainForm1->ListBox1->Count() : -1;
        const int settingsLoaded = MainForm1 ? MainForm1->Tag : -1;
        return QStringLiteral("entries %1\nactivated %2\n").arg(entries).arg(settingsLoaded);
    });
}
} // namespace

Q_COREAPP_STARTUP_FUNCTION(attachProbe)
