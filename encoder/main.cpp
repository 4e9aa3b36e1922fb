// The encoder adapter: installed as "ffmpeg" beside Pocketclips, which finds it
// before any FFmpeg on PATH. It rewrites the options today's FFmpeg no longer
// takes, adds what a phone needs to a 3GP output (listing the source's streams
// with ffprobe for that), keeps two-pass statistics in the user's cache
// folder, then replaces itself with the real FFmpeg, so that the process Pocketclips waits for and
// cancels is the encoder itself and its exit status is the encoder's.
//
// POCKETCLIPS_FFMPEG names the real FFmpeg (a path, or a name looked up on PATH);
// without it the first "ffmpeg" on PATH that is not this adapter is used.

#include "AdapterArgs.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
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

std::string cacheFolder()
{
    std::string base = env("XDG_CACHE_HOME");
    if (base.empty() || base[0] != '/') {
        const std::string home = env("HOME");
        base = home.empty() ? std::string() : home + "/.cache";
    }
    if (base.empty())
        base = "/tmp/pocketclips-" + std::to_string(getuid());
    return base + "/pocketclips";
}

bool makeFolders(const std::string &path)
{
    std::string sofar;
    for (const std::string &part : SplitList(path, '/')) {
        if (part.empty())
            continue;
        sofar += "/" + part;
        if (mkdir(sofar.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Removes every file of one pass-log set ("<key>-0.log", "<key>-0.log.mbtree"...).
void removePassLogs(const std::string &folder, const std::string &key)
{
    DIR *d = opendir(folder.c_str());
    if (!d)
        return;
    const std::string prefix = key + "-";
    while (const dirent *e = readdir(d)) {
        if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0)
            unlink((folder + "/" + e->d_name).c_str());
    }
    closedir(d);
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
// in the cache folder per encoder file, as asking costs a tenth of a second.
bool probeLibxvid(const std::string &encoder, const std::string &cache)
{
    struct stat st;
    std::string cacheFile;
    if (stat(encoder.c_str(), &st) == 0 && !cache.empty()) {
        cacheFile = cache + "/encoders-" +
                    PassLogKey(encoder + "|" + identity(st) + "|" +
                               std::to_string(static_cast<long long>(st.st_mtime)) + "|" +
                               std::to_string(static_cast<long long>(st.st_size)));
        if (FILE *f = std::fopen(cacheFile.c_str(), "r")) {
            const int c = std::fgetc(f);
            std::fclose(f);
            if (c == '0' || c == '1')
                return c == '1';
        }
    }
    std::string text;
    // Without a readable list assume the encoder is there: FFmpeg then names
    // the real problem itself.
    if (!capture(encoder, {"-hide_banner", "-encoders"}, text) || text.empty())
        return true;
    const bool have = EncoderListHasLibxvid(text);
    if (!cacheFile.empty()) {
        const std::string temp = cacheFile + "." + std::to_string(getpid());
        if (FILE *f = std::fopen(temp.c_str(), "w")) {
            std::fputc(have ? '1' : '0', f);
            if (std::fclose(f) == 0)
                rename(temp.c_str(), cacheFile.c_str());
            else
                unlink(temp.c_str());
        }
    }
    return have;
}

// Lists the source's streams with the ffprobe beside the real FFmpeg (or on
// PATH), so that the output takes FFmpeg's choice of streams without a cover
// picture. Only a regular file is read: a pipe gives its data once, and that
// belongs to the encoder.
bool probeStreams(const std::string &encoder, const std::string &source,
                  std::vector<SourceStream> &streams)
{
    struct stat st;
    if (source.empty() || stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const auto slash = encoder.rfind('/');
    std::string probe = encoder.substr(0, slash + 1) + "ffprobe";
    if (!isExecutable(probe, st)) {
        probe.clear();
        for (std::string dir : SplitList(env("PATH"), ':'))
            if (probe.empty() && isExecutable((dir.empty() ? "." : dir) + "/ffprobe", st))
                probe = (dir.empty() ? "." : dir) + "/ffprobe";
    }
    std::string text;
    if (probe.empty() ||
        !capture(probe,
                 {"-v", "error", "-show_entries",
                  "stream=index,codec_type,width,height,channels:stream_disposition=default,"
                  "attached_pic",
                  "-of", "compact=p=0", source},
                 text))
        return false;
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

// Leaves behind a small watcher that removes the pass-log set once this
// process (by then the real FFmpeg) has ended, however it ends. The watcher is
// not our child, so it is no zombie of the encoder.
void removePassLogsAtEnd(const std::string &folder, const std::string &key)
{
    const int pidfd = openPidfd(getpid());
    if (pidfd < 0)
        return;
    const pid_t first = fork();
    if (first == 0) {
        const pid_t second = fork();
        if (second != 0)
            _exit(0);
        setsid();
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
        }
        struct pollfd p = {pidfd, POLLIN, 0};
        while (poll(&p, 1, -1) < 0 && errno == EINTR) {
        }
        removePassLogs(folder, key);
        _exit(0);
    }
    if (first > 0) {
        int status = 0;
        while (waitpid(first, &status, 0) < 0 && errno == EINTR) {
        }
    }
    close(pidfd);
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

    const std::string cache = cacheFolder();
    const bool haveCache = makeFolders(cache);

    AdapterOptions options;
    if (WantsLibxvid(args))
        options.haveLibxvid = probeLibxvid(real, haveCache ? cache : std::string());
    if (!PhoneOptions(args, options).empty())
        options.streamsKnown = probeStreams(real, InputArgument(args), options.streams);
    if (PassHasNothingToDo(args, options))
        return 0;

    const int pass = PassNumber(args);
    std::string logFolder, logKey;
    if (pass > 0 && haveCache) {
        char cwd[4096];
        const std::string here = getcwd(cwd, sizeof cwd) ? std::string(cwd) : std::string("/");
        logFolder = cache + "/passlog";
        logKey = PassLogKey(AbsolutePath(OutputArgument(args), here));
        if (makeFolders(logFolder)) {
            options.passLogPrefix = logFolder + "/" + logKey;
            if (pass == 1)
                removePassLogs(logFolder, logKey); // a cancelled run's leftovers
            else
                removePassLogsAtEnd(logFolder, logKey);
        }
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
