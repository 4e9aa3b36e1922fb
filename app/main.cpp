#include "AccessibleFactory.h"
#include "AppFiles.h"
#include "Application.h"
#include "Fonts.h"
#include "Guard.h"
#include "MainWindow1.h"

#include <QFileInfo>
#include <QIcon>

int main(int argc, char *argv[])
{
    TApplication app(argc, argv);
    InstallAccessibleFactory();
    // Where the presets, the settings and the thumbnail are, once for the run.
    AppFiles::SetCurrent(AppFiles::Decide(QFileInfo(TApplication::ExeName()).absolutePath()));
    // A failure on the way (profile.txt missing, say) is shown in the error
    // box, and the program ends without its window.
    RunGuarded([&] {
        app.SetTitle(QStringLiteral("Pocketclips"));
        InstallFontSubstitutes();
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/pocketclips.png")));
        MainForm1 = new TMainForm1;
        app.SetMainForm(MainForm1);
        app.Run();
    });
    delete MainForm1;
    MainForm1 = nullptr;
    AppFiles::Current().RemovePrivateFolder();
    return 0;
}
