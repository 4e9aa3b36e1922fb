#include "MainWindow1.h"

#include <QCoreApplication>

TMainForm1 *MainForm1 = nullptr;

TMainForm1::TMainForm1(QWidget *parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("MainForm1"));
    setWindowTitle(QStringLiteral("Pocketclips"));
    setFixedSize(400, 591);
    move(21, 21);
    AppDir = QCoreApplication::applicationDirPath();
}
