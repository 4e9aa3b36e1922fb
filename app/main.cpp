#include "Application.h"
#include "Fonts.h"
#include "Guard.h"
#include "MainWindow1.h"

#include <QIcon>

int main(int argc, char *argv[])
{
    TApplication app(argc, argv);
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
    return 0;
}
