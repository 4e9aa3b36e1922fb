#pragma once

// The one rule for folders of this user's that nobody else may touch, in
// plain C++ on POSIX: the program (through platform/PrivateFolder) and the
// encoder adapter both keep their private files by it.

#include <string>
#include <sys/types.h>

class OwnFolder
{
public:
    // Empty when there is none.
    std::string Path;
    // Its identity when it was made or taken; every operation checks it.
    dev_t Device = 0;
    ino_t Inode = 0;

    // The home folder of this process's account in the password database;
    // empty when it has none there or it is not an absolute path.
    static std::string AccountHome();
    // An environment variable that names an absolute path; empty otherwise
    // (the XDG rules ignore relative paths).
    static std::string PathFromEnvironment(const char *name);

    // Whether a real folder (not a link) belongs to this user and nobody else
    // may write to it. Group write counts as the user's own only for the
    // user's private group (the group named after the user, with no other
    // member), as a folder made by hand under Debian's umask 002 has it.
    static bool IsOwn(const std::string &path);
    // The folder opened (O_DIRECTORY, never through a link) when it IsOwn;
    // -1 otherwise. With make, missing folders of the path are made first,
    // each with mode 0700 as the XDG rules ask of the folders a program makes.
    static int OpenOwn(const std::string &path, bool make = false);
    // A folder a private folder may be made in: one that IsOwn, or a shared
    // one with the sticky bit that belongs to the user or to root, where no
    // one else can rename or remove what the user puts in it. Never a link.
    static bool IsSafeParent(const std::string &path);

    // An existing folder that IsOwn, with its identity; Path empty otherwise.
    static OwnFolder Take(const std::string &path);
    // A fresh folder, mode 0700, named prefix and six random characters, in
    // the first safe place: $XDG_RUNTIME_DIR when it is the user's own and
    // closed to all, else $TMPDIR, else /tmp, each when IsSafeParent. Path is
    // empty when none could be made.
    static OwnFolder MakeFresh(const std::string &prefix);

    // The folder opened through its path, never through a link, when it is
    // still the one made or taken; -1 otherwise.
    int Open() const;
    // Removes the folder and everything in it through the folder's own
    // descriptor, never by path: nothing when the name now leads to a link
    // or to another folder. False when it was not removed.
    bool Remove() const;
    // Removes the files of the folder whose names begin with prefix (not
    // empty), the same way.
    void RemoveFiles(const std::string &prefix) const;
    // A file of the folder read whole, never through a link.
    bool ReadFile(const std::string &name, std::string &text) const;
    // Writes a file of the folder under a fresh name and renames it into
    // place, so that a reader finds the whole text or none.
    bool WriteFile(const std::string &name, const std::string &text) const;
};
