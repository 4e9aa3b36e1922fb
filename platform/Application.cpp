#include "Application.h"

#include "DisplayPlatform.h"
#include "FileNames.h"
#include "ProgramEnd.h"

#include <QApplication>
#include <QFileInfo>
#include <QWidget>

TApplication *Application = nullptr;

namespace {
// QApplication keeps a reference to argc: it must outlive the object.
QApplication *s_qapp = nullptr;
// The parameters as the system gave them, Qt's own options taken out.
QStringList s_parameters;
bool s_haveParameters = false;
} // namespace

TApplication::TApplication(int &argc, char **argv)
{
    if (!QApplication::instance()) {
        // The display system is chosen for this process only: programs it
        // starts later (the user's editor, the browser) choose their own.
        const QByteArray platform = ChooseDisplayPlatform(DisplayEnvironment::Current());
        if (!platform.isEmpty())
            qputenv("QT_QPA_PLATFORM", platform);
        s_qapp = new QApplication(argc, argv);
        if (!platform.isEmpty())
            qunsetenv("QT_QPA_PLATFORM");
    }
    Application = this;
    // Taken from argv itself: QCoreApplication::arguments() would lose the
    // bytes of a file name that is not UTF-8.
    s_parameters.clear();
    for (int i = 1; i < argc; ++i)
        s_parameters << DecodeFileName(QByteArray(argv[i]));
    s_haveParameters = true;
    ProgramEnd::CatchSignals();
}

TApplication::~TApplication()
{
    Application = nullptr;
    s_haveParameters = false;
    delete s_qapp;
    s_qapp = nullptr;
}

QString TApplication::Title() const
{
    return QApplication::applicationDisplayName();
}

void TApplication::SetTitle(const QString &title)
{
    QApplication::setApplicationDisplayName(title);
    QApplication::setApplicationName(title);
}

int TApplication::Run()
{
    // Told to end before the loop ran (in a box shown at start): no window.
    if (ProgramEnd::Requested())
        return 0;
    if (m_mainForm) {
        m_mainForm->show();
        // Without a window manager nothing would activate the window.
        m_mainForm->activateWindow();
    }
    return QApplication::exec();
}

void TApplication::ProcessMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TApplication::Minimize()
{
    if (m_mainForm)
        m_mainForm->showMinimized();
}

QString TApplication::ExeName()
{
    return QCoreApplication::applicationFilePath();
}

QStringList TApplication::Parameters()
{
    if (s_haveParameters)
        return s_parameters;
    QStringList args = QCoreApplication::arguments();
    if (!args.isEmpty())
        args.removeFirst();
    return args;
}
