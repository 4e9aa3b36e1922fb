// Conversion throughput: ten clips (10 seconds each unless told) converted by
// the program's batch through the encoder adapter, as the program runs it (a
// fresh private folder per batch, the thumbnail runs through the adapter),
// against the very FFmpeg command lines the adapter ran, run one after
// another by a shell script. The batch's fixed one-second pause per pass is
// taken off its time; the thumbnail runs stay in it (they run during the
// pauses). Runs alternate; the times are medians, the ratio is the median of
// the ratios of runs taken side by side.
//
//   bench_throughput --adapter FILE --delivered DIR [--clips DIR] [--runs N]
//                    [--preset N] [--work DIR] [--seconds N]
//                    [--before FILE --before-label TEXT]
//
// --adapter is the build's Pocketclips/ffmpeg, --delivered the program folder
// (its profile.txt), --preset the row of profile.txt to convert with (1 is
// the first preset, what a new user starts with), --seconds the length of
// the clips. --before names an older adapter measured in the same runs, as
// the program of its day ran it (the thumbnail runs by the FFmpeg on PATH).

#include "AppFiles.h"
#include "BenchReport.h"
#include "ConversionBatch.h"
#include "Dialogs.h"
#include "MainWindow1.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

namespace {
constexpr int Clips = 10;
QTextStream out(stdout);

// POSIX shell quoting: the argument between single quotes.
std::string shellQuoted(const char *arg)
{
    std::string q = "'";
    for (const char *p = arg; *p; ++p) {
        if (*p == '\'')
            q += "'\\''";
        else
            q += *p;
    }
    return q + "'";
}

// Started by the adapter in place of the real FFmpeg: appends the command
// line as the adapter finally runs it to the record, then becomes FFmpeg.
[[noreturn]] void recordAndRun(int argc, char *argv[], const char *record, const char *real)
{
    std::string line = shellQuoted(real);
    for (int i = 1; i < argc; ++i)
        line += " " + shellQuoted(argv[i]);
    line += "\n";
    const int fd = open(record, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) {
        if (write(fd, line.data(), line.size()) != ssize_t(line.size()))
            std::fprintf(stderr, "cannot write the record %s\n", record);
        close(fd);
    }
    execv(real, argv);
    std::fprintf(stderr, "cannot run %s: %s\n", real, std::strerror(errno));
    _exit(127);
}

bool makeClips(const QString &dir, int seconds)
{
    QDir().mkpath(dir);
    for (int i = 0; i < Clips; ++i) {
        const QString clip = dir + QStringLiteral("/clip%1.avi").arg(i, 2, 10, QLatin1Char('0'));
        if (QFileInfo(clip).size() > 0)
            continue;
        out << "making " << clip << Qt::endl;
        QProcess make;
        make.start(QStringLiteral("ffmpeg"),
                   {"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                    QStringLiteral("testsrc=size=640x480:rate=30:duration=%1").arg(seconds), "-f",
                    "lavfi", "-i",
                    QStringLiteral("sine=frequency=%1:duration=%2").arg(220 + 40 * i).arg(seconds),
                    "-c:v", "mpeg4", "-q:v", "4", "-c:a", "pcm_s16le", clip});
        if (!make.waitForFinished(120000) || make.exitCode() != 0)
            return false;
    }
    return true;
}

QStringList clipPaths(const QString &dir)
{
    QStringList paths;
    for (int i = 0; i < Clips; ++i)
        paths << dir + QStringLiteral("/clip%1.avi").arg(i, 2, 10, QLatin1Char('0'));
    return paths;
}

int outputsPresent(const QString &outDir)
{
    int n = 0;
    for (const QFileInfo &f : QDir(outDir).entryInfoList({QStringLiteral("*.3gp")}, QDir::Files))
        n += f.size() > 0 ? 1 : 0;
    return n;
}

void clearOutputs(const QString &outDir)
{
    QDir(outDir).removeRecursively();
    QDir().mkpath(outDir);
}

// One batch as "[ 変換開始 ]" runs it; the time without the fixed pauses.
// With a private folder, in one of its own as the program has one per run.
double runBatch(TMainForm1 &window, const QString &adapter, const QString &thumbnailProgram,
                bool privateFolder, int *passes)
{
    TConversionBatch batch(window);
    batch.EncoderProgram = adapter;
    batch.ThumbnailProgram = thumbnailProgram;
    AppFiles files = AppFiles::Portable(window.Files.ProgramDir);
    if (privateFolder) {
        files.RunFolder = PrivateFolder::MakeFresh(QStringLiteral("pocketclips-"));
        AppFiles::SetCurrent(files);
    }
    const int passCount = window.CheckBox1->isChecked() ? 2 : 1;
    *passes = window.SourceCount() * passCount;
    QElapsedTimer t;
    t.start();
    batch.Run();
    const double ms = double(t.nsecsElapsed()) / 1e6;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    files.RemovePrivateFolder();
    AppFiles::SetCurrent(AppFiles::Portable(window.Files.ProgramDir));
    return ms - double(*passes) * batch.PauseMs;
}

// The processor time (user and system) of the children waited for so far:
// the encoder runs the batch or the script waits for, not the thumbnail runs
// it leaves behind. Unlike the wall time it does not count what other
// programs, or the machine's host, take from these runs.
double childrenCpuMs()
{
    struct rusage u;
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

double runScript(const QString &script)
{
    QProcess sh;
    sh.setStandardInputFile(QProcess::nullDevice());
    sh.setStandardOutputFile(QProcess::nullDevice());
    sh.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    sh.start(QStringLiteral("/bin/sh"), {script});
    sh.waitForFinished(-1);
    return double(t.nsecsElapsed()) / 1e6;
}
} // namespace

int main(int argc, char *argv[])
{
    if (const char *record = std::getenv("PC_BENCH_RECORD")) {
        if (const char *real = std::getenv("PC_BENCH_REAL_FFMPEG"))
            recordAndRun(argc, argv, record, real);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QString adapter, delivered, before, beforeLabel = QStringLiteral("before"), clips,
                                        work = QStringLiteral("/tmp/pc-bench-throughput");
    int runs = 3;
    int preset = 1;
    int seconds = 10;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        const QString &k = args[i], &v = args[i + 1];
        if (k == QLatin1String("--adapter"))
            adapter = QFileInfo(v).absoluteFilePath();
        else if (k == QLatin1String("--delivered"))
            delivered = v;
        else if (k == QLatin1String("--clips"))
            clips = QFileInfo(v).absoluteFilePath();
        else if (k == QLatin1String("--work"))
            work = QFileInfo(v).absoluteFilePath();
        else if (k == QLatin1String("--runs"))
            runs = qMax(1, v.toInt());
        else if (k == QLatin1String("--preset"))
            preset = qMax(1, v.toInt());
        else if (k == QLatin1String("--seconds"))
            seconds = qMax(1, v.toInt());
        else if (k == QLatin1String("--before"))
            before = QFileInfo(v).absoluteFilePath();
        else if (k == QLatin1String("--before-label"))
            beforeLabel = v;
    }
    if (clips.isEmpty())
        clips = seconds == 10 ? QStringLiteral("/tmp/pc-bench-clips")
                              : QStringLiteral("/tmp/pc-bench-clips-%1s").arg(seconds);
    const QString real = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (adapter.isEmpty() || delivered.isEmpty() || real.isEmpty()) {
        out << "usage: bench_throughput --adapter FILE --delivered DIR [--clips DIR] [--runs N] "
               "[--preset N] [--work DIR] [--seconds N] [--before FILE --before-label TEXT]   "
               "(needs ffmpeg on PATH)"
            << Qt::endl;
        return 2;
    }
    if (!makeClips(clips, seconds)) {
        out << "cannot make the clips in " << clips << Qt::endl;
        return 1;
    }
    SetMessageSink(
        [](MessageKind, const QString &text) { out << "message: " << text << Qt::endl; });

    // A program folder of its own: the delivered presets, settings that
    // choose the preset and the output folder.
    QDir(work).removeRecursively();
    const QString appDir = work + QStringLiteral("/app");
    const QString outDir = work + QStringLiteral("/out");
    QDir().mkpath(appDir);
    QFile::copy(delivered + QStringLiteral("/profile.txt"),
                appDir + QStringLiteral("/profile.txt"));
    {
        QFile ini(appDir + QStringLiteral("/Pocketclips.ini"));
        ini.open(QIODevice::WriteOnly);
        ini.write(QStringLiteral("[SET1]\nC0=%1\n[SET2]\nC11=%2\nC12=0\nC13=0\n")
                      .arg(preset)
                      .arg(outDir)
                      .toUtf8());
    }
    qputenv("XDG_CACHE_HOME", (work + QStringLiteral("/cache")).toLocal8Bit());

    TMainForm1 window(appDir);
    window.CommandLine.clear();
    window.show();
    window.FormActivate();
    for (const QString &clip : clipPaths(clips))
        window.AddSourcePath(clip);
    out << "preset " << preset << ": " << window.C2_00->GetColumnText(preset, 0) << ", codec "
        << window.C2_04->GetSelectedText() << ", " << window.SourceCount() << " clips of "
        << seconds << " s" << Qt::endl;

    // A first batch (also warming the caches) records what the adapter runs.
    const QString record = work + QStringLiteral("/commands.txt");
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).absoluteFilePath();
    qputenv("POCKETCLIPS_FFMPEG", self.toLocal8Bit());
    qputenv("PC_BENCH_RECORD", record.toLocal8Bit());
    qputenv("PC_BENCH_REAL_FFMPEG", real.toLocal8Bit());
    clearOutputs(outDir);
    int passes = 0;
    runBatch(window, adapter, real, true, &passes);
    qunsetenv("POCKETCLIPS_FFMPEG");
    qunsetenv("PC_BENCH_RECORD");
    qunsetenv("PC_BENCH_REAL_FFMPEG");
    QFile commands(record);
    commands.open(QIODevice::ReadOnly);
    const QByteArray lines = commands.readAll();
    commands.close();
    if (lines.count('\n') != passes || outputsPresent(outDir) != Clips) {
        out << "the recording batch ran " << lines.count('\n') << " of " << passes
            << " encoder runs and left " << outputsPresent(outDir) << " outputs" << Qt::endl;
        return 1;
    }
    const QString script = work + QStringLiteral("/commands.sh");
    {
        QFile f(script);
        f.open(QIODevice::WriteOnly);
        f.write("#!/bin/sh\n# The encoder runs of one batch, as the adapter ran them.\n" + lines);
    }
    out << "first command: " << lines.left(lines.indexOf('\n')) << Qt::endl;
    // The same lines, each after a one-second sleep as in the batch, and the
    // sleeps alone: how much of the difference the pause itself makes (the
    // encoder starting cold after it).
    const QString paused = work + QStringLiteral("/commands-paused.sh");
    const QString sleeps = work + QStringLiteral("/sleeps.sh");
    {
        QByteArray pausedText = "#!/bin/sh\n", sleepText = "#!/bin/sh\n";
        for (const QByteArray &line : lines.split('\n')) {
            if (line.isEmpty())
                continue;
            pausedText += "sleep 1\n" + line + "\n";
            sleepText += "sleep 1\n";
        }
        QFile f(paused), g(sleeps);
        f.open(QIODevice::WriteOnly);
        f.write(pausedText);
        g.open(QIODevice::WriteOnly);
        g.write(sleepText);
    }

    std::vector<double> ours, reference, withPauses, older, oursCpu, referenceCpu, olderCpu;
    // Each run's wall time, and the processor time it took into cpu.
    const auto timed = [](std::vector<double> &cpu, const std::function<double()> &run) {
        const double before = childrenCpuMs();
        const double ms = run();
        cpu.push_back(childrenCpuMs() - before);
        return ms;
    };
    for (int r = 0; r < runs; ++r) {
        clearOutputs(outDir);
        withPauses.push_back(runScript(paused) - runScript(sleeps));
        clearOutputs(outDir);
        reference.push_back(timed(referenceCpu, [&] { return runScript(script); }));
        const int scriptOutputs = outputsPresent(outDir);
        clearOutputs(outDir);
        ours.push_back(
            timed(oursCpu, [&] { return runBatch(window, adapter, adapter, true, &passes); }));
        int olderOutputs = Clips;
        if (!before.isEmpty()) {
            const int oursPresent = outputsPresent(outDir);
            clearOutputs(outDir);
            older.push_back(timed(olderCpu, [&] {
                return runBatch(window, before, QStringLiteral("ffmpeg"), false, &passes);
            }));
            olderOutputs = outputsPresent(outDir);
            if (oursPresent != Clips)
                olderOutputs = -oursPresent;
        }
        if (scriptOutputs != Clips || outputsPresent(outDir) != Clips || olderOutputs != Clips) {
            out << "run " << r << ": outputs missing (script " << scriptOutputs << ", batch "
                << outputsPresent(outDir) << ", older adapter " << olderOutputs << ")" << Qt::endl;
            return 1;
        }
        out << "run " << r << ": script " << Fixed(reference.back(), 0).c_str()
            << " ms, batch without pauses " << Fixed(ours.back(), 0).c_str() << " ms";
        if (!before.isEmpty())
            out << ", " << beforeLabel << " " << Fixed(older.back(), 0).c_str() << " ms";
        out << ", script with sleeps (sleeps taken off) " << Fixed(withPauses.back(), 0).c_str()
            << " ms" << Qt::endl;
    }
    const double o = Median(ours), b = Median(reference);
    out << "per pass beyond FFmpeg's own time: " << Fixed((o - b) / passes, 1).c_str() << " ms"
        << Qt::endl;
    const double ratio = MedianRatio(ours, reference);
    const std::string clipsText = std::to_string(Clips) + " clips x " + std::to_string(seconds) +
                                  " s, preset " + std::to_string(preset);
    const std::string baseline = Fixed(b, 0) + " ms (same FFmpeg lines from sh)";
    PrintResult(3, "throughput, " + clipsText + " (batch minus 1000 ms pauses)",
                Fixed(o, 0) + " ms", baseline, Fixed(ratio, 3), "<= 1.05", Verdict(ratio <= 1.05));
    if (!before.isEmpty())
        PrintResult(3,
                    "throughput, " + clipsText + ", " + beforeLabel.toStdString() +
                        "'s adapter (same runs)",
                    Fixed(Median(older), 0) + " ms", baseline,
                    Fixed(MedianRatio(older, reference), 3), "-", "-");
    PrintResult(3,
                "processor time of the encoder runs waited for, " + clipsText +
                    " (user+system; the host's load does not count)",
                Fixed(Median(oursCpu), 0) + " ms",
                Fixed(Median(referenceCpu), 0) + " ms (same FFmpeg lines from sh)",
                Fixed(MedianRatio(oursCpu, referenceCpu), 3), "-", "-");
    if (!before.isEmpty())
        PrintResult(3,
                    "processor time of the encoder runs waited for, " + clipsText + ", " +
                        beforeLabel.toStdString() + "'s adapter",
                    Fixed(Median(olderCpu), 0) + " ms",
                    Fixed(Median(referenceCpu), 0) + " ms (same FFmpeg lines from sh)",
                    Fixed(MedianRatio(olderCpu, referenceCpu), 3), "-", "-");
    const double p = Median(withPauses);
    PrintResult(3,
                "throughput, for comparison: the same lines from sh, 1 s sleep before each "
                "(sleeps taken off)",
                Fixed(p, 0) + " ms", baseline, Fixed(MedianRatio(withPauses, reference), 3), "-",
                "-");
    return 0;
}
