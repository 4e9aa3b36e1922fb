// Start-up and memory of the program against a minimal Qt window program:
// each is started as a whole process, ends itself once its window has been
// painted and activated (see StartupProbe.h), and is timed from just before
// the start to its end. Runs alternate between the programs; the times are
// medians, a ratio is the median of the ratios of runs taken side by side.
//
//   bench_startup --program FILE --minimal FILE --delivered DIR [--tree DIR]
//                 [--runs N] [--work DIR]
//
// --program is the program with the probe, --delivered the program folder of
// the build (profile.txt, Readme.txt), --tree a folder named on the command
// line for the memory figure with a full list. Needs a display (xvfb-run) or
// QT_QPA_PLATFORM=offscreen.

#include "BenchReport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTextStream>

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char **environ;

namespace {
QTextStream out(stdout);

double nowNs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e9 + double(ts.tv_nsec);
}

struct Run
{
    double wallMs = -1;
    QMap<QString, double> report;
};

// Starts program with args and the probe's environment; waits for its end.
Run runOnce(const QString &program, const QStringList &args, const QString &work, int idleMs)
{
    const QString reportPath = work + QStringLiteral("/report.txt");
    QFile::remove(reportPath);
    QByteArrayList envStore;
    for (char **e = environ; *e; ++e) {
        if (!QByteArray(*e).startsWith("PC_BENCH_"))
            envStore << QByteArray(*e);
    }
    envStore << "PC_BENCH_REPORT=" + reportPath.toLocal8Bit();
    envStore << "PC_BENCH_IDLE_MS=" + QByteArray::number(idleMs);
    const int tIndex = int(envStore.size());
    envStore << QByteArray();

    QByteArrayList argStore{program.toLocal8Bit()};
    for (const QString &a : args)
        argStore << a.toLocal8Bit();
    std::vector<char *> argv;
    for (QByteArray &a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const QByteArray errLog = (work + QStringLiteral("/stderr.txt")).toLocal8Bit();
    posix_spawn_file_actions_addopen(&actions, 2, errLog.constData(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);

    Run run;
    const double t0 = nowNs();
    envStore[tIndex] = "PC_BENCH_T0=" + QByteArray::number(qint64(t0));
    std::vector<char *> envp;
    for (QByteArray &e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return run;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.wallMs = (nowNs() - t0) / 1e6;
    posix_spawn_file_actions_destroy(&actions);

    QFile f(reportPath);
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : f.readAll().split('\n')) {
            const QList<QByteArray> parts = line.split(' ');
            if (parts.size() == 2)
                run.report[QString::fromUtf8(parts[0])] = parts[1].toDouble();
        }
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !run.report.contains("t_ready") ||
        run.report.value("t_ready") < 0 || run.report.contains("timeout")) {
        out << "run of " << program << " " << args.join(' ') << " did not report (status " << status
            << "); see " << work << "/stderr.txt" << Qt::endl;
        run.wallMs = -1;
    }
    return run;
}

// A copy of the program in a folder of its own with the given presets: the
// program reads profile.txt and Pocketclips.ini beside its own file.
QString makeProgramFolder(const QString &dir, const QString &program, const QString &delivered,
                          const QByteArray &profile)
{
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    const QString copy = dir + QStringLiteral("/pocketclips");
    QFile::copy(program, copy);
    QFile::setPermissions(copy, QFile::permissions(program));
    for (const char *name : {"Readme.txt", "pocketclips.png"})
        QFile::copy(delivered + QLatin1Char('/') + QLatin1String(name),
                    dir + QLatin1Char('/') + QLatin1String(name));
    QFile p(dir + QStringLiteral("/profile.txt"));
    p.open(QIODevice::WriteOnly);
    p.write(profile);
    // A returning user's settings: a stored position, preset and output folder.
    QFile ini(dir + QStringLiteral("/Pocketclips.ini"));
    ini.open(QIODevice::WriteOnly);
    ini.write("[SET]\nM_LEFT=120\nM_TOP=80\n[SET1]\nC0=4\nC1=15\nC2=384\nC3=2\nC4=64\nC5=1\n"
              "[SET2]\nC11=" +
              dir.toUtf8() + "/out\nC12=0\nC13=0\n");
    return copy;
}

// 10,000 rows: the delivered rows over and over, each name numbered.
QByteArray manyRows(const QByteArray &delivered, int count)
{
    QList<QByteArray> rows;
    for (const QByteArray &line : delivered.split('\n'))
        if (!line.trimmed().isEmpty())
            rows << line.trimmed();
    QByteArray text;
    for (int i = 0; i < count && !rows.isEmpty(); ++i) {
        QByteArray row = rows[i % rows.size()];
        // "name",... becomes "name 00001",...
        const int close = row.indexOf("\",");
        if (row.startsWith('"') && close > 0)
            row.insert(close, " " + QByteArray::number(i + 1).rightJustified(5, '0'));
        text += row + "\r\n";
    }
    return text;
}

struct Series
{
    std::vector<double> wall, app, paint, ready, hwm, rss;
    double entries = -1;
    bool failed = false;
    void add(const Run &r)
    {
        if (r.wallMs < 0) {
            failed = true;
            return;
        }
        wall.push_back(r.wallMs);
        app.push_back(r.report.value("t_app"));
        paint.push_back(r.report.value("t_paint"));
        ready.push_back(r.report.value("t_ready"));
        hwm.push_back(r.report.value("vmhwm_kb") / 1024.0);
        rss.push_back(r.report.value("vmrss_kb") / 1024.0);
        entries = r.report.value("entries", -1);
    }
};

void describe(const char *what, const Series &s)
{
    out << QStringLiteral("  %1: process %2 ms (min %3, max %4); inside: application object "
                          "%8 ms, first paint %9 ms, ready %5 ms; peak resident %6 MB; n=%7")
               .arg(QLatin1String(what))
               .arg(Median(s.wall), 0, 'f', 1)
               .arg(s.wall.empty() ? 0 : *std::min_element(s.wall.begin(), s.wall.end()), 0, 'f', 1)
               .arg(s.wall.empty() ? 0 : *std::max_element(s.wall.begin(), s.wall.end()), 0, 'f', 1)
               .arg(Median(s.ready), 0, 'f', 1)
               .arg(Median(s.hwm), 0, 'f', 1)
               .arg(s.wall.size())
               .arg(Median(s.app), 0, 'f', 1)
               .arg(Median(s.paint), 0, 'f', 1)
        << Qt::endl;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QString program, minimal, delivered, tree, work = QStringLiteral("/tmp/pc-bench-startup");
    int runs = 11;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        const QString &k = args[i], &v = args[i + 1];
        if (k == QLatin1String("--program"))
            program = v;
        else if (k == QLatin1String("--minimal"))
            minimal = v;
        else if (k == QLatin1String("--delivered"))
            delivered = v;
        else if (k == QLatin1String("--tree"))
            tree = v;
        else if (k == QLatin1String("--work"))
            work = v;
        else if (k == QLatin1String("--runs"))
            runs = qMax(1, v.toInt());
    }
    if (program.isEmpty() || minimal.isEmpty() || delivered.isEmpty()) {
        out << "usage: bench_startup --program FILE --minimal FILE --delivered DIR [--tree DIR] "
               "[--runs N] [--work DIR]"
            << Qt::endl;
        return 2;
    }
    QFile p(delivered + QStringLiteral("/profile.txt"));
    if (!p.open(QIODevice::ReadOnly)) {
        out << "no profile.txt in " << delivered << Qt::endl;
        return 1;
    }
    const QByteArray profile = p.readAll();
    QDir().mkpath(work);
    QFile::remove(work + QStringLiteral("/stderr.txt"));
    const QString small =
        makeProgramFolder(work + QStringLiteral("/delivered"), program, delivered, profile);
    const QString large = makeProgramFolder(work + QStringLiteral("/rows10k"), program, delivered,
                                            manyRows(profile, 10000));
    const QString platform =
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
            ? QStringLiteral("xcb (DISPLAY=%1)").arg(qEnvironmentVariable("DISPLAY"))
            : qEnvironmentVariable("QT_QPA_PLATFORM");
    out << "start-up, " << runs << " runs each, platform " << platform << Qt::endl;

    // Warm the page cache and the font caches for all three.
    runOnce(minimal, {}, work, 0);
    runOnce(small, {}, work, 0);
    runOnce(large, {}, work, 0);

    Series base, ours, ours10k;
    for (int r = 0; r < runs; ++r) {
        base.add(runOnce(minimal, {}, work, 0));
        ours.add(runOnce(small, {}, work, 0));
        ours10k.add(runOnce(large, {}, work, 0));
    }
    describe("minimal Qt window", base);
    describe("program, delivered profile.txt", ours);
    describe("program, 10,000-row profile.txt", ours10k);

    // Memory: idle for a second after start-up, then the peak resident size.
    const int memRuns = qMax(3, runs / 3);
    Series baseIdle, oursIdle, oursFull;
    for (int r = 0; r < memRuns; ++r) {
        baseIdle.add(runOnce(minimal, {}, work, 1000));
        oursIdle.add(runOnce(small, {}, work, 1000));
        if (!tree.isEmpty())
            oursFull.add(runOnce(small, {tree}, work, 1000));
    }
    out << "memory, " << memRuns << " runs each, idle 1 s after start-up:" << Qt::endl;
    describe("minimal Qt window", baseIdle);
    describe("program idle", oursIdle);
    if (!tree.isEmpty())
        describe("program with the tree on its command line", oursFull);

    if (base.failed || ours.failed || ours10k.failed || base.wall.empty() || ours.wall.empty() ||
        ours10k.wall.empty()) {
        out << "some runs failed" << Qt::endl;
        return 1;
    }
    const double b = Median(base.wall);
    for (const auto &[name, s] :
         {std::pair<const char *, const Series &>{"delivered profile.txt", ours},
          {"10,000-row profile.txt", ours10k}}) {
        const double ratio = MedianRatio(s.wall, base.wall);
        PrintResult(4, std::string("start-up to painted window, ") + name,
                    Fixed(Median(s.wall), 1) + " ms", Fixed(b, 1) + " ms (minimal Qt window)",
                    Fixed(ratio, 3), "<= 1.5", Verdict(ratio <= 1.5));
    }
    if (!oursIdle.hwm.empty() && !baseIdle.hwm.empty()) {
        PrintResult(5, "peak resident size (VmHWM), idle main window",
                    Fixed(Median(oursIdle.hwm), 1) + " MB (resident " +
                        Fixed(Median(oursIdle.rss), 1) + ")",
                    Fixed(Median(baseIdle.hwm), 1) + " MB (minimal Qt window)",
                    Fixed(Median(oursIdle.hwm) / Median(baseIdle.hwm), 2), "- (none set)", "-");
    }
    if (!oursFull.hwm.empty() && !oursIdle.hwm.empty()) {
        PrintResult(5,
                    "peak resident size (VmHWM), " +
                        QString::number(oursFull.entries).toStdString() + " list entries",
                    Fixed(Median(oursFull.hwm), 1) + " MB (resident " +
                        Fixed(Median(oursFull.rss), 1) + ")",
                    Fixed(Median(oursIdle.hwm), 1) + " MB (idle main window)",
                    Fixed(Median(oursFull.hwm) / Median(oursIdle.hwm), 2), "- (none set)", "-");
    }
    return 0;
}
