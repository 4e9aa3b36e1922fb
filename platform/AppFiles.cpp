#include "AppFiles.h"

#include "Errors.h"
#include "FileNames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdlib>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

// PC_DATA_FROM_BIN and PC_HELPERS_FROM_BIN: the installed data folder and
// the folder of the encoder adapter, relative to the program's folder (the
// build's install layout gives them); PC_APP_ID: the installed desktop file's
// and icon's name.

namespace {
const QString PresetName = QStringLiteral("profile.txt");
const QString GuideName = QStringLiteral("Readme.txt");
const QString SettingsName = QStringLiteral("Pocketclips.ini");
const QString UserFolderName = QStringLiteral("Pocketclips");
const QString EncoderName = QStringLiteral("ffmpeg");

QString inFolder(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

// $HOME when it names a folder by an absolute path; empty otherwise.
QString homeFromEnvironment()
{
    const QString home = AbsolutePathFromEnvironment("HOME");
    return !home.isEmpty() && QFileInfo(home).isDir() ? home : QString();
}

// $HOME, or the home of the account when HOME is unset, empty, relative or
// not a folder.
QString homeFolder()
{
    const QString home = homeFromEnvironment();
    if (!home.isEmpty())
        return home;
    const QString account = AccountHome();
    // The usual home of an account without one.
    return account.isEmpty() ? QStringLiteral("/nonexistent") : account;
}

QString configFolder()
{
    QString config = AbsolutePathFromEnvironment("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = inFolder(homeFolder(), QStringLiteral(".config"));
    return inFolder(config, UserFolderName);
}

QString videosFolder()
{
    // The desktop's own name for it (user-dirs.dirs may say ~/ビデオ); Qt
    // reads HOME for it, so only when HOME can be trusted.
    if (!homeFromEnvironment().isEmpty()) {
        const QString movies = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
        if (movies.startsWith(QLatin1Char('/')))
            return QDir::cleanPath(movies);
    }
    return inFolder(homeFolder(), QStringLiteral("Videos"));
}

bool writableFolder(const QString &folder)
{
    return access(EncodeFileName(folder).constData(), W_OK) == 0;
}
} // namespace

AppFiles AppFiles::Portable(const QString &programDir)
{
    AppFiles f;
    f.Mode = Layout::Portable;
    f.ProgramDir = programDir;
    f.PresetFile = inFolder(programDir, PresetName);
    f.GuideFile = programDir + QLatin1Char('/') + GuideName;
    f.SettingsFile = inFolder(programDir, SettingsName);
    f.ThumbnailDir = programDir;
    f.DefaultOutputDir = programDir;
    f.EncoderProgram = EncoderName;
    f.DesktopEntry = QStringLiteral("pocketclips");
    f.Icon = inFolder(programDir, QStringLiteral("pocketclips.png"));
    return f;
}

AppFiles AppFiles::Decide(const QString &programDir)
{
    AppFiles f = Portable(programDir);
    f.RunFolder = PrivateFolder::MakeFresh(QStringLiteral("pocketclips-"));
    const bool portable = QFileInfo::exists(f.PresetFile);
    if (portable && writableFolder(programDir))
        return f;

    const QString config = configFolder();
    f.Mode = portable ? Layout::ReadOnlyPortable : Layout::Installed;
    f.SettingsFile = inFolder(config, SettingsName);
    f.DefaultOutputDir = videosFolder();
    f.ThumbnailDir = f.RunFolder.Path.isEmpty() ? NoFolder() : f.RunFolder.Path;
    if (portable)
        return f;

    const QString data = QDir::cleanPath(inFolder(programDir, QStringLiteral(PC_DATA_FROM_BIN)));
    const QString own = inFolder(config, PresetName);
    f.PresetFile = QFileInfo::exists(own) ? own : inFolder(data, PresetName);
    f.GuideFile = inFolder(data, GuideName);
    // Never the bare name: beside an installed program lies the real FFmpeg.
    f.EncoderProgram = QDir::cleanPath(
        inFolder(inFolder(programDir, QStringLiteral(PC_HELPERS_FROM_BIN)), EncoderName));
    f.DesktopEntry = f.Icon = QStringLiteral(PC_APP_ID);
    return f;
}

namespace {
std::optional<AppFiles> &current()
{
    static std::optional<AppFiles> files;
    return files;
}
} // namespace

const AppFiles &AppFiles::Current()
{
    if (!current())
        current() = Portable(QCoreApplication::applicationDirPath());
    return *current();
}

void AppFiles::SetCurrent(const AppFiles &files)
{
    current() = files;
    if (files.RunFolder.Path.isEmpty())
        qunsetenv(RunFolderVariable);
    else
        qputenv(RunFolderVariable, EncodeFileName(files.RunFolder.Path));
}

QString AppFiles::DefaultOutputFolder() const
{
    if (Mode != Layout::Portable)
        QDir().mkpath(DefaultOutputDir);
    return DefaultOutputDir;
}

QString AppFiles::SettingsFileForWriting() const
{
    if (Mode != Layout::Portable) {
        const QString folder = QFileInfo(SettingsFile).path();
        // Another user could plant a link at the file's name there.
        const int fd = PrivateFolder::OpenOwn(folder, true);
        if (fd < 0)
            throw EIniFileException(SettingsFile);
        close(fd);
    }
    return SettingsFile;
}

void AppFiles::RemovePrivateFolder() const
{
    RunFolder.Remove();
}

QString AppFiles::NoFolder()
{
    return QStringLiteral("/dev/null/pocketclips");
}

QString AppFiles::StateFolder()
{
    QString state = AbsolutePathFromEnvironment("XDG_STATE_HOME");
    if (state.isEmpty())
        state = inFolder(homeFolder(), QStringLiteral(".local/state"));
    return inFolder(state, UserFolderName);
}
