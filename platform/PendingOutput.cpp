#include "PendingOutput.h"

#include "FileNames.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
FileId identity(const struct stat &st)
{
    return {quint64(st.st_dev), quint64(st.st_ino)};
}

// The birth time of an open file in ns; 0 where the file system keeps none.
qint64 birthTime(int fd)
{
    struct statx sx;
    if (statx(fd, "", AT_EMPTY_PATH, STATX_BTIME, &sx) != 0 || !(sx.stx_mask & STATX_BTIME))
        return 0;
    return qint64(sx.stx_btime.tv_sec) * 1000000000 + sx.stx_btime.tv_nsec;
}

// Renames within one folder, never over an existing entry: with the kernel's
// no-replace flag, or where a file system lacks it, as a hard link and an
// unlink, or (FAT has no links) a look and a rename.
bool moveNoReplace(int folder, const QByteArray &from, const QByteArray &to)
{
    if (renameat2(folder, from.constData(), folder, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    if (linkat(folder, from.constData(), folder, to.constData(), 0) == 0) {
        unlinkat(folder, from.constData(), 0);
        return true;
    }
    if (errno != EPERM && errno != EOPNOTSUPP)
        return false;
    struct stat st;
    if (fstatat(folder, to.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT) {
        errno = EEXIST;
        return false;
    }
    return renameat(folder, from.constData(), folder, to.constData()) == 0;
}

// A hidden name beside the output's for its older file: the name itself, so
// a user who finds it knows what it is, or a short one when that would pass
// the 255-byte limit.
QByteArray asideName(const QByteArray &name)
{
    const QByteArray tag = RandomNameTag(8);
    const QByteArray aside = '.' + name + '.' + tag;
    return aside.size() <= 255 ? aside : ".pocketclips-older." + tag;
}

// The made output removed if it is still the file under the name, the older
// file renamed back. The older file's path when it could not go back.
QString putBack(int folder, const OutputJournal::Entry &entry)
{
    const QByteArray name = EncodeFileName(entry.name);
    struct stat st;
    if (entry.made != FileId() &&
        fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
        identity(st) == entry.made) {
        const int fd = openat(folder, name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        const bool same = fd >= 0 && (entry.madeBorn == 0 || birthTime(fd) == entry.madeBorn);
        if (fd >= 0)
            close(fd);
        if (same)
            unlinkat(folder, name.constData(), 0);
    }
    if (entry.aside.isEmpty())
        return QString();
    const QByteArray aside = EncodeFileName(entry.aside);
    if (fstatat(folder, aside.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return QString(); // back already, or gone by the user's hand
    if (moveNoReplace(folder, aside, name))
        return QString();
    return entry.folder + QLatin1Char('/') + entry.aside;
}
} // namespace

PendingOutput::~PendingOutput()
{
    Abandon();
}

void PendingOutput::reset()
{
    if (m_folderFd >= 0)
        close(m_folderFd);
    m_folderFd = -1;
    m_active = false;
    m_prepared = false;
    m_output.clear();
    m_entry = OutputJournal::Entry();
    m_journal = nullptr;
    m_record = -1;
}

PendingOutput::Start PendingOutput::Begin(const QString &output, OutputJournal *journal)
{
    Abandon();
    m_active = true;
    m_output = output;
    m_journal = journal;
    const qsizetype slash = output.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash > 0    ? output.left(slash)
                           : slash == 0 ? QStringLiteral("/")
                                        : QStringLiteral(".");
    m_entry.name = output.mid(slash + 1);
    const QByteArray name = EncodeFileName(m_entry.name);
    m_folderFd = open(EncodeFileName(folder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat st;
    if (m_folderFd < 0 || fstat(m_folderFd, &st) != 0)
        return Start::Unprepared;
    m_entry.folder = ExpandFileName(folder);
    m_entry.folderId = identity(st);

    bool older = false;
    if (fstatat(m_folderFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        struct stat target;
        const bool isFolder =
            S_ISDIR(st.st_mode) ||
            (S_ISLNK(st.st_mode) && fstatat(m_folderFd, name.constData(), &target, 0) == 0 &&
             S_ISDIR(target.st_mode));
        if (isFolder)
            return Start::Unprepared;
        // A file the encoder could not have overwritten (read-only, someone
        // else's) is not replaced by this way round either.
        if (faccessat(m_folderFd, name.constData(), W_OK, 0) != 0 && errno != ENOENT) {
            reset();
            return Start::Refused;
        }
        older = true;
    } else if (errno != ENOENT) {
        return Start::Unprepared; // a name too long, say: the encoder tells
    }

    if (older) {
        // Recorded for good before the rename, so that a crash right after
        // it still finds the older file.
        bool moved = false;
        for (int attempt = 0; attempt < 10 && !moved; ++attempt) {
            const QByteArray aside = asideName(name);
            m_entry.aside = DecodeFileName(aside);
            m_record = journal ? journal->Begin(m_entry, true) : -1;
            moved = moveNoReplace(m_folderFd, name, aside);
            const int err = errno;
            if (!moved && journal)
                journal->Done(m_record, false, false);
            if (!moved && err != EEXIST)
                break;
        }
        if (!moved) {
            // Another user's file in a sticky folder, a folder the user
            // cannot write: it stays, and is not overwritten either.
            reset();
            return Start::Refused;
        }
    } else {
        m_record = journal ? journal->Begin(m_entry, false) : -1;
    }

    const int fd = openat(m_folderFd, name.constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int err = errno;
        if (!older && err != EEXIST) {
            // Nothing to keep and no file can be made there: the encoder
            // will not make one either, and says so.
            if (journal)
                journal->Done(m_record, false, false);
            m_record = -1;
            return Start::Unprepared;
        }
        // Something took the name meanwhile; it is not run over.
        m_prepared = true;
        Abandon();
        return Start::Refused;
    }
    if (fstat(fd, &st) == 0)
        m_entry.made = identity(st);
    m_entry.madeBorn = birthTime(fd);
    close(fd);
    if (journal)
        journal->Made(m_record, m_entry.made, m_entry.madeBorn);
    m_prepared = true;
    return Start::Ready;
}

void PendingOutput::Finish()
{
    if (!m_active)
        return;
    if (m_prepared) {
        // When an older file waits, the finished one reaches the disk first,
        // then the record: a power cut must neither leave an empty file where
        // the older one was nor bring the older one back over the finished
        // one. (Without one, nothing needs a flush: the encoder's own file is
        // not flushed either.)
        if (!m_entry.aside.isEmpty()) {
            const int fd = openat(m_folderFd, EncodeFileName(m_entry.name).constData(),
                                  O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
            if (fd >= 0) {
                fsync(fd);
                close(fd);
            }
        }
        if (m_journal && !m_journal->Done(m_record, true, !m_entry.aside.isEmpty()))
            m_journal->Drop();
        if (!m_entry.aside.isEmpty())
            unlinkat(m_folderFd, EncodeFileName(m_entry.aside).constData(), 0);
    }
    reset();
}

bool PendingOutput::Abandon()
{
    if (!m_active)
        return true;
    bool back = true;
    if (m_prepared) {
        back = putBack(m_folderFd, m_entry).isEmpty();
    } else {
        // Nothing was kept aside: a plain file the encoder left is no result.
        const QByteArray path = EncodeFileName(m_output);
        struct stat st;
        if (lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode))
            unlink(path.constData());
    }
    if (back && m_journal)
        m_journal->Done(m_record, false, false);
    reset();
    return back;
}

QString PendingOutput::Settle(const OutputJournal::Entry &entry, bool finished)
{
    const int folder =
        open(EncodeFileName(entry.folder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat st;
    QString left;
    if (folder >= 0 && fstat(folder, &st) == 0 && identity(st) == entry.folderId) {
        if (!finished)
            left = putBack(folder, entry);
        else if (!entry.aside.isEmpty())
            unlinkat(folder, EncodeFileName(entry.aside).constData(), 0);
    } else if (!finished && !entry.aside.isEmpty()) {
        left = entry.folder + QLatin1Char('/') + entry.aside; // the folder is not where it was
    }
    if (folder >= 0)
        close(folder);
    return left;
}
