#pragma once

// What the fault tests share: a picture of a folder tree that proves nothing
// in it changed, the processes still running on a path, and short test clips
// made by the installed FFmpeg.

#include "FileNames.h"
#include "TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Every entry below root, by its path relative to root (names kept whole,
// also those that are not UTF-8): a file by its size and a hash of its bytes
// (a file of more than 64 MB, a sparse one of 3 GB say, by its size, its
// blocks and its modification time), a folder, a link by its target, a pipe
// or a device by its type. Links are not followed.
inline QMap<QString, QString> TreeSnapshot(const QString &root)
{
    QMap<QString, QString> entries;
    // Folder by folder, without recursion: a test tree may be thousands deep.
    QList<QPair<QByteArray, QString>> folders{{EncodeFileName(root), QString()}};
    QByteArray buffer(65536, Qt::Uninitialized);
    while (!folders.isEmpty()) {
        const auto [folder, prefix] = folders.takeLast();
        DIR *dir = opendir(folder.constData());
        if (!dir)
            continue;
        while (const dirent *d = readdir(dir)) {
            const QByteArray name(d->d_name);
            if (name == "." || name == "..")
                continue;
            const QByteArray path = folder + '/' + name;
            const QString key = prefix + DecodeFileName(name);
            struct stat st;
            if (lstat(path.constData(), &st) != 0) {
                entries[key] = QStringLiteral("vanished");
                continue;
            }
            QString what;
            if (S_ISLNK(st.st_mode)) {
                const ssize_t n = readlink(path.constData(), buffer.data(), size_t(buffer.size()));
                what =
                    QStringLiteral("link -> ") + DecodeFileName(buffer.left(qMax<ssize_t>(n, 0)));
            } else if (S_ISDIR(st.st_mode)) {
                what = QStringLiteral("folder");
                folders.append({path, key + QLatin1Char('/')});
            } else if (S_ISREG(st.st_mode) && st.st_size > 64 * 1024 * 1024) {
                what = QStringLiteral("file %1 bytes, %2 blocks, written %3.%4")
                           .arg(qint64(st.st_size))
                           .arg(qint64(st.st_blocks))
                           .arg(qint64(st.st_mtim.tv_sec))
                           .arg(qint64(st.st_mtim.tv_nsec));
            } else if (S_ISREG(st.st_mode)) {
                QCryptographicHash hash(QCryptographicHash::Sha256);
                const int fd = open(path.constData(), O_RDONLY | O_CLOEXEC);
                ssize_t n;
                while (fd >= 0 && (n = read(fd, buffer.data(), size_t(buffer.size()))) > 0)
                    hash.addData(QByteArrayView(buffer.constData(), n));
                if (fd >= 0)
                    close(fd);
                what = QStringLiteral("file %1 bytes, %2")
                           .arg(qint64(st.st_size))
                           .arg(QString::fromLatin1(hash.result().toHex()));
            } else {
                what = QStringLiteral("special %1").arg(st.st_mode & S_IFMT, 0, 8);
            }
            entries[key] = what;
        }
        closedir(dir);
    }
    return entries;
}

// A file's bytes, whatever its name.
inline QByteArray ReadRaw(const QString &path)
{
    QByteArray bytes;
    const int fd = open(EncodeFileName(path).constData(), O_RDONLY | O_CLOEXEC);
    char buffer[65536];
    ssize_t n;
    while (fd >= 0 && (n = read(fd, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, n);
    if (fd >= 0)
        close(fd);
    return bytes;
}

// The paths whose entry is new, gone or different in after, sorted.
inline QStringList ChangedEntries(const QMap<QString, QString> &before,
                                  const QMap<QString, QString> &after)
{
    QStringList changed;
    for (auto it = before.begin(); it != before.end(); ++it)
        if (after.value(it.key()) != it.value())
            changed << it.key();
    for (auto it = after.begin(); it != after.end(); ++it)
        if (!before.contains(it.key()))
            changed << it.key();
    changed.sort();
    return changed;
}

// The live processes (zombies left out) whose command line mentions text.
inline QList<qint64> ProcessesWith(const QString &text)
{
    QList<qint64> found;
    const QByteArray needle = text.toUtf8();
    for (const QString &name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = name.toLongLong(&number);
        if (!number || pid == getpid())
            continue;
        QByteArray cmdline = ReadFile(QStringLiteral("/proc/%1/cmdline").arg(pid));
        cmdline.replace('\0', ' ');
        if (!cmdline.contains(needle))
            continue;
        const QByteArray stat = ReadFile(QStringLiteral("/proc/%1/stat").arg(pid));
        const int close = int(stat.lastIndexOf(')'));
        if (close > 0 && stat.size() > close + 2 &&
            (stat.at(close + 2) == 'Z' || stat.at(close + 2) == 'X'))
            continue;
        found << pid;
    }
    return found;
}

inline bool HaveFfmpeg()
{
    return !QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty();
}

// One second of test picture (176 x 144) and tone, MPEG-4 and PCM in AVI.
inline bool MakeClip(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QProcess make;
    make.start(QStringLiteral("ffmpeg"), {"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                                          "testsrc=size=176x144:rate=10:duration=1", "-f", "lavfi",
                                          "-i", "sine=frequency=440:sample_rate=8000:duration=1",
                                          "-c:v", "mpeg4", "-c:a", "pcm_s16le", path});
    return make.waitForFinished(60000) && make.exitStatus() == QProcess::NormalExit &&
           make.exitCode() == 0;
}

// A 3GP file by its first box: "ftyp" with a brand that begins with "3gp".
inline bool Is3gp(const QString &path)
{
    const QByteArray head = ReadRaw(path).left(12);
    return head.size() == 12 && head.mid(4, 4) == "ftyp" && head.mid(8, 3) == "3gp";
}
