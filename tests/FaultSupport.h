#pragma once

// What the fault tests share: a picture of a folder tree that proves nothing
// in it changed, the processes still running on a path, and short test clips
// made by the installed FFmpeg.

#include "TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <sys/stat.h>
#include <unistd.h>

// Every entry below root, by its path relative to root: a file by its size
// and a hash of its bytes (a file of more than 64 MB, a sparse one of 3 GB
// say, by its size, its blocks and its modification time), a folder, a link
// by its target, a pipe or a device by its type. Links are not followed.
inline QMap<QString, QString> TreeSnapshot(const QString &root)
{
    QMap<QString, QString> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString key = QDir(root).relativeFilePath(path);
        struct stat st;
        if (lstat(QFile::encodeName(path).constData(), &st) != 0) {
            entries[key] = QStringLiteral("vanished");
            continue;
        }
        QString what;
        if (S_ISLNK(st.st_mode)) {
            what = QStringLiteral("link -> ") + QFile::symLinkTarget(path);
        } else if (S_ISDIR(st.st_mode)) {
            what = QStringLiteral("folder");
        } else if (S_ISREG(st.st_mode) && st.st_size > 64 * 1024 * 1024) {
            what = QStringLiteral("file %1 bytes, %2 blocks, written %3.%4")
                       .arg(qint64(st.st_size))
                       .arg(qint64(st.st_blocks))
                       .arg(qint64(st.st_mtim.tv_sec))
                       .arg(qint64(st.st_mtim.tv_nsec));
        } else if (S_ISREG(st.st_mode)) {
            QFile f(path);
            QCryptographicHash hash(QCryptographicHash::Sha256);
            if (f.open(QIODevice::ReadOnly))
                hash.addData(&f);
            what = QStringLiteral("file %1 bytes, %2")
                       .arg(qint64(st.st_size))
                       .arg(QString::fromLatin1(hash.result().toHex()));
        } else {
            what = QStringLiteral("special %1").arg(st.st_mode & S_IFMT, 0, 8);
        }
        entries[key] = what;
    }
    return entries;
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
    const QByteArray head = ReadFile(path).left(12);
    return head.size() == 12 && head.mid(4, 4) == "ftyp" && head.mid(8, 3) == "3gp";
}
