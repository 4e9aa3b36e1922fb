#include "PrivateFolder.h"

#include "FileNames.h"

#include <QDir>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// An absolute path that is a folder itself, not a link to one.
bool realFolder(const QString &path, struct stat &st)
{
    return path.startsWith(QLatin1Char('/')) && lstat(EncodeFileName(path).constData(), &st) == 0 &&
           S_ISDIR(st.st_mode);
}

// The group named after the user, with no member but the user.
bool isPrivateGroup(gid_t gid)
{
    const passwd *pw = getpwuid(geteuid());
    if (!pw || !pw->pw_name)
        return false;
    const std::string user = pw->pw_name;
    const group *gr = getgrgid(gid);
    if (!gr || !gr->gr_name || user != gr->gr_name)
        return false;
    for (char **member = gr->gr_mem; member && *member; ++member)
        if (user != *member)
            return false;
    return true;
}

bool othersMayWrite(const struct stat &st)
{
    return (st.st_mode & S_IWOTH) != 0 ||
           ((st.st_mode & S_IWGRP) != 0 && !isPrivateGroup(st.st_gid));
}

// Removes what is in the folder open as fd; a subfolder through its own
// descriptor, a link as a link.
void removeEntries(int fd)
{
    const int listing = dup(fd);
    DIR *d = listing >= 0 ? fdopendir(listing) : nullptr;
    if (!d) {
        if (listing >= 0)
            close(listing);
        return;
    }
    while (const dirent *e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        if (unlinkat(fd, e->d_name, 0) == 0 || errno != EISDIR)
            continue;
        const int sub = openat(fd, e->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub >= 0) {
            removeEntries(sub);
            close(sub);
        }
        unlinkat(fd, e->d_name, AT_REMOVEDIR);
    }
    closedir(d);
}
} // namespace

QString AbsolutePathFromEnvironment(const char *name)
{
    const QString value = DecodeFileName(qgetenv(name));
    return value.startsWith(QLatin1Char('/')) ? QDir::cleanPath(value) : QString();
}

bool PrivateFolder::IsOwn(const QString &path)
{
    const int fd = OpenOwn(path);
    if (fd >= 0)
        close(fd);
    return fd >= 0;
}

int PrivateFolder::OpenOwn(const QString &path, bool make)
{
    if (!path.startsWith(QLatin1Char('/')))
        return -1;
    const QByteArray native = EncodeFileName(path);
    if (make) {
        for (qsizetype slash = native.indexOf('/', 1); slash >= 0;
             slash = native.indexOf('/', slash + 1))
            mkdir(native.left(slash).constData(), 0700);
        mkdir(native.constData(), 0700);
    }
    const int fd = open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0 && st.st_uid == geteuid() && !othersMayWrite(st))
        return fd;
    if (fd >= 0)
        close(fd);
    return -1;
}

bool PrivateFolder::IsSafeParent(const QString &path)
{
    struct stat st;
    if (!realFolder(path, st))
        return false;
    if (st.st_uid == geteuid() && !othersMayWrite(st))
        return true;
    return (st.st_mode & S_ISVTX) != 0 && (st.st_uid == geteuid() || st.st_uid == 0);
}

PrivateFolder PrivateFolder::MakeFresh(const QString &prefix)
{
    QStringList parents;
    // The runtime folder as the XDG rules require it: the user's, closed to all.
    const QString runtime = AbsolutePathFromEnvironment("XDG_RUNTIME_DIR");
    struct stat st;
    if (realFolder(runtime, st) && st.st_uid == geteuid() && (st.st_mode & 077) == 0)
        parents << runtime;
    for (const QString &temp : {AbsolutePathFromEnvironment("TMPDIR"), QStringLiteral("/tmp")})
        if (IsSafeParent(temp))
            parents << temp;

    for (const QString &parent : parents) {
        // mkdtemp never reuses an existing entry, so nothing planted is taken.
        QByteArray name = EncodeFileName(parent + QLatin1Char('/') + prefix) + "XXXXXX";
        if (!mkdtemp(name.data()) || lstat(name.constData(), &st) != 0)
            continue;
        PrivateFolder folder;
        folder.Path = DecodeFileName(name);
        folder.Device = st.st_dev;
        folder.Inode = st.st_ino;
        return folder;
    }
    return {};
}

bool PrivateFolder::Remove() const
{
    if (Path.isEmpty())
        return false;
    const QByteArray path = EncodeFileName(Path);
    const int fd = open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    const bool same = fstat(fd, &st) == 0 && st.st_dev == Device && st.st_ino == Inode;
    if (same)
        removeEntries(fd);
    close(fd);
    // rmdir never follows a link, and takes only an empty folder.
    return same && rmdir(path.constData()) == 0;
}
