#include "AccessibleFactory.h"
#include "AppFiles.h"
#include "Application.h"
#include "ConversionBatch.h"
#include "Fonts.h"
#include "Guard.h"
#include "MainWindow1.h"
#include "ProgramEnd.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    TApplication app(argc, argv);
    InstallAccessibleFactory();
    // Where the presets, the settings and the thumbnail are, once for the run.
    AppFiles::SetCurrent(AppFiles::Decide(QFileInfo(TApplication::ExeName()).absolutePath()));
    // Docks and task managers (Wayland's above all) find the program's
    // icon and entry by it.
    QGuiApplication::setDesktopFileName(AppFiles::Current().DesktopEntry);
    // A failure on the way (profile.txt missing, say) is shown in the error
    // box, and the program ends without its window.
    int atExit = 0;
    RunGuarded([&] {
        app.SetTitle(QStringLiteral("Pocketclips"));
        InstallFontSubstitutes();
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/pocketclips.png")));
        // A conversion that a crash cut short is tidied up first.
        TConversionBatch::SettleEarlierRuns(AppFiles::StateFolder());
        MainForm1 = new TMainForm1;
        app.SetMainForm(MainForm1);
        // When the display goes away Qt ends the process with exit(): the
        // settings and the private folder are seen to as at a close.
        atExit = ProgramEnd::AtExit([] {
            if (MainForm1)
                MainForm1->FormClose();
            AppFiles::Current().RemovePrivateFolder();
        });
        app.Run();
    });
    ProgramEnd::Remove(atExit);
    delete MainForm1;
    MainForm1 = nullptr;
    AppFiles::Current().RemovePrivateFolder();
    return 0;
}
