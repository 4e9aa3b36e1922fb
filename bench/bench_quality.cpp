// Picture quality for the bits: for one delivered preset per codec, the
// program's command line as the adapter hands it to FFmpeg, against the same
// line as it was before the phone options (the baseline, measured in the same
// run), the phone options without the quality options, and further candidate
// options. Each output is compared with its source scaled the same way
// (FFmpeg's ssim and psnr filters); the encode time is the CPU time (user and
// system) of the FFmpeg process, as the machine may be shared, with its wall
// time beside it. Sets alternate within every run; times are medians.
//
//   bench_quality [--runs N] [--work DIR]
//
// The sources: 10 s of 640x480 at the preset's frame rate, a zoom into the
// Mandelbrot set blended with FFmpeg's moving test picture, kept lossless.

#include "AdapterArgs.h"
#include "BenchReport.h"
#include "EncoderCommand.h"

#include <QDir>
#include <QFileInfo>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Candidate
{
    std::string name;
    ArgList extra; // on top of the phone options without the quality options
};

struct CodecCase
{
    const char *codec; // as the preset names it
    int presetRow;     // in the delivered profile.txt
    int sizePosition, fps, kbit;
    const char *picture;
    // The shipped options that are there for quality rather than for the phone.
    std::vector<std::string> qualityOptions;
    std::vector<Candidate> candidates;
};

const CodecCase Cases[] = {
    {"LIBX264",
     5,
     1,
     24,
     384,
     "320x240",
     {"-preset", "-refs", "-motion-est"},
     {{"preset slow", {"-preset", "slow"}},
      {"refs 5", {"-refs", "5"}},
      {"umh", {"-motion-est", "umh"}}}},
    {"MPEG4",
     4,
     1,
     15,
     384,
     "320x240",
     {"-mbd", "-trellis"},
     {{"GOP 150", {"-g", "150"}},
      {"mbd rd, trellis, GOP 150", {"-mbd", "rd", "-trellis", "1", "-g", "150"}}}},
    {"LIBXVID",
     6,
     1,
     15,
     384,
     "320x240",
     {"-mbd", "-trellis"},
     {{"GOP 150", {"-g", "150"}},
      {"mbd rd, trellis, GOP 150", {"-mbd", "rd", "-trellis", "1", "-g", "150"}},
      {"mbd rd, trellis, me_quality 6", {"-mbd", "rd", "-trellis", "1", "-me_quality", "6"}}}},
};

struct Run
{
    int status = -1;
    double cpuSeconds = 0;
    double wallSeconds = 0;
    std::string printed; // its output and error output
};

double seconds(const timeval &t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

// Runs FFmpeg with the arguments; its CPU and wall time and what it printed.
Run ffmpeg(const ArgList &args)
{
    Run run;
    char errName[] = "/tmp/pc-bench-quality-XXXXXX";
    const int err = mkstemp(errName);
    if (err < 0)
        return run;
    unlink(errName);
    std::vector<char *> argv{const_cast<char *>("ffmpeg")};
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(err, 1);
        dup2(err, 2);
        execvp("ffmpeg", argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    run.wallSeconds = double(end.tv_sec - start.tv_sec) + double(end.tv_nsec - start.tv_nsec) / 1e9;
    lseek(err, 0, SEEK_SET);
    char buffer[4096];
    ssize_t n;
    while ((n = read(err, buffer, sizeof buffer)) > 0)
        run.printed.append(buffer, size_t(n));
    close(err);
    return run;
}

// The number behind `key` in FFmpeg's report, 0 when it is not there.
double reported(const std::string &text, const std::string &key)
{
    const auto at = text.rfind(key);
    return at == std::string::npos ? 0 : std::atof(text.c_str() + at + key.size());
}

struct Quality
{
    double ssim = 0, psnr = 0;
    long long bytes = 0;
};

Quality measure(const std::string &output, const std::string &source, const char *picture)
{
    const std::string size = picture;
    const std::string graph =
        "[0:v]split[a][b];[1:v]scale=" + size + ",split[r1][r2];[a][r1]ssim;[b][r2]psnr";
    const Run run =
        ffmpeg({"-nostdin", "-i", output, "-i", source, "-lavfi", graph, "-f", "null", "-"});
    Quality q;
    q.ssim = reported(run.printed, "All:");
    q.psnr = reported(run.printed, "average:");
    q.bytes = QFileInfo(QString::fromStdString(output)).size();
    return q;
}

ArgList toArgs(const QStringList &list)
{
    ArgList out;
    for (const QString &a : list)
        out.push_back(a.toStdString());
    return out;
}

ArgList without(const ArgList &args, const std::vector<std::string> &options)
{
    ArgList out;
    for (size_t i = 0; i < args.size(); ++i) {
        bool drop = false;
        for (const std::string &o : options)
            drop = drop || args[i] == o;
        if (drop)
            ++i; // its value too
        else
            out.push_back(args[i]);
    }
    return out;
}

ArgList beforeOutput(ArgList args, const ArgList &extra)
{
    args.insert(args.end() - 1, extra.begin(), extra.end());
    return args;
}

bool makeSource(const std::string &path, int fps)
{
    if (QFileInfo(QString::fromStdString(path)).size() > 0)
        return true;
    const std::string r = std::to_string(fps);
    const std::string graph = "mandelbrot=size=640x480:rate=" + r +
                              ",trim=duration=10[m];testsrc2=size=640x480:rate=" + r +
                              ",trim=duration=10[t];[m][t]blend=all_mode=average,format=yuv420p";
    std::printf("making %s\n", path.c_str());
    std::fflush(stdout);
    return ffmpeg({"-nostdin", "-y", "-f", "lavfi", "-i", graph, "-c:v", "ffv1", path}).status == 0;
}

std::string describe(const Quality &q, double cpu, double wall)
{
    return Fixed(q.ssim, 4) + " / " + Fixed(q.psnr, 2) + " dB / " + Fixed(cpu, 2) + " s (wall " +
           Fixed(wall, 2) + " s), " + std::to_string(q.bytes / 1024) + " KiB";
}
} // namespace

int main(int argc, char *argv[])
{
    int runs = 3;
    std::string work = "/tmp/pc-bench-quality";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--work") == 0)
            work = argv[i + 1];
    }
    QDir().mkpath(QString::fromStdString(work));
    // The adapter's own test: does this FFmpeg have libxvid?
    AdapterOptions options;
    options.haveLibxvid = EncoderListHasLibxvid(ffmpeg({"-hide_banner", "-encoders"}).printed);
    std::printf("libxvid %s\n", options.haveLibxvid ? "present" : "missing: mpeg4 takes its place");

    for (const CodecCase &c : Cases) {
        const std::string source = work + "/source" + std::to_string(c.fps) + ".mkv";
        if (!makeSource(source, c.fps)) {
            std::printf("cannot make %s\n", source.c_str());
            return 1;
        }
        EncodingSettings settings;
        settings.Codec = QString::fromLatin1(c.codec);
        settings.SizePosition = c.sizePosition;
        settings.FrameRate = c.fps;
        settings.VideoBitRate = c.kbit;
        const std::string output = work + "/out.3gp";
        const ArgList designed =
            toArgs(BuildConversionCommand(1, QString::fromStdString(source),
                                          QString::fromStdString(output), settings)
                       .Arguments);

        // Today: the adapter's mapping without the phone options (they come
        // only with a 3GP output).
        ArgList asMp4 = designed;
        for (size_t i = 0; i + 1 < asMp4.size(); ++i)
            if (asMp4[i] == "-f" && asMp4[i + 1] == "3gp")
                asMp4[i + 1] = "mp4";
        ArgList today = MapArguments(asMp4, options);
        for (size_t i = 0; i + 1 < today.size(); ++i)
            if (today[i] == "-f" && today[i + 1] == "mp4")
                today[i + 1] = "3gp";
        const ArgList shipped = MapArguments(designed, options);
        const ArgList conformance = without(shipped, c.qualityOptions);

        std::vector<std::pair<std::string, ArgList>> sets = {
            {"today's options", today},
            {"phone options only", conformance},
            {"shipped", shipped},
        };
        for (const Candidate &candidate : c.candidates)
            sets.push_back(
                {"phone + " + candidate.name, beforeOutput(conformance, candidate.extra)});

        std::map<std::string, Quality> quality;
        std::map<std::string, std::vector<double>> cpu, wall;
        for (int r = 0; r < runs; ++r) {
            for (const auto &[name, args] : sets) {
                ArgList line = args;
                line.insert(line.begin(), {"-v", "error"});
                const Run run = ffmpeg(line);
                if (run.status != 0) {
                    std::printf("%s, %s failed: %s\n", c.codec, name.c_str(), run.printed.c_str());
                    return 1;
                }
                cpu[name].push_back(run.cpuSeconds);
                wall[name].push_back(run.wallSeconds);
                if (r == 0)
                    quality[name] = measure(output, source, c.picture);
            }
        }
        std::string shippedLine = "ffmpeg";
        for (const std::string &a : shipped)
            shippedLine += " " + a;
        std::printf("%s shipped: %s\n", c.codec, shippedLine.c_str());

        const std::string base = "today's options";
        const std::string baseline =
            describe(quality[base], Median(cpu[base]), Median(wall[base])) + " (today's options)";
        const std::string what = std::string(c.codec) + ", preset " + std::to_string(c.presetRow) +
                                 " (" + c.picture + ", " + std::to_string(c.fps) + " fps, " +
                                 std::to_string(c.kbit) + "k)";
        for (const auto &[name, args] : sets) {
            if (name == base)
                continue;
            const double ratio = MedianRatio(cpu[name], cpu[base]);
            const bool isShipped = name == "shipped";
            PrintResult(6, "quality " + what + ": " + name + " (SSIM / PSNR / CPU time)",
                        describe(quality[name], Median(cpu[name]), Median(wall[name])), baseline,
                        "SSIM " + Fixed(quality[name].ssim - quality[base].ssim, 4) + ", PSNR " +
                            Fixed(quality[name].psnr - quality[base].psnr, 2) + " dB, time x" +
                            Fixed(ratio, 2),
                        isShipped ? "time <= 1.5" : "-", isShipped ? Verdict(ratio <= 1.5) : "-");
        }
    }
    return 0;
}
