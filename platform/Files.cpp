#include "Files.h"

#include "FileNames.h"

#include <QDir>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QByteArray encode(const QString &path)
{
    return EncodeFileName(path);
}

// File time to local time at two-second resolution, as the packed date and
// time of a directory search holds it. The local offset comes straight from
// localtime_r(): Qt's own local-time conversion costs microseconds a call, and
// a folder tree of 100,000 files needs three conversions per file.
void setTime(const struct timespec &ts, QDateTime &out, bool &valid)
{
    valid = false;
    if (ts.tv_sec <= 0)
        return;
    const time_t secs = ts.tv_sec;
    struct tm local;
    if (!localtime_r(&secs, &local))
        return;
    // The packed form holds the years 1980 to 2107.
    const int year = local.tm_year + 1900;
    if (year < 1980 || year > 2107)
        return;
    const QDateTime t = QDateTime::fromSecsSinceEpoch(qint64(secs) - (local.tm_sec & 1),
                                                      Qt::OffsetFromUTC, int(local.tm_gmtoff));
    valid = t.isValid();
    if (valid)
        out = t;
}

FileEntry entryFrom(const QString &name, const struct stat &st, bool isLink)
{
    FileEntry e;
    e.name = name;
    e.isLink = isLink;
    e.isDirectory = S_ISDIR(st.st_mode);
    e.size = e.isDirectory ? 0 : qint64(st.st_size);
    e.isReadOnly = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    e.isHidden = name.startsWith(QLatin1Char('.')) && name != QLatin1String(".") &&
                 name != QLatin1String("..");
    e.isSystem = !S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode);
    e.isArchive = S_ISREG(st.st_mode);
    e.device = quint64(st.st_dev);
    e.inode = quint64(st.st_ino);
    setTime(st.st_ctim, e.creationTime, e.creationTimeValid);
    setTime(st.st_mtim, e.lastWriteTime, e.lastWriteTimeValid);
    setTime(st.st_atim, e.lastAccessTime, e.lastAccessTimeValid);
    return e;
}

// stat() following links; a dangling link is described by lstat().
bool statEntry(int dirFd, const char *name, struct stat &st, bool &isLink)
{
    struct stat lst;
    if (fstatat(dirFd, name, &lst, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    isLink = S_ISLNK(lst.st_mode);
    if (!isLink) {
        st = lst;
        return true;
    }
    if (fstatat(dirFd, name, &st, 0) != 0)
        st = lst;
    return true;
}

bool matchFrom(const QChar *n, const QChar *nEnd, const QChar *p, const QChar *pEnd)
{
    // Iterative wildcard match with one back-track point for the last "*".
    const QChar *star = nullptr;
    const QChar *starName = nullptr;
    while (n != nEnd) {
        if (p != pEnd && (*p == QLatin1Char('?') || p->toCaseFolded() == n->toCaseFolded())) {
            ++n;
            ++p;
        } else if (p != pEnd && *p == QLatin1Char('*')) {
            star = p++;
            starName = n;
        } else if (star) {
            p = star + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p != pEnd && *p == QLatin1Char('*'))
        ++p;
    return p == pEnd;
}
} // namespace

bool MatchesPattern(const QString &name, const QString &pattern)
{
    if (pattern.isEmpty() || pattern == QLatin1String("*") || pattern == QLatin1String("*.*"))
        return true;
    return matchFrom(name.constData(), name.constData() + name.size(), pattern.constData(),
                     pattern.constData() + pattern.size());
}

std::optional<FileEntry> LookUpPath(const QString &path)
{
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    if (p.isEmpty() || p == QLatin1String("/"))
        return std::nullopt;
    const QByteArray native = encode(p);
    struct stat st;
    bool isLink = false;
    if (!statEntry(AT_FDCWD, native.constData(), st, isLink))
        return std::nullopt;
    const int slash = p.lastIndexOf(QLatin1Char('/'));
    return entryFrom(p.mid(slash + 1), st, isLink);
}

namespace {
// Calls visit(dirFd, entry) for every entry of a folder, in the order the
// folder lists them; an unreadable folder has none.
template<typename Visit> void forEachEntry(const QString &folder, Visit visit)
{
    const QByteArray native = encode(folder.isEmpty() ? QStringLiteral(".") : folder);
    const int fd = open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    DIR *dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return;
    }
    while (struct dirent *d = readdir(dir))
        visit(dirfd(dir), d);
    closedir(dir);
}
} // namespace

std::vector<FileEntry> ListFolder(const QString &folder, const QString &pattern)
{
    std::vector<FileEntry> entries;
    forEachEntry(folder, [&](int dirFd, const struct dirent *d) {
        const QString name = DecodeFileName(d->d_name, qsizetype(strlen(d->d_name)));
        if (!MatchesPattern(name, pattern))
            return;
        struct stat st;
        bool isLink = false;
        // An entry that vanished since the listing is simply not reported.
        if (statEntry(dirFd, d->d_name, st, isLink))
            entries.push_back(entryFrom(name, st, isLink));
    });
    return entries;
}

std::vector<FileEntry> ListSubFolders(const QString &folder)
{
    std::vector<FileEntry> entries;
    forEachEntry(folder, [&](int dirFd, const struct dirent *d) {
        // The entry type spares a stat() for every plain file; links and
        // file systems that give no type are looked at.
        if (d->d_type != DT_DIR && d->d_type != DT_LNK && d->d_type != DT_UNKNOWN)
            return;
        if (qstrcmp(d->d_name, ".") == 0 || qstrcmp(d->d_name, "..") == 0)
            return;
        struct stat st;
        bool isLink = false;
        if (statEntry(dirFd, d->d_name, st, isLink) && S_ISDIR(st.st_mode))
            entries.push_back(
                entryFrom(DecodeFileName(d->d_name, qsizetype(strlen(d->d_name))), st, isLink));
    });
    return entries;
}

namespace {
QString currentFolder()
{
    std::vector<char> buffer(4096);
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE)
            return QDir::currentPath();
        buffer.resize(buffer.size() * 2);
    }
    return DecodeFileName(buffer.data(), qsizetype(strlen(buffer.data())));
}
} // namespace

QString ExpandFileName(const QString &path)
{
    if (path.isEmpty())
        return currentFolder();
    if (path.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(path);
    return QDir::cleanPath(currentFolder() + QLatin1Char('/') + path);
}

bool FileExists(const QString &path)
{
    const auto e = LookUpPath(path);
    return e && !e->isDirectory;
}

bool DirectoryExists(const QString &path)
{
    if (path == QLatin1String("/"))
        return true;
    const auto e = LookUpPath(path);
    return e && e->isDirectory;
}

qint64 FileSize64(const QString &path)
{
    if (path.isEmpty())
        return -1;
    const QByteArray native = encode(path);
    // O_NONBLOCK: a named pipe must not block the caller.
    const int fd = open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
    const qint64 size = fstat(fd, &st) == 0 ? qint64(st.st_size) : -1;
    close(fd);
    return size;
}

bool DeleteFile(const QString &path)
{
    return !path.isEmpty() && unlink(encode(path).constData()) == 0;
}

bool ForceDirectories(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QByteArray native = encode(path);
    // Each missing folder on the way, the parents first.
    for (qsizetype slash = native.indexOf('/', 1); slash >= 0;
         slash = native.indexOf('/', slash + 1))
        if (native.at(slash - 1) != '/')
            mkdir(native.left(slash).constData(), 0777);
    mkdir(native.constData(), 0777);
    return DirectoryExists(path);
}

std::optional<FileId> IdentityOf(const QString &path)
{
    struct stat st;
    if (path.isEmpty() || stat(encode(path).constData(), &st) != 0)
        return std::nullopt;
    return FileId{quint64(st.st_dev), quint64(st.st_ino)};
}

bool SameFile(const QString &a, const QString &b)
{
    const std::optional<FileId> id = IdentityOf(a);
    return id && id == IdentityOf(b);
}
