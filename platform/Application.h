#pragma once

#include <QString>

class QWidget;

// The application object of the program: its title, its main form, the message
// loop and the "handle what is pending" step that long operations call.
class TApplication
{
public:
    TApplication(int &argc, char **argv);
    ~TApplication();

    TApplication(const TApplication &) = delete;
    TApplication &operator=(const TApplication &) = delete;

    QString Title() const;
    void SetTitle(const QString &title);

    QWidget *MainForm() const { return m_mainForm; }
    void SetMainForm(QWidget *form) { m_mainForm = form; }

    // Shows the main form and runs the message loop until it closes.
    int Run();
    // Handles every pending event and returns.
    static void ProcessMessages();
    // Minimises the whole application.
    void Minimize();

    // The program's own file, its folder and its command-line parameters
    // (parameter 0, the program itself, excluded).
    static QString ExeName();
    static QStringList Parameters();

private:
    QWidget *m_mainForm = nullptr;
};

// The one application object, set while it lives.
extern TApplication *Application;
