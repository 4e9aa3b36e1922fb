// A stand-in for FFmpeg in the tests: records how it was called and behaves as
// told, without touching any video.
//
//   FAKE_ENCODER_LOG    file to which one line per run is appended:
//                       the process id, then every argument, tab-separated
//   FAKE_ENCODER_RULES  file of lines "<text>\t<action>": the first line whose
//                       text occurs in the blank-joined arguments chooses the
//                       action; otherwise FAKE_ENCODER_ACTION, else "write"
//   FAKE_ENCODERS       printed for "-encoders" (the adapter's probe)
//   FAKE_ENCODER_TIMES  file to which "<start> <end>\n" is appended, monotonic
//                       nanoseconds at the start of main and just before exit
//   FAKE_ENCODER_STDERR file whose bytes a conversion run (one with "-vcodec")
//                       writes to its error output before it acts
//
// Actions: write (the output, the last argument), nowrite, fail N (no output,
// exit N), crash (killed by SIGSEGV), hang (writes part of the output, then
// waits until killed), slow MS (writes, then takes MS milliseconds), grow MS
// (adds 100000 bytes to the output every 100 ms for MS milliseconds), partial N
// (writes part of the output, exits N), partialcrash (writes part of the
// output, then is killed by SIGSEGV).
// With "-passlogfile P" it writes P-0.log (and P-0.log.mbtree), as FFmpeg does.

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {
std::string env(const char *name)
{
    const char *v = std::getenv(name);
    return v ? v : "";
}

void writeAll(int fd, const std::string &text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += size_t(n);
    }
}

bool writeFile(const std::string &path, const std::string &bytes, bool append)
{
    const int fd =
        open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0644);
    if (fd < 0)
        return false;
    writeAll(fd, bytes);
    close(fd);
    return true;
}

std::string chooseAction(const std::string &joined)
{
    const std::string rules = env("FAKE_ENCODER_RULES");
    if (!rules.empty()) {
        if (FILE *f = std::fopen(rules.c_str(), "r")) {
            char line[4096];
            while (std::fgets(line, sizeof line, f)) {
                std::string l(line);
                while (!l.empty() && (l.back() == '\n' || l.back() == '\r'))
                    l.pop_back();
                const auto tab = l.find('\t');
                if (tab == std::string::npos)
                    continue;
                if (joined.find(l.substr(0, tab)) != std::string::npos) {
                    std::fclose(f);
                    return l.substr(tab + 1);
                }
            }
            std::fclose(f);
        }
    }
    const std::string fallback = env("FAKE_ENCODER_ACTION");
    return fallback.empty() ? "write" : fallback;
}

long long nowNs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

long long s_start = 0;

int finish(int code)
{
    const std::string times = env("FAKE_ENCODER_TIMES");
    if (!times.empty())
        writeFile(times, std::to_string(s_start) + " " + std::to_string(nowNs()) + "\n", true);
    return code;
}

int number(const std::string &action, size_t skip)
{
    return action.size() > skip ? std::atoi(action.c_str() + skip) : 0;
}
} // namespace

int main(int argc, char *argv[])
{
    s_start = nowNs();
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string joined;
    for (const std::string &a : args)
        joined += (joined.empty() ? "" : " ") + a;

    for (const std::string &a : args) {
        if (a == "-encoders") {
            std::fputs(env("FAKE_ENCODERS").c_str(), stdout);
            return 0;
        }
    }

    const std::string log = env("FAKE_ENCODER_LOG");
    if (!log.empty()) {
        std::string line = std::to_string(getpid());
        for (const std::string &a : args)
            line += "\t" + a;
        writeFile(log, line + "\n", true);
    }

    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "-passlogfile") {
            writeFile(args[i + 1] + "-0.log", "stats\n", false);
            writeFile(args[i + 1] + "-0.log.mbtree", "tree\n", false);
        }
    }

    const std::string errors = env("FAKE_ENCODER_STDERR");
    if (!errors.empty() && joined.find("-vcodec") != std::string::npos) {
        if (FILE *f = std::fopen(errors.c_str(), "rb")) {
            char buffer[65536];
            size_t n;
            while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
                writeAll(2, std::string(buffer, n));
            std::fclose(f);
        }
    }

    const std::string output = args.empty() ? std::string() : args.back();
    const std::string action = chooseAction(joined);
    const std::string content = "fake 3gp output\n";
    if (action == "write") {
        return finish(writeFile(output, content, false) ? 0 : 1);
    } else if (action == "nowrite") {
        return finish(0);
    } else if (action.rfind("fail", 0) == 0) {
        return finish(number(action, 5));
    } else if (action == "crash") {
        std::signal(SIGSEGV, SIG_DFL);
        std::raise(SIGSEGV);
        return 0;
    } else if (action.rfind("partialcrash", 0) == 0) {
        writeFile(output, "partial", false);
        std::signal(SIGSEGV, SIG_DFL);
        std::raise(SIGSEGV);
        return 0;
    } else if (action.rfind("partial", 0) == 0) {
        writeFile(output, "partial", false);
        return finish(number(action, 8));
    } else if (action == "hang") {
        writeFile(output, "partial", false);
        for (;;)
            pause();
    } else if (action.rfind("slow", 0) == 0) {
        writeFile(output, content, false);
        usleep(useconds_t(number(action, 5)) * 1000);
        return finish(0);
    } else if (action.rfind("grow", 0) == 0) {
        const int ms = number(action, 5);
        writeFile(output, "", false);
        const std::string chunk(100000, 'x');
        for (int t = 0; t < ms; t += 100) {
            writeFile(output, chunk, true);
            usleep(100000);
        }
        return finish(0);
    }
    std::fprintf(stderr, "fake encoder: unknown action %s\n", action.c_str());
    return 2;
}
