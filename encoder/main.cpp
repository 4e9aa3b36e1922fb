// The encoder adapter: installed as "ffmpeg" beside Pocketclips, which finds it
// before any FFmpeg on PATH. It rewrites the options today's FFmpeg no longer
// takes, adds what a phone needs to a 3GP output (listing the source's streams
// with ffprobe for that), keeps two-pass statistics out of the working folder,
// then replaces itself with the real FFmpeg, so that the process Pocketclips
// waits for and cancels is the encoder itself and its exit status is the
// encoder's.
//
// POCKETCLIPS_FFMPEG names the real FFmpeg (a path, or a name looked up on PATH);
// without it the first "ffmpeg" on PATH that is not this adapter is used.
// POCKETCLIPS_RUN_DIR names the private folder of the Pocketclips run that
// started the adapter; it keeps the two-pass statistics, the stream lists and
// the encoder list there, when that is a real folder of its own user that
// nobody else may write to. Without one (run by hand) only a two-pass run
// needs a folder: a fresh private one, removed when the encoder ends.

#include "AdapterArgs.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Lists the identities (device:inode) of adapters already passed on the way
// to the real FFmpeg, so that two adapters on PATH cannot call each other.
constexpr const char *ChainVariable = "POCKETCLIPS_ADAPTER_CHAIN";
constexpr const char *RealVariable = "POCKETCLIPS_FFMPEG";
constexpr const char *RunFolderVariable = "POCKETCLIPS_RUN_DIR";

void complain(const std::string &text)
{
    std::fprintf(stderr, "ffmpeg (Pocketclips adapter): %s\n", text.c_str());
}

std::string identity(const struct stat &st)
{
    return std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":" +
           std::to_string(static_cast<unsigned long long>(st.st_ino));
}

std::string env(const char *name)
{
    const char *v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

bool isExecutable(const std::string &path, struct stat &st)
{
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The real FFmpeg: not this program and not any adapter already in the chain.
std::string findRealEncoder(const std::string &chain)
{
    const std::vector<std::string> passed = SplitList(chain, ':');
    auto skipped = [&](const struct stat &st) {
        const std::string id = identity(st);
        for (size_t i = 0; i + 1 < passed.size(); i += 2)
            if (passed[i] + ":" + passed[i + 1] == id)
                return true;
        return false;
    };
    std::string name = env(RealVariable);
    if (name.empty())
        name = "ffmpeg";
    struct stat st;
    if (name.find('/') != std::string::npos)
        return isExecutable(name, st) && !skipped(st) ? name : std::string();
    for (std::string dir : SplitList(env("PATH"), ':')) {
        if (dir.empty())
            dir = ".";
        const std::string candidate = dir + "/" + name;
        if (isExecutable(candidate, st) && !skipped(st))
            return candidate;
    }
    return std::string();
}

// A folder of the adapter's: the run's private folder, or one it made itself.
struct Folder
{
    std::string path; // empty: none
    dev_t device = 0;
    ino_t inode = 0;
    bool madeHere = false;
};

// A real folder (not a link) of this user's that nobody else may write to.
bool ownFolder(const std::string &path, struct stat &st)
{
    return !path.empty() && path[0] == '/' && lstat(path.c_str(), &st) == 0 &&
           S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 022) == 0;
}

// The private folder of the Pocketclips run that started this adapter, when
// it is the user's own.
Folder runFolder()
{
    struct stat st;
    const std::string path = env(RunFolderVariable);
    if (!ownFolder(path, st))
        return {};
    return {path, st.st_dev, st.st_ino, false};
}

// A fresh folder, mode 0700, in the runtime folder when it is the user's and
// closed to all, else in TMPDIR or /tmp when the user's own or shared with the
// sticky bit (by the user or root), where nobody else can rename it.
Folder makeFolder()
{
    std::vector<std::string> parents;
    struct stat st;
    if (ownFolder(env("XDG_RUNTIME_DIR"), st) && (st.st_mode & 077) == 0)
        parents.push_back(env("XDG_RUNTIME_DIR"));
    for (const std::string &temp : {env("TMPDIR"), std::string("/tmp")}) {
        const bool sticky = !temp.empty() && temp[0] == '/' && lstat(temp.c_str(), &st) == 0 &&
                            S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0 &&
                            (st.st_uid == geteuid() || st.st_uid == 0);
        if (sticky || ownFolder(temp, st))
            parents.push_back(temp);
    }
    for (const std::string &parent : parents) {
        std::string name = parent + "/pocketclips-XXXXXX";
        if (mkdtemp(name.data()) && lstat(name.c_str(), &st) == 0)
            return {name, st.st_dev, st.st_ino, true};
    }
    return {};
}

// Removes the folder's files whose names begin with prefix (all of them for
// an empty prefix), and with whole the folder too; through the folder's own
// descriptor, and nothing when its path now leads anywhere else.
void removeInFolder(const Folder &folder, const std::string &prefix, bool whole)
{
    const int fd = open(folder.path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st;
    if (fstat(fd, &st) == 0 && st.st_dev == folder.device && st.st_ino == folder.inode) {
        const int listing = dup(fd);
        if (DIR *d = listing >= 0 ? fdopendir(listing) : nullptr) {
            while (const dirent *e = readdir(d))
                if (e->d_name[0] != '.' &&
                    std::strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0)
                    unlinkat(fd, e->d_name, 0);
            closedir(d);
        } else if (listing >= 0) {
            close(listing);
        }
        if (whole)
            rmdir(folder.path.c_str()); // never follows a link; only an empty folder
    }
    close(fd);
}

// A file of the adapter's folder, read whole, never through a link.
bool readFolderFile(const std::string &path, std::string &text)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
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

// Written under a fresh name and renamed into place, so that a reader finds
// the whole text or none.
void writeFolderFile(const std::string &path, const std::string &text)
{
    std::string temp = path + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return;
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += size_t(n);
    }
    if (close(fd) != 0 || done < text.size() || rename(temp.c_str(), path.c_str()) != 0)
        unlink(temp.c_str());
}

// Runs a program and returns what it printed; false when it could not be run
// or did not end with status 0. The program dies with this process (the batch
// cancels a pass by killing it).
bool capture(const std::string &program, const std::vector<std::string> &args, std::string &text)
{
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return false;
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        close(out[0]);
        close(out[1]);
        return false;
    }
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        dup2(out[1], 1);
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, 0);
            dup2(null, 2);
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n > 0)
            text.append(buffer, size_t(n));
        else if (n == 0 || errno != EINTR)
            break;
    }
    close(out[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Runs `encoder -hide_banner -encoders` and reads its list. The answer is kept
// in the run's folder per encoder file, as asking costs a tenth of a second.
bool probeLibxvid(const std::string &encoder, const Folder &run)
{
    struct stat st;
    std::string kept, text;
    if (!run.path.empty() && stat(encoder.c_str(), &st) == 0)
        kept = run.path + "/encoders-" +
               PassLogKey(encoder + "|" + identity(st) + "|" +
                          std::to_string(static_cast<long long>(st.st_mtime)) + "|" +
                          std::to_string(static_cast<long long>(st.st_size)));
    if (!kept.empty() && readFolderFile(kept, text) && (text == "0" || text == "1"))
        return text == "1";
    text.clear();
    // Without a readable list assume the encoder is there: FFmpeg then names
    // the real problem itself.
    if (!capture(encoder, {"-hide_banner", "-encoders"}, text) || text.empty())
        return true;
    const bool have = EncoderListHasLibxvid(text);
    if (!kept.empty())
        writeFolderFile(kept, have ? "1" : "0");
    return have;
}

// The identity of a regular file (device, inode, size, modification time),
// under which its stream list is kept; empty for anything else: a pipe gives
// its data once, and that belongs to the encoder.
std::string sourceIdentity(const std::string &source)
{
    struct stat st;
    if (source.empty() || stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::string();
    return identity(st) + ":" + std::to_string(static_cast<long long>(st.st_size)) + ":" +
           std::to_string(static_cast<long long>(st.st_mtim.tv_sec)) + "." +
           std::to_string(static_cast<long long>(st.st_mtim.tv_nsec));
}

// The ffprobe beside the real FFmpeg, else the first on PATH.
std::string findProbe(const std::string &encoder)
{
    struct stat st;
    const std::string beside = encoder.substr(0, encoder.rfind('/') + 1) + "ffprobe";
    if (isExecutable(beside, st))
        return beside;
    for (std::string dir : SplitList(env("PATH"), ':')) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/ffprobe";
        if (isExecutable(candidate, st))
            return candidate;
    }
    return std::string();
}

bool runProbe(const std::string &encoder, const std::string &source, std::string &text)
{
    const std::string probe = findProbe(encoder);
    return !probe.empty() &&
           capture(probe,
                   {"-v", "error", "-show_entries",
                    "stream=index,codec_type,width,height,channels:stream_disposition=default,"
                    "attached_pic",
                    "-of", "compact=p=0", source},
                   text);
}

// A source's stream list in the run's folder: the file's identity on the
// first line, then what ffprobe printed.
std::string streamListFile(const Folder &run, const std::string &id)
{
    return run.path.empty() || id.empty() ? std::string() : run.path + "/streams-" + PassLogKey(id);
}

bool readStreamList(const std::string &file, const std::string &id, std::string &text)
{
    std::string kept;
    if (file.empty() || !readFolderFile(file, kept) ||
        kept.compare(0, id.size() + 1, id + "\n") != 0)
        return false;
    text = kept.substr(id.size() + 1);
    return true;
}

// Lists the source's streams with ffprobe, so that the output takes FFmpeg's
// choice of streams without a cover picture. The list is made once per
// source and run: by the thumbnail run (see listStreamsAhead), or here, and
// kept in the run's folder for the next pass.
bool probeStreams(const std::string &encoder, const std::string &source, const Folder &run,
                  std::vector<SourceStream> &streams)
{
    const std::string id = sourceIdentity(source);
    if (id.empty())
        return false;
    const std::string file = streamListFile(run, id);
    std::string text;
    if (!readStreamList(file, id, text)) {
        if (!runProbe(encoder, source, text))
            return false;
        if (!file.empty())
            writeFolderFile(file, id + "\n" + text);
    }
    streams = ParseStreamList(text);
    return true;
}

int openPidfd(pid_t pid)
{
#ifdef SYS_pidfd_open
    return int(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

// Runs work in a process of its own, with standard files on /dev/null; with
// a process descriptor endOf, once that process has ended. It is not our
// child, so it is no zombie of the encoder.
void detached(int endOf, const std::function<void()> &work)
{
    const pid_t first = fork();
    if (first == 0) {
        if (fork() != 0)
            _exit(0);
        setsid();
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
        }
        struct pollfd p = {endOf, POLLIN, 0};
        while (endOf >= 0 && poll(&p, 1, -1) < 0 && errno == EINTR) {
        }
        work();
        _exit(0);
    }
    if (first > 0) {
        int status = 0;
        while (waitpid(first, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

// Leaves behind a small watcher that does work once this process (by then
// the real FFmpeg) has ended, however it ends.
void whenEncoderEnds(const std::function<void()> &work)
{
    const int pidfd = openPidfd(getpid());
    if (pidfd < 0)
        return;
    detached(pidfd, work);
    close(pidfd);
}

// A thumbnail run comes a second before the conversion run of the same
// source: the streams are listed meanwhile, beside the picture, so that the
// conversion run finds the list ready.
void listStreamsAhead(const std::string &encoder, const std::string &source, const Folder &run)
{
    const std::string id = sourceIdentity(source);
    const std::string file = streamListFile(run, id);
    std::string text;
    if (file.empty() || readStreamList(file, id, text))
        return;
    detached(-1, [&] {
        if (runProbe(encoder, source, text))
            writeFolderFile(file, id + "\n" + text);
    });
}

} // namespace

int main(int argc, char *argv[])
{
    ArgList args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);

    std::string chain = env(ChainVariable);
    struct stat self;
    if (stat("/proc/self/exe", &self) == 0)
        chain = chain.empty() ? identity(self) : chain + ":" + identity(self);
    const std::string real = findRealEncoder(chain);
    if (real.empty()) {
        complain("the real FFmpeg was not found (set " + std::string(RealVariable) +
                 " or put ffmpeg on PATH)");
        return 127;
    }
    setenv(ChainVariable, chain.c_str(), 1);

    const Folder run = runFolder();
    AdapterOptions options;
    if (WantsLibxvid(args))
        options.haveLibxvid = probeLibxvid(real, run);
    if (IsThumbnailRun(args))
        listStreamsAhead(real, InputArgument(args), run);
    else if (!PhoneOptions(args, options).empty())
        options.streamsKnown = probeStreams(real, InputArgument(args), run, options.streams);
    if (PassHasNothingToDo(args, options))
        return 0;

    // Two-pass statistics never go to the working folder, FFmpeg's choice:
    // into the run's folder, or into one of this adapter's own that goes
    // when the encoder ends.
    const int pass = PassNumber(args);
    if (pass > 0 && std::find(args.begin(), args.end(), "-passlogfile") == args.end()) {
        const Folder logs = run.path.empty() ? makeFolder() : run;
        if (logs.path.empty()) {
            complain("no private folder for the two-pass statistics");
            return 1;
        }
        char cwd[4096];
        const std::string here = getcwd(cwd, sizeof cwd) ? std::string(cwd) : std::string("/");
        const std::string name = "passlog-" + PassLogKey(AbsolutePath(OutputArgument(args), here));
        options.passLogPrefix = logs.path + "/" + name;
        // FFmpeg names the set's files "<prefix>-0.log" and the like.
        const std::string set = name + "-";
        if (logs.madeHere)
            whenEncoderEnds([logs] { removeInFolder(logs, std::string(), true); });
        else if (pass == 1)
            removeInFolder(logs, set, false); // a cancelled run's leftovers
        else
            whenEncoderEnds([logs, set] { removeInFolder(logs, set, false); });
    }

    const ArgList mapped = MapArguments(args, options);
    std::vector<char *> argvOut;
    argvOut.push_back(const_cast<char *>("ffmpeg"));
    for (const std::string &a : mapped)
        argvOut.push_back(const_cast<char *>(a.c_str()));
    argvOut.push_back(nullptr);
    execv(real.c_str(), argvOut.data());
    complain("cannot run " + real + ": " + std::strerror(errno));
    return 127;
}
