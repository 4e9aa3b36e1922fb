#pragma once

#include <QWidget>

// The main window: a borderless 400 x 591 window.
class TMainForm1 : public QWidget
{
    Q_OBJECT

public:
    explicit TMainForm1(QWidget *parent = nullptr);

    // The program's folder, without a trailing separator (the root keeps its "/").
    QString AppDir;
};

extern TMainForm1 *MainForm1;
