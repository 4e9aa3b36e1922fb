#pragma once

#include <QString>

class QWidget;
struct EncodingControls;

// Pocketclips.ini beside the program: the main window's position and the last
// state of the encoding controls, from one run to the next.
class Settings
{
public:
    // The settings file of the program folder appDir; its name stays the
    // same whatever the program file is called.
    static QString FilePath(const QString &appDir);

    // Restores the window position, selects the stored preset and applies it
    // (which may raise EConvertError), then restores the controls, the output
    // folder (appDir when empty) and the two switches. Every value missing or
    // unreadable leaves what is in force.
    static void Load(QWidget *window, const EncodingControls &controls, const QString &appDir);

    // Writes every key, one write each; the first refused write raises
    // EIniFileException and the keys after it keep their old values.
    static void Save(const QWidget *window, const EncodingControls &controls,
                     const QString &appDir);

    // Save for the close handler: a refused write shows the error box and
    // gives false, and the window should then stay open.
    static bool SaveForClose(const QWidget *window, const EncodingControls &controls,
                             const QString &appDir);
};
