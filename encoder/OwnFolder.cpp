#include "OwnFolder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int FolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool absolute(const std::string &path)
{
    return !path.empty() && path[0] == '/';
}

// An absolute path that is a folder itself, not a link to one.
bool realFolder(const std::string &path, struct stat &st)
{
    return absolute(path) && lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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

bool usersOwn(const struct stat &st)
{
    return st.st_uid == geteuid() && (st.st_mode & S_IWOTH) == 0 &&
           ((st.st_mode & S_IWGRP) == 0 || isPrivateGroup(st.st_gid));
}

// Removes what is in the folder open as fd whose names begin with prefix; a
// subfolder (with an empty prefix only) through its own descriptor, a link
// as a link.
void removeEntries(int fd, const std::string &prefix)
{
    const int listing = dup(fd);
    DIR *d = listing >= 0 ? fdopendir(listing) : nullptr;
    if (!d) {
        if (listing >= 0)
            close(listing);
        return;
    }
    while (const dirent *e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0 ||
            std::strncmp(e->d_name, prefix.c_str(), prefix.size()) != 0)
            continue;
        if (unlinkat(fd, e->d_name, 0) == 0 || errno != EISDIR || !prefix.empty())
            continue;
        const int sub = openat(fd, e->d_name, FolderFlags);
        if (sub >= 0) {
            removeEntries(sub, prefix);
            close(sub);
        }
        unlinkat(fd, e->d_name, AT_REMOVEDIR);
    }
    closedir(d);
}
} // namespace

std::string OwnFolder::AccountHome()
{
    const passwd *pw = getpwuid(geteuid());
    return pw && pw->pw_dir && absolute(pw->pw_dir) ? std::string(pw->pw_dir) : std::string();
}

std::string OwnFolder::PathFromEnvironment(const char *name)
{
    const char *value = std::getenv(name);
    return value && absolute(value) ? std::string(value) : std::string();
}

bool OwnFolder::IsOwn(const std::string &path)
{
    const int fd = OpenOwn(path);
    if (fd >= 0)
        close(fd);
    return fd >= 0;
}

int OwnFolder::OpenOwn(const std::string &path, bool make)
{
    if (!absolute(path))
        return -1;
    if (make) {
        for (size_t slash = path.find('/', 1); slash != std::string::npos;
             slash = path.find('/', slash + 1))
            mkdir(path.substr(0, slash).c_str(), 0700);
        mkdir(path.c_str(), 0700);
    }
    const int fd = open(path.c_str(), FolderFlags);
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0 && usersOwn(st))
        return fd;
    if (fd >= 0)
        close(fd);
    return -1;
}

bool OwnFolder::IsSafeParent(const std::string &path)
{
    struct stat st;
    if (!realFolder(path, st))
        return false;
    if (usersOwn(st))
        return true;
    return (st.st_mode & S_ISVTX) != 0 && (st.st_uid == geteuid() || st.st_uid == 0);
}

OwnFolder OwnFolder::Take(const std::string &path)
{
    const int fd = OpenOwn(path);
    struct stat st;
    OwnFolder folder;
    if (fd >= 0 && fstat(fd, &st) == 0) {
        folder.Path = path;
        folder.Device = st.st_dev;
        folder.Inode = st.st_ino;
    }
    if (fd >= 0)
        close(fd);
    return folder;
}

OwnFolder OwnFolder::MakeFresh(const std::string &prefix)
{
    std::string parents[3];
    int count = 0;
    // The runtime folder as the XDG rules require it: the user's, closed to all.
    const std::string runtime = PathFromEnvironment("XDG_RUNTIME_DIR");
    struct stat st;
    if (realFolder(runtime, st) && st.st_uid == geteuid() && (st.st_mode & 077) == 0)
        parents[count++] = runtime;
    for (const std::string &temp : {PathFromEnvironment("TMPDIR"), std::string("/tmp")})
        if (IsSafeParent(temp))
            parents[count++] = temp;

    for (int i = 0; i < count; ++i) {
        // Never an entry that is there already, so nothing planted is taken.
        std::string name = parents[i] + "/" + prefix + "XXXXXX";
        if (!mkdtemp(name.data()) || lstat(name.c_str(), &st) != 0)
            continue;
        OwnFolder folder;
        folder.Path = name;
        folder.Device = st.st_dev;
        folder.Inode = st.st_ino;
        return folder;
    }
    return {};
}

int OwnFolder::Open() const
{
    if (Path.empty())
        return -1;
    const int fd = open(Path.c_str(), FolderFlags);
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0 && st.st_dev == Device && st.st_ino == Inode)
        return fd;
    if (fd >= 0)
        close(fd);
    return -1;
}

bool OwnFolder::Remove() const
{
    const int fd = Open();
    if (fd < 0)
        return false;
    removeEntries(fd, std::string());
    close(fd);
    // rmdir never follows a link, and takes only an empty folder.
    return rmdir(Path.c_str()) == 0;
}

void OwnFolder::RemoveFiles(const std::string &prefix) const
{
    const int fd = prefix.empty() ? -1 : Open();
    if (fd < 0)
        return;
    removeEntries(fd, prefix);
    close(fd);
}

bool OwnFolder::ReadFile(const std::string &name, std::string &text) const
{
    const int dir = Open();
    const int fd = dir >= 0 ? openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC) : -1;
    if (dir >= 0)
        close(dir);
    if (fd < 0)
        return false;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            text.append(buffer, size_t(n));
    close(fd);
    return n == 0;
}

bool OwnFolder::WriteFile(const std::string &name, const std::string &text) const
{
    const int dir = Open();
    if (dir < 0)
        return false;
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 10; ++attempt) {
        unsigned char random[6];
        if (getrandom(random, sizeof random, 0) != ssize_t(sizeof random))
            break;
        temp = "." + name + ".";
        for (unsigned char c : random)
            temp += "abcdefghijklmnopqrstuvwxyz0123456789"[c % 36];
        fd = openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    size_t done = 0;
    while (fd >= 0 && done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += size_t(n);
    }
    const bool written = fd >= 0 && close(fd) == 0 && done == text.size() &&
                         renameat(dir, temp.c_str(), dir, name.c_str()) == 0;
    if (fd >= 0 && !written)
        unlinkat(dir, temp.c_str(), 0);
    close(dir);
    return written;
}
