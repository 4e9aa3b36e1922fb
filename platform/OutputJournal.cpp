#include "OutputJournal.h"

#include "FileNames.h"
#include "PendingOutput.h"
#include "PrivateFolder.h"

#include <QFile>
#include <QList>
#include <QMap>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// A journal is a text file of lines, paths in hexadecimal (a name may hold
// any byte but "/" and NUL):
//   begin <n> <folder> <folder device> <folder inode> <name> <aside or "-">
//   made <n> <device> <inode> <birth time in ns, 0 when unknown>
//   kept <n>     the output finished; the older file goes
//   back <n>     the older file went back
// A line cut short by a crash is ignored.

namespace {
const QByteArray Suffix = ".journal";

QByteArray hex(const QString &text)
{
    return text.isEmpty() ? QByteArray("-") : EncodeFileName(text).toHex();
}

QString unhex(const QByteArray &field)
{
    return field == "-" ? QString() : DecodeFileName(QByteArray::fromHex(field));
}

QByteArray number(quint64 value)
{
    return QByteArray::number(value);
}

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

QByteArray readAll(int fd)
{
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return {};
    return file.readAll();
}

struct Record
{
    OutputJournal::Entry entry;
    bool kept = false;
};

// The entries of a journal's text, by number.
QMap<int, Record> parse(const QByteArray &text)
{
    QMap<int, Record> records;
    for (const QByteArray &line : text.split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        bool ok = false;
        const int n = f.value(1).toInt(&ok);
        if (!ok)
            continue;
        if (f[0] == "begin" && f.size() == 7) {
            Record &r = records[n];
            r.entry.folder = unhex(f[2]);
            r.entry.folderId = {f[3].toULongLong(), f[4].toULongLong()};
            r.entry.name = unhex(f[5]);
            r.entry.aside = unhex(f[6]);
        } else if (f[0] == "made" && f.size() == 5 && records.contains(n)) {
            records[n].entry.made = {f[2].toULongLong(), f[3].toULongLong()};
            records[n].entry.madeBorn = f[4].toLongLong();
        } else if (f[0] == "kept" && f.size() == 2 && records.contains(n)) {
            records[n].kept = true;
        }
        // "back": settled, and settling it again changes nothing.
    }
    return records;
}
} // namespace

OutputJournal::OutputJournal(const QString &folder) : m_folder(folder) {}

OutputJournal::~OutputJournal()
{
    if (m_fd < 0)
        return;
    // Everything settled: nothing for the next start. Otherwise the file
    // stays, and the lock goes with the descriptor.
    if (m_open == 0) {
        const int dir = PrivateFolder::OpenOwn(m_folder, false);
        if (dir >= 0) {
            unlinkat(dir, m_name.constData(), 0);
            close(dir);
        }
    }
    close(m_fd);
}

bool OutputJournal::open()
{
    if (m_fd >= 0)
        return true;
    if (m_broken || m_folder.isEmpty())
        return false;
    m_broken = true;
    const int dir = PrivateFolder::OpenOwn(m_folder, true);
    if (dir < 0)
        return false;
    // Made under a name the start-up ignores, locked, then given its name: a
    // program starting meanwhile never takes it for one left behind.
    const QByteArray tag = QByteArray::number(getpid()) + '-' + RandomNameTag(10);
    const QByteArray temporary = tag + ".new";
    const int fd = openat(dir, temporary.constData(),
                          O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 && flock(fd, LOCK_EX) == 0 &&
        renameat(dir, temporary.constData(), dir, (tag + Suffix).constData()) == 0 &&
        fsync(dir) == 0) {
        m_fd = fd;
        m_name = tag + Suffix;
        m_broken = false;
    } else if (fd >= 0) {
        unlinkat(dir, temporary.constData(), 0);
        close(fd);
    }
    close(dir);
    return !m_broken;
}

bool OutputJournal::append(const QByteArray &line, bool durable)
{
    if (m_fd < 0)
        return false;
    if (writeAll(m_fd, line + '\n') && (!durable || fdatasync(m_fd) == 0))
        return true;
    return false;
}

int OutputJournal::Begin(const Entry &entry, bool durable)
{
    if (!open())
        return -1;
    const int n = m_next++;
    const QByteArray line = "begin " + number(quint64(n)) + ' ' + hex(entry.folder) + ' ' +
                            number(entry.folderId.device) + ' ' + number(entry.folderId.inode) +
                            ' ' + hex(entry.name) + ' ' + hex(entry.aside);
    if (!append(line, durable))
        return -1;
    ++m_open;
    return n;
}

void OutputJournal::Made(int n, const FileId &made, qint64 born)
{
    if (n >= 0)
        append("made " + number(quint64(n)) + ' ' + number(made.device) + ' ' + number(made.inode) +
                   ' ' + QByteArray::number(born),
               false);
}

bool OutputJournal::Done(int n, bool kept, bool durable)
{
    if (n < 0)
        return true;
    if (!append((kept ? "kept " : "back ") + number(quint64(n)), durable))
        return false;
    --m_open;
    return true;
}

void OutputJournal::Drop()
{
    if (m_fd < 0)
        return;
    const int dir = PrivateFolder::OpenOwn(m_folder, false);
    if (dir >= 0) {
        unlinkat(dir, m_name.constData(), 0);
        fsync(dir);
        close(dir);
    }
    close(m_fd);
    m_fd = -1;
    m_broken = true;
}

QStringList OutputJournal::SettleLeftovers(const QString &folder)
{
    QStringList kept;
    const int dir = PrivateFolder::OpenOwn(folder, false);
    if (dir < 0)
        return kept;
    QList<QByteArray> names;
    if (DIR *d = fdopendir(dup(dir))) {
        while (const dirent *e = readdir(d)) {
            const QByteArray name(e->d_name);
            if (name.endsWith(Suffix) || name.endsWith(".new"))
                names << name;
        }
        closedir(d);
    }
    for (const QByteArray &name : names) {
        const int fd = openat(dir, name.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
        struct stat st;
        if (fd < 0)
            continue;
        // A running program holds its journal locked.
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() ||
            flock(fd, LOCK_EX | LOCK_NB) != 0) {
            close(fd);
            continue;
        }
        // One a crash caught before it had its name holds nothing yet.
        for (const Record &r : parse(name.endsWith(Suffix) ? readAll(fd) : QByteArray())) {
            const QString left = PendingOutput::Settle(r.entry, r.kept);
            if (!left.isEmpty())
                kept << left;
        }
        unlinkat(dir, name.constData(), 0);
        close(fd);
    }
    close(dir);
    return kept;
}
