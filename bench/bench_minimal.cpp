// The baseline of the start-up figures: the least a Qt Widgets window program
// does to show a window with a line of text, built like the program (same
// compiler, flags and Qt) and ended by the same probe.

#include "StartupProbe.h"

#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    InstallStartupProbe(QStringLiteral("MinimalWindow"));
    QWidget window(nullptr, Qt::Window | Qt::FramelessWindowHint);
    window.setObjectName(QStringLiteral("MinimalWindow"));
    window.setFixedSize(400, 591);
    if (qEnvironmentVariableIsEmpty("PC_BENCH_NO_TEXT")) {
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(new QLabel(QStringLiteral("Pocketclips"), &window));
    }
    window.show();
    window.activateWindow();
    return app.exec();
}
