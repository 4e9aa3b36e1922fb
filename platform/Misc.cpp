#include "Misc.h"

#include <QApplication>
#include <QThread>

namespace {
int s_beeps = 0;
}

void MessageBeep()
{
    ++s_beeps;
    QApplication::beep();
}

int BeepCount()
{
    return s_beeps;
}

void Sleep(int milliseconds)
{
    if (milliseconds > 0)
        QThread::msleep(static_cast<unsigned long>(milliseconds));
}
