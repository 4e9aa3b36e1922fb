#pragma once

#include "PrivateFolder.h"

#include <QString>

// Where the program's files are. Decided once at start-up; the rest of the
// program asks here and never works a path out itself.
//
// - Portable folder (profile.txt lies beside the program): everything is read
//   and written beside the program.
// - Portable folder the user cannot write (a read-only medium, a copy owned by
//   root): the presets and the guide are still read beside the program; the
//   settings, the thumbnail and the default output folder are the user's own,
//   as for the installed program.
// - Installed (no profile.txt beside the program): the presets and the guide
//   come from the data folder next to the program's bin folder
//   (../share/pocketclips), so a moved prefix still works; a profile.txt of
//   the user's own in the settings folder takes precedence. The settings live
//   in $XDG_CONFIG_HOME/Pocketclips (~/.config when that is unset or
//   relative), outputs go to the user's videos folder, and the thumbnail is
//   written to the run's private folder, so that two running copies never see
//   each other's picture.
//
// Every run, whatever the layout, has a private folder of its own (see
// PrivateFolder), made at start and removed at the end: the encoder adapter
// keeps its two-pass statistics and stream lists there. ~ is $HOME when that
// is an absolute path to a folder, else the account's home.
class AppFiles
{
public:
    enum class Layout { Portable, ReadOnlyPortable, Installed };

    Layout Mode = Layout::Portable;
    // The program's folder, without a trailing separator (the root keeps its "/").
    QString ProgramDir;
    // The preset file that is read, and the user's guide.
    QString PresetFile;
    QString GuideFile;
    // Pocketclips.ini.
    QString SettingsFile;
    // Where the thumbnail run writes _thumb.jpg.
    QString ThumbnailDir;
    // The output folder when none is stored; see DefaultOutputFolder().
    QString DefaultOutputDir;
    // The encoder of the conversion runs: the adapter. A bare name is looked
    // for beside the program first, then on PATH.
    QString EncoderProgram;
    // This run's private folder; no Path when none could be made.
    PrivateFolder RunFolder;
    // The desktop file that starts this program, by its name without
    // ".desktop" (the portable folder's own, or the installed one's), and
    // the icon a notification shows (a path, or the icon theme's name).
    QString DesktopEntry;
    QString Icon;

    // Everything beside the program in programDir; makes nothing.
    static AppFiles Portable(const QString &programDir);

    // The places for a program in programDir, by the rules above and the
    // process's environment. Makes the run's private folder (see
    // RemovePrivateFolder).
    static AppFiles Decide(const QString &programDir);

    // This run's decision; until SetCurrent, the portable folder of the
    // running program. SetCurrent also hands the run's private folder to the
    // encoder runs, in the environment variable RunFolderVariable that they
    // inherit.
    static const AppFiles &Current();
    static void SetCurrent(const AppFiles &files);
    static constexpr const char *RunFolderVariable = "POCKETCLIPS_RUN_DIR";

    // DefaultOutputDir, made with its parents when missing (the user's videos
    // folder may not exist yet).
    QString DefaultOutputFolder() const;

    // SettingsFile, its folder made first (mode 0700) when the settings are
    // the user's own (the first save creates it). A settings folder that is
    // not the user's own (PrivateFolder::IsOwn) is not written to: that
    // raises EIniFileException.
    QString SettingsFileForWriting() const;

    // Removes the run's private folder and what is in it.
    void RemovePrivateFolder() const;

    // The thumbnail folder when no private folder could be made: a path below
    // a device, where no file can ever be created.
    static QString NoFolder();

    // The user's own folder for what must outlive a run of the program (the
    // record of conversions under way), in every layout:
    // $XDG_STATE_HOME/Pocketclips, ~/.local/state when that is unset or
    // relative. Not made here.
    static QString StateFolder();
};
