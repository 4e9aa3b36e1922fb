// How much the conversion batch itself costs and how quickly it reacts, with a
// trivial encoder (the tests' fake). Prints five figures:
//   per-pass cost: a pass's wall time minus the encoder's own run time, the
//                  thumbnail pause set to 0 (the real thumbnail shell run, the
//                  picture load and delete, the process start all count),
//                  over the first 60 passes of a list of 101,000 files, two
//                  of which share a name (the second is refused: its output
//                  would overwrite the first's)
//   batch start:   from the start of that batch to its first pass
//   end noticed:   from the encoder's last instruction to the batch moving on
//   cancel:        from the press on the cancel button to the encoder reaped
//   size ticks:    the intervals between the progress window's size updates
//
// Run: bench/run.sh 2 (or build the bench target and run bench_batch headless)

#include "BatchTestHost.h"
#include "BenchReport.h"
#include "ConversionBatch.h"
#include "Dialogs.h"
#include "Files.h"
#include "ProgressWindow1.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <time.h>
#include <vector>

namespace {
double nowMs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

struct Times
{
    double start, end;
};

std::vector<Times> readTimes(const QString &path)
{
    std::vector<Times> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 2)
            out.push_back({parts[0].toDouble() / 1e6, parts[1].toDouble() / 1e6});
    }
    return out;
}

// Prints the figures of one measure and its table row; the verdict goes by
// the median, or by every sample when `allWithin` is set (the tick spread).
void report(const char *what, std::vector<double> v, double low, double high, const char *target,
            bool allWithin = false)
{
    if (v.empty()) {
        std::printf("%-16s no samples\n", what);
        PrintResult(2, what, "no samples", "-", "-", target, "MISSED");
        return;
    }
    std::sort(v.begin(), v.end());
    const double median = Median(v);
    std::printf("%-16s n=%-3zu median %8.2f ms  min %8.2f  p90 %8.2f  max %8.2f   (target %s)\n",
                what, v.size(), median, v.front(), v[v.size() * 9 / 10], v.back(), target);
    const bool met =
        allWithin ? v.front() >= low && v.back() <= high : median >= low && median <= high;
    const std::string figure = allWithin
                                   ? Fixed(v.front(), 1) + " .. " + Fixed(v.back(), 1) + " ms"
                                   : Fixed(median, 2) + " ms (max " + Fixed(v.back(), 2) + ")";
    PrintResult(2, std::string("batch: ") + what + " (n=" + std::to_string(v.size()) + ")", figure,
                "-", "-", target, Verdict(met));
}

struct Bench
{
    QTemporaryDir dir;
    BatchTestHost host;
    QString times = dir.filePath("times.txt");
    std::vector<double> passStarts; // when each pass read its settings

    // entries files; with twins, the entries at 7 and 8 share a name.
    Bench(int entries, bool twins = false)
    {
        host.AppDir = dir.filePath("app");
        QDir().mkpath(host.AppDir);
        QDir().mkpath(dir.filePath("src/one"));
        QDir().mkpath(dir.filePath("src/two"));
        host.Entries.reserve(entries);
        for (int i = 0; i < entries; ++i) {
            QString name = QStringLiteral("src/clip%1.avi").arg(i);
            if (twins && (i == 7 || i == 8))
                name = QLatin1String(i == 7 ? "src/one/twin.avi" : "src/two/twin.avi");
            QFile f(dir.filePath(name));
            f.open(QIODevice::WriteOnly);
            f.write("video");
            host.Entries << f.fileName();
        }
        host.Settings.Codec = QStringLiteral("MPEG4");
        host.Settings.OutputFolder = dir.filePath("out");
        host.Window.show();
        qputenv("FAKE_ENCODER_TIMES", times.toLocal8Bit());
        qunsetenv("FAKE_ENCODER_LOG");
        host.OnReadSettings = [this] { passStarts.push_back(nowMs()); };
    }

    void run(const QString &action, const std::function<void(TConversionBatch &)> &setUp = {})
    {
        qputenv("FAKE_ENCODER_ACTION", action.toLocal8Bit());
        TConversionBatch batch(host);
        batch.PauseMs = 0;
        batch.EncoderProgram = QStringLiteral(FAKE_ENCODER_PATH);
        // A real detached shell run, of a program that does nothing.
        batch.ThumbnailProgram = QStringLiteral("true");
        if (setUp)
            setUp(batch);
        batch.Run();
        passStarts.push_back(nowMs()); // the end of the last pass
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    SetMessageSink(
        [](MessageKind, const QString &text) { std::printf("message: %s\n", qPrintable(text)); });
    const QByteArray jpeg = [] {
        QFile f(QStringLiteral(PC_SOURCE_DIR "/tests/fuzz/corpus/jpeg/thumb.jpg"));
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();

    {
        // Per-pass cost in a list of 101,000 files, with a thumbnail picture
        // to load and delete every pass; the batch is stopped after 60 passes.
        constexpr int Passes = 60;
        Bench b(101000, true);
        const QString thumb = ThumbnailPath(b.host.AppDir);
        // Per pass: whether the pass before it ran an encoder (a refused one
        // runs none, and has no encoder time to take off).
        std::vector<bool> ran;
        pid_t lastPid = 0;
        TConversionBatch *running = nullptr;
        b.host.OnReadSettings = [&] {
            b.passStarts.push_back(nowMs());
            const pid_t pid = b.host.EncoderProcess ? b.host.EncoderProcess->Pid() : 0;
            ran.push_back(pid != lastPid);
            lastPid = pid;
            if (b.passStarts.size() > Passes + 1 && running)
                running->Abort();
            QFile f(thumb);
            f.open(QIODevice::WriteOnly);
            f.write(jpeg);
        };
        b.run(QStringLiteral("write"), [&](TConversionBatch &batch) { running = &batch; });
        const std::vector<Times> t = readTimes(b.times);
        std::vector<double> cost;
        // passStarts[0] is the batch's first look at the settings, then one
        // per pass; the last is the start of the pass that was stopped.
        size_t run = 0;
        for (size_t i = 1; i + 1 < b.passStarts.size() && i <= Passes; ++i) {
            double encoder = 0;
            if (ran[i + 1] && run < t.size()) {
                encoder = t[run].end - t[run].start;
                ++run;
            }
            cost.push_back(b.passStarts[i + 1] - b.passStarts[i] - encoder);
        }
        std::printf("(%zu passes, %zu encoder runs, list of %lld entries)\n", cost.size(), run,
                    qlonglong(b.host.Entries.size()));
        report("per-pass cost", cost, 0, 20, "<= 20 ms");
        if (b.passStarts.size() > 1) {
            const double start = b.passStarts[1] - b.passStarts[0];
            std::printf("%-16s %8.2f ms\n", "batch start", start);
            PrintResult(2, "batch: start, 101000 entries", Fixed(start, 1) + " ms", "-", "-", "-",
                        "-");
        }
    }
    {
        // The encoder runs longer than one wait slice (60 ms).
        Bench b(15);
        b.run(QStringLiteral("slow 150"));
        const std::vector<Times> t = readTimes(b.times);
        std::vector<double> noticed;
        for (size_t i = 0; i < t.size() && i + 2 < b.passStarts.size(); ++i)
            noticed.push_back(b.passStarts[i + 2] - t[i].end);
        report("end noticed", noticed, 0, 5, "<= 5 ms");
    }
    {
        Bench b(12);
        std::vector<double> clicks;
        QTimer sampler;
        double runningSince = 0;
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            const auto &p = b.host.EncoderProcess;
            if (!p || !p->IsRunning() || !ProgressForm1) {
                runningSince = 0;
                return;
            }
            if (runningSince == 0)
                runningSince = nowMs();
            else if (nowMs() - runningSince > 150 && ProgressForm1->Button1->Tag() == 1) {
                clicks.push_back(nowMs());
                QTest::mouseClick(ProgressForm1->Button1, Qt::LeftButton);
            }
        });
        sampler.start(7);
        b.run(QStringLiteral("hang"));
        std::vector<double> cancel;
        for (size_t i = 0; i < clicks.size() && i + 2 < b.passStarts.size(); ++i)
            cancel.push_back(b.passStarts[i + 2] - clicks[i]);
        report("cancel to encoder gone", cancel, 0, 100, "<= 100 ms");
    }
    {
        Bench b(1);
        std::vector<double> ticks;
        QMetaObject::Connection hooked;
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            if (ProgressForm1 && !hooked)
                hooked = QObject::connect(ProgressForm1->Timer1, &QTimer::timeout,
                                          [&] { ticks.push_back(nowMs()); });
        });
        watcher.start(1);
        b.run(QStringLiteral("grow 11500"));
        std::vector<double> spread;
        for (size_t i = 1; i < ticks.size(); ++i)
            spread.push_back(ticks[i] - ticks[i - 1]);
        report("size tick intervals", spread, 950, 1050, "1000 +- 50 ms", true);
    }
    return 0;
}
