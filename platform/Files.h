#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>
#include <optional>
#include <vector>

// One entry of a folder as a directory search reports it.
struct FileEntry
{
    QString name;    // the entry's own name, no folder part
    qint64 size = 0; // 64-bit size in bytes
    bool creationTimeValid = false;
    QDateTime creationTime; // local time (as an offset from UTC), two-second resolution
    bool lastWriteTimeValid = false;
    QDateTime lastWriteTime;
    bool lastAccessTimeValid = false;
    QDateTime lastAccessTime;
    bool isDirectory = false; // a folder, or a link to one
    bool isReadOnly = false;  // the user may not write it
    bool isHidden = false;    // the name begins with a dot
    bool isSystem = false;    // neither a regular file nor a folder (device, pipe, socket)
    bool isArchive = false;   // a regular file
    bool isLink = false;
    quint64 device = 0; // identity of what the entry names (links followed)
    quint64 inode = 0;
};

// Looks a path up as a directory search does without wildcards: the entry
// itself. The root "/" is not reported (as a drive root is not); a trailing
// separator is ignored.
std::optional<FileEntry> LookUpPath(const QString &path);

// The entries of a folder whose names match the pattern ("*" and "?"; "*.*"
// matches every name), in the order the folder lists them, "." and ".."
// included when the pattern matches them. An unreadable folder gives none.
std::vector<FileEntry> ListFolder(const QString &folder, const QString &pattern);

// The folders among a folder's entries, links to folders included, in the
// order the folder lists them; "." and ".." are left out. An unreadable folder
// gives none.
std::vector<FileEntry> ListSubFolders(const QString &folder);

// Wildcard match of one name: "*" any run, "?" any one character; "*.*" and
// "*" match every name, also names without a dot.
bool MatchesPattern(const QString &name, const QString &pattern);

// The absolute, cleaned form of a path (no link resolution).
QString ExpandFileName(const QString &path);

bool FileExists(const QString &path);
bool DirectoryExists(const QString &path);

// Size of a file that another process may be writing; -1 when it cannot be opened.
qint64 FileSize64(const QString &path);

bool DeleteFile(const QString &path);

// Creates the folder with every missing parent; true when it exists afterwards.
bool ForceDirectories(const QString &path);

// What a path names, links followed: the same device and inode is the same
// file, whatever the path's letters (a case-insensitive memory card, a link).
struct FileId
{
    quint64 device = 0;
    quint64 inode = 0;
    bool operator==(const FileId &other) const
    {
        return device == other.device && inode == other.inode;
    }
    bool operator!=(const FileId &other) const { return !(*this == other); }
};
std::optional<FileId> IdentityOf(const QString &path);

// True when both paths name the same existing file (links followed).
bool SameFile(const QString &a, const QString &b);
