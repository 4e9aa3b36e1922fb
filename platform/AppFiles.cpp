#include "AppFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdlib>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

// PC_DATA_FROM_BIN and PC_HELPERS_FROM_BIN: the installed data folder and
// the folder of the encoder adapter, relative to the program's folder (the
// build's install layout gives them).

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

// An environment variable that names an absolute path; empty otherwise (the
// XDG rules ignore relative paths).
QString absoluteFromEnvironment(const char *name)
{
    const QString value = QFile::decodeName(qgetenv(name));
    return value.startsWith(QLatin1Char('/')) ? QDir::cleanPath(value) : QString();
}

// $HOME, or the home of the account when HOME is unset or relative.
QString homeFolder()
{
    const QString home = absoluteFromEnvironment("HOME");
    if (!home.isEmpty())
        return home;
    if (const passwd *pw = getpwuid(geteuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/')
        return QDir::cleanPath(QFile::decodeName(pw->pw_dir));
    return QStringLiteral("/nonexistent"); // the usual home of an account without one
}

QString configFolder()
{
    QString config = absoluteFromEnvironment("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = inFolder(homeFolder(), QStringLiteral(".config"));
    return inFolder(config, UserFolderName);
}

QString videosFolder()
{
    // The desktop's own name for it (user-dirs.dirs may say ~/ビデオ); Qt
    // reads HOME for it, so only when HOME can be trusted.
    if (!absoluteFromEnvironment("HOME").isEmpty()) {
        const QString movies = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
        if (movies.startsWith(QLatin1Char('/')))
            return QDir::cleanPath(movies);
    }
    return inFolder(homeFolder(), QStringLiteral("Videos"));
}

// $XDG_RUNTIME_DIR when it is a folder of this user that nobody else can
// enter, as the XDG rules require of it; empty otherwise.
QString runtimeFolder()
{
    const QString runtime = absoluteFromEnvironment("XDG_RUNTIME_DIR");
    struct stat st;
    if (runtime.isEmpty() || stat(QFile::encodeName(runtime).constData(), &st) != 0)
        return QString();
    const bool own = S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
    return own ? runtime : QString();
}

// A new folder of mode 0700 with a name nobody could have guessed; mkdtemp
// never reuses an existing entry, so a link planted in a shared folder is
// never followed.
QString makePrivateFolder(const QString &parent)
{
    if (parent.isEmpty())
        return QString();
    QByteArray name = QFile::encodeName(parent + QStringLiteral("/pocketclips-XXXXXX"));
    return mkdtemp(name.data()) ? QFile::decodeName(name) : QString();
}

QString privateThumbnailFolder()
{
    QString folder = makePrivateFolder(runtimeFolder());
    if (folder.isEmpty())
        folder = makePrivateFolder(QDir::tempPath());
    return folder.isEmpty() ? AppFiles::NoFolder() : folder;
}

bool writableFolder(const QString &folder)
{
    return access(QFile::encodeName(folder).constData(), W_OK) == 0;
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
    return f;
}

AppFiles AppFiles::Decide(const QString &programDir)
{
    AppFiles f = Portable(programDir);
    const bool portable = QFileInfo::exists(f.PresetFile);
    if (portable && writableFolder(programDir))
        return f;

    const QString config = configFolder();
    f.Mode = portable ? Layout::ReadOnlyPortable : Layout::Installed;
    f.SettingsFile = inFolder(config, SettingsName);
    f.DefaultOutputDir = videosFolder();
    f.ThumbnailDir = privateThumbnailFolder();
    if (portable)
        return f;

    const QString data = QDir::cleanPath(inFolder(programDir, QStringLiteral(PC_DATA_FROM_BIN)));
    const QString own = inFolder(config, PresetName);
    f.PresetFile = QFileInfo::exists(own) ? own : inFolder(data, PresetName);
    f.GuideFile = inFolder(data, GuideName);
    // Never the bare name: beside an installed program lies the real FFmpeg.
    f.EncoderProgram = QDir::cleanPath(
        inFolder(inFolder(programDir, QStringLiteral(PC_HELPERS_FROM_BIN)), EncoderName));
    return f;
}

namespace {
std::optional<AppFiles> &current()
{
    static std::optional<AppFiles> files;
    return files;
}

// The folder with its missing parents, each made 0700 as the XDG rules ask
// of the settings folders a program creates.
void makePrivatePath(const QString &path)
{
    const QString parent = QFileInfo(path).path();
    if (parent != path && !QFileInfo::exists(parent))
        makePrivatePath(parent);
    mkdir(QFile::encodeName(path).constData(), 0700);
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
}

QString AppFiles::DefaultOutputFolder() const
{
    if (Mode != Layout::Portable)
        QDir().mkpath(DefaultOutputDir);
    return DefaultOutputDir;
}

QString AppFiles::SettingsFileForWriting() const
{
    if (Mode != Layout::Portable)
        makePrivatePath(QFileInfo(SettingsFile).path());
    return SettingsFile;
}

void AppFiles::RemovePrivateFolder() const
{
    if (Mode != Layout::Portable && ThumbnailDir != NoFolder())
        QDir(ThumbnailDir).removeRecursively();
}

QString AppFiles::NoFolder()
{
    return QStringLiteral("/dev/null/pocketclips");
}

QString AppFiles::StateFolder()
{
    QString state = absoluteFromEnvironment("XDG_STATE_HOME");
    if (state.isEmpty())
        state = inFolder(homeFolder(), QStringLiteral(".local/state"));
    return inFolder(state, UserFolderName);
}
