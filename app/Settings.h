#pragma once

#include "AppFiles.h"

#include <QString>

class QWidget;
struct EncodingControls;

// Pocketclips.ini (where AppFiles puts it): the main window's position and
// the last state of the encoding controls, from one run to the next.
class Settings
{
public:
    // The settings file of the portable program folder appDir; its name
    // stays the same whatever the program file is called.
    static QString FilePath(const QString &appDir);

    // Restores the window position, selects the stored preset and applies it
    // (which may raise EConvertError), then restores the controls, the output
    // folder (the default output folder when empty) and the two switches.
    // Every value missing or unreadable leaves what is in force.
    static void Load(QWidget *window, const EncodingControls &controls, const AppFiles &files);

    // Writes every key, one write each; the first refused write raises
    // EIniFileException and the keys after it keep their old values.
    static void Save(const QWidget *window, const EncodingControls &controls,
                     const AppFiles &files);

    // Save for the close handler: a refused write shows the error box and
    // gives false.
    static bool SaveForClose(const QWidget *window, const EncodingControls &controls,
                             const AppFiles &files);

    // The same for the portable program folder appDir.
    static void Load(QWidget *window, const EncodingControls &controls, const QString &appDir)
    {
        Load(window, controls, AppFiles::Portable(appDir));
    }
    static void Save(const QWidget *window, const EncodingControls &controls, const QString &appDir)
    {
        Save(window, controls, AppFiles::Portable(appDir));
    }
    static bool SaveForClose(const QWidget *window, const EncodingControls &controls,
                             const QString &appDir)
    {
        return SaveForClose(window, controls, AppFiles::Portable(appDir));
    }
};
