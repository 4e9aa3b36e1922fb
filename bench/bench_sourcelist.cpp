// Times filling the source list from one dropped folder tree of 100,000 files
// in 1,000 folders against `find | sort` reading the same data, and reports
// the memory the list takes.
//
//   bench_sourcelist [--tree DIR] [--runs N] [--locale NAME]

#include "BenchReport.h"
#include "SearchFile.h"
#include "SortedListBox.h"
#include "SourceList.h"
#include "StartupProbe.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QTextStream>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
constexpr int TopFolders = 10;
constexpr int SubFoldersEach = 99; // 10 + 10 * 99 = 1,000 folders
constexpr int FilesEach = 100;     // 100,000 files

QTextStream out(stdout);

// Starts a new peak of the resident set (Linux 4.0 and later).
void ResetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

QStringList FolderNames()
{
    QStringList folders;
    for (int t = 0; t < TopFolders; ++t) {
        const QString top = QStringLiteral("Videos %1").arg(t, 2, 10, QLatin1Char('0'));
        folders << top;
        for (int s = 0; s < SubFoldersEach; ++s)
            folders << top + QStringLiteral("/Event_%1 clips").arg(s, 3, 10, QLatin1Char('0'));
    }
    return folders;
}

bool BuildTree(const QString &tree)
{
    const QString stamp = tree + QStringLiteral(".complete");
    if (QFile::exists(stamp) && QDir(tree).exists())
        return true;
    out << "building " << tree << " ..." << Qt::endl;
    QDir(tree).removeRecursively();
    int n = 0;
    for (const QString &folder : FolderNames()) {
        const QString dir = tree + QLatin1Char('/') + folder;
        if (!QDir().mkpath(dir))
            return false;
        for (int f = 0; f < FilesEach; ++f, ++n) {
            // Mixed case and extensions, as a camera folder would hold them.
            const QString name = (f % 3 == 0)   ? QStringLiteral("MOV%1.MP4")
                                 : (f % 3 == 1) ? QStringLiteral("clip %1.avi")
                                                : QStringLiteral("Clip_%1.mpg");
            QFile file(dir + QLatin1Char('/') + name.arg(n, 6, 10, QLatin1Char('0')));
            if (!file.open(QIODevice::WriteOnly))
                return false;
            file.write(QByteArray(n % 64, 'x'));
        }
    }
    QFile s(stamp);
    return s.open(QIODevice::WriteOnly);
}

double TimeFindSort(const QString &tree, qint64 *lines)
{
    QProcess p;
    const QString command =
        QStringLiteral("find '%1' -printf '%p %s %T@ %A@ %C@\\n' | LC_ALL=C sort | wc -l")
            .arg(tree);
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    p.waitForFinished(-1);
    const double ms = double(t.nsecsElapsed()) / 1e6;
    if (lines)
        *lines = p.readAllStandardOutput().trimmed().toLongLong();
    return ms;
}

// The main window's part: list, drop panel, convert button, search component.
struct Window
{
    Window()
        : ListBox1(new TSortedListBox(&form)), Panel11(new QWidget(&form)),
          Button10(new QWidget(&form)), SearchFile1(new TSearchFile(&form)),
          list(ListBox1, Panel11, Button10, SearchFile1)
    {
        form.resize(400, 591);
        ListBox1->setGeometry(10, 200, 380, 160);
        Panel11->setGeometry(ListBox1->geometry());
    }
    QWidget form;
    TSortedListBox *ListBox1;
    QWidget *Panel11;
    QWidget *Button10;
    TSearchFile *SearchFile1;
    TSourceList list;
};
} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QString tree = QStringLiteral("/tmp/pc-bench-tree");
    int runs = 5;
    QString localeName = QStringLiteral("ja_JP"); // the users' locale
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--tree"))
            tree = args[i + 1];
        else if (args[i] == QLatin1String("--runs"))
            runs = qMax(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--locale"))
            localeName = args[i + 1];
    }
    QLocale::setDefault(QLocale(localeName));
    if (!BuildTree(tree)) {
        out << "cannot build the tree " << tree << Qt::endl;
        return 1;
    }

    Window w;
    w.form.show();
    app.processEvents();
    QMimeData drop;
    drop.setUrls({QUrl::fromLocalFile(tree)});

    qint64 lines = 0;
    TimeFindSort(tree, &lines); // the same warm cache for both

    std::vector<double> ours, reference;
    qint64 memoryKb = -1;
    qint64 keptKb = -1;
    double repaintMs = 0;
    int entries = 0;
    for (int run = 0; run < runs; ++run) {
        reference.push_back(TimeFindSort(tree, nullptr));

        ResetPeak();
        const qint64 before = ProcStatusKb("VmRSS");
        QElapsedTimer t;
        t.start();
        w.list.DropFiles(&drop);
        ours.push_back(double(t.nsecsElapsed()) / 1e6);
        if (run == 0) {
            memoryKb = ProcStatusKb("VmHWM") - before;
            keptKb = ProcStatusKb("VmRSS") - before;
            entries = w.ListBox1->Count();
            t.restart();
            w.ListBox1->repaint();
            app.processEvents();
            repaintMs = double(t.nsecsElapsed()) / 1e6;
        }
        w.list.Button5Click();
        app.processEvents();
    }

    const double oursMs = Median(ours);
    const double referenceMs = Median(reference);
    out << "tree: " << tree << ", " << lines << " lines from find, " << entries
        << " list entries, locale " << QLocale().name() << Qt::endl;
    out << "fill the sorted list (median of " << runs << "): " << QString::number(oursMs, 'f', 1)
        << " ms" << Qt::endl;
    out << "find | LC_ALL=C sort (median of " << runs
        << "): " << QString::number(referenceMs, 'f', 1) << " ms" << Qt::endl;
    out << "ratio: " << QString::number(oursMs / referenceMs, 'f', 2) << " (target <= 1.5)"
        << Qt::endl;
    out << "memory growth (peak RSS delta): " << QString::number(double(memoryKb) / 1024, 'f', 1)
        << " MB (target <= 60), kept after the drop: "
        << QString::number(double(keptKb) / 1024, 'f', 1) << " MB" << Qt::endl;
    out << "repaint of the filled list: " << QString::number(repaintMs, 'f', 1) << " ms"
        << Qt::endl;
    const double ratio = oursMs / referenceMs;
    PrintResult(1, "folder expansion, " + std::to_string(entries) + " entries",
                Fixed(oursMs, 1) + " ms", Fixed(referenceMs, 1) + " ms (find | LC_ALL=C sort)",
                Fixed(ratio, 2), "<= 1.5", Verdict(ratio <= 1.5));
    PrintResult(1, "folder expansion: memory growth (peak)",
                Fixed(double(memoryKb) / 1024, 1) + " MB (kept " + Fixed(double(keptKb) / 1024, 1) +
                    ")",
                "-", "-", "<= 60 MB", Verdict(memoryKb <= 60 * 1024));
    return 0;
}
