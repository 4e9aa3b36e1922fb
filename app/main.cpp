#include "Application.h"
#include "Dialogs.h"
#include "Errors.h"
#include "Fonts.h"
#include "MainWindow1.h"

#include <QIcon>

int main(int argc, char *argv[])
{
    TApplication app(argc, argv);
    try {
        app.SetTitle(QStringLiteral("Pocketclips"));
        InstallFontSubstitutes();
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/pocketclips.png")));
        MainForm1 = new TMainForm1;
        app.SetMainForm(MainForm1);
        app.Run();
    } catch (const EAbort &) {
    } catch (const Exception &e) {
        ShowErrorBox(e.message());
    } catch (const std::exception &e) {
        ShowErrorBox(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowErrorBox(QString());
    }
    delete MainForm1;
    MainForm1 = nullptr;
    return 0;
}
