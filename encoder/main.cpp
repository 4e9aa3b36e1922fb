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
#include "OwnFolder.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// The private folder of the Pocketclips run that started this adapter, when
// it is the user's own.
OwnFolder runFolder()
{
    return OwnFolder::Take(OwnFolder::PathFromEnvironment(RunFolderVariable));
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
bool probeLibxvid(const std::string &encoder, const OwnFolder &run)
{
    struct stat st;
    std::string kept, text;
    if (!run.Path.empty() && stat(encoder.c_str(), &st) == 0)
        kept = "encoders-" + PassLogKey(encoder + "|" + identity(st) + "|" +
                                        std::to_string(static_cast<long long>(st.st_mtime)) + "|" +
                                        std::to_string(static_cast<long long>(st.st_size)));
    if (!kept.empty() && run.ReadFile(kept, text) && (text == "0" || text == "1"))
        return text == "1";
    text.clear();
    // Without a readable list assume the encoder is there: FFmpeg then names
    // the real problem itself.
    if (!capture(encoder, {"-hide_banner", "-encoders"}, text) || text.empty())
        return true;
    const bool have = EncoderListHasLibxvid(text);
    if (!kept.empty())
        run.WriteFile(kept, have ? "1" : "0");
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
std::string streamListFile(const OwnFolder &run, const std::string &id)
{
    return run.Path.empty() || id.empty() ? std::string() : "streams-" + PassLogKey(id);
}

bool readStreamList(const OwnFolder &run, const std::string &file, const std::string &id,
                    std::string &text)
{
    std::string kept;
    if (file.empty() || !run.ReadFile(file, kept) || kept.compare(0, id.size() + 1, id + "\n") != 0)
        return false;
    text = kept.substr(id.size() + 1);
    return true;
}

// Lists the source's streams with ffprobe, so that the output takes FFmpeg's
// choice of streams without a cover picture. The list is made once per
// source and run: by the thumbnail run (see listStreamsAhead), or here, and
// kept in the run's folder for the next pass.
bool probeStreams(const std::string &encoder, const std::string &source, const OwnFolder &run,
                  std::vector<SourceStream> &streams)
{
    const std::string id = sourceIdentity(source);
    if (id.empty())
        return false;
    const std::string file = streamListFile(run, id);
    std::string text;
    if (!readStreamList(run, file, id, text)) {
        if (!runProbe(encoder, source, text))
            return false;
        if (!file.empty())
            run.WriteFile(file, id + "\n" + text);
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
void listStreamsAhead(const std::string &encoder, const std::string &source, const OwnFolder &run)
{
    const std::string id = sourceIdentity(source);
    const std::string file = streamListFile(run, id);
    std::string text;
    if (file.empty() || readStreamList(run, file, id, text))
        return;
    detached(-1, [&] {
        if (runProbe(encoder, source, text))
            run.WriteFile(file, id + "\n" + text);
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

    const OwnFolder run = runFolder();
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
        const bool madeHere = run.Path.empty();
        const OwnFolder logs = madeHere ? OwnFolder::MakeFresh("pocketclips-") : run;
        if (logs.Path.empty()) {
            complain("no private folder for the two-pass statistics");
            return 1;
        }
        char cwd[4096];
        const std::string here = getcwd(cwd, sizeof cwd) ? std::string(cwd) : std::string("/");
        const std::string name = "passlog-" + PassLogKey(AbsolutePath(OutputArgument(args), here));
        options.passLogPrefix = logs.Path + "/" + name;
        // FFmpeg names the set's files "<prefix>-0.log" and the like.
        const std::string set = name + "-";
        if (madeHere)
            whenEncoderEnds([logs] { logs.Remove(); });
        else if (pass == 1)
            logs.RemoveFiles(set); // a cancelled run's leftovers
        else
            whenEncoderEnds([logs, set] { logs.RemoveFiles(set); });
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
