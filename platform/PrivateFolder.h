#pragma once

#include <QString>

// A folder for files of this user's that nobody else may touch: the rule for
// using an existing folder, the places where a fresh one may be made, and a
// removal that never follows a link planted after the folder was made. The
// rule itself is OwnFolder's, which the encoder adapter keeps to as well;
// this is its face for the program's QString paths.
class PrivateFolder
{
public:
    // Empty when there is none.
    QString Path;
    // Its identity when it was made; Remove() checks it.
    quint64 Device = 0;
    quint64 Inode = 0;

    // A fresh folder, mode 0700, named prefix and six random characters, in
    // the first safe place: $XDG_RUNTIME_DIR when it is the user's own and
    // closed to others, else $TMPDIR, else /tmp, each when IsSafeParent. Path
    // is empty when none could be made.
    static PrivateFolder MakeFresh(const QString &prefix);

    // Removes the folder and everything in it through the folder's own
    // descriptor, never by path: nothing when the name now leads to a link
    // or to a folder other than the one made. False when it was not removed.
    bool Remove() const;

    // An existing folder the user may keep files of the program's in: a real
    // folder (not a link) of the user's that nobody else may write to; group
    // write only for the user's private group (OwnFolder::IsOwn).
    static bool IsOwn(const QString &path);
    // The folder opened (O_DIRECTORY, never through a link) when it IsOwn; -1
    // otherwise. With make, missing folders of the path are made first, each
    // with mode 0700 as the XDG rules ask of the folders a program creates.
    static int OpenOwn(const QString &path, bool make = false);

    // A folder a private folder may be made in: one that IsOwn, or a shared
    // one with the sticky bit that belongs to the user or to root, where no
    // one else can rename or remove what the user puts in it. Never a link.
    static bool IsSafeParent(const QString &path);
};

// An environment variable that names an absolute path, cleaned; empty
// otherwise (the XDG rules ignore relative paths).
QString AbsolutePathFromEnvironment(const char *name);
// The account's home in the password database, cleaned; empty without one.
QString AccountHome();
