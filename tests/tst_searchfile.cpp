#include "Errors.h"
#include "SearchFile.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>

#include <functional>
#include <unistd.h>

namespace {
// Builds a tree below root: "x/" a folder, "x -> target" a link, else a file.
void MakeTree(const QString &root, const QStringList &layout)
{
    for (const QString &item : layout) {
        const int arrow = item.indexOf(QLatin1String(" -> "));
        if (arrow >= 0) {
            QVERIFY(QFile::link(item.mid(arrow + 4), root + '/' + item.left(arrow)));
        } else if (item.endsWith('/')) {
            QVERIFY(QDir().mkpath(root + '/' + item));
        } else {
            WriteFile(root, item, "data");
        }
    }
}

// Records what a search reports, names relative to the searched folder.
class Recorder : public QObject
{
public:
    Recorder(TSearchFile &search, const QString &root) : m_root(root)
    {
        connect(&search, &TSearchFile::OnFind, this, Relayed(this, &Recorder::Find));
    }

    void Find(QObject *Sender, const QString &Name, const TSearchFileData &Data, bool &Continue)
    {
        QVERIFY(Continue);
        senders << Sender;
        names << Relative(Name);
        data << Data;
        if (onFind)
            onFind(Relative(Name), Continue);
    }

    QString Relative(const QString &name) const
    {
        if (name == m_root)
            return QString();
        return name.startsWith(m_root + '/') ? name.mid(m_root.size() + 1) : name;
    }

    QStringList names;
    QList<TSearchFileData> data;
    QList<QObject *> senders;
    std::function<void(const QString &, bool &)> onFind;

private:
    QString m_root;
};

// Compares a sequence of reports with groups "a b | c": the groups in order,
// the names within a group in any order (a folder lists in its own order).
void CompareGroups(const QStringList &names, const QString &expected)
{
    int at = 0;
    for (const QString &group : expected.split('|', Qt::SkipEmptyParts)) {
        QStringList want = group.split(' ', Qt::SkipEmptyParts);
        QVERIFY2(at + want.size() <= names.size(), qPrintable(names.join(", ")));
        QStringList got = names.mid(at, want.size());
        want.sort();
        got.sort();
        QCOMPARE(got, want);
        at += int(want.size());
    }
    QCOMPARE(at, int(names.size()));
}

int Depth(const QString &relative)
{
    return relative.isEmpty() ? 0 : int(relative.count('/')) + 1;
}
} // namespace

class TestSearchFile : public QObject
{
    Q_OBJECT

private slots:
    void search_data();
    void search();
    void entryData();
    void walkIsBreadthFirst();
    void findDirFlags_data();
    void findDirFlags();
    void continueFalseStopsAtOnce();
    void withoutOnFindNothingIsTouched();
    void missingDirectory_data();
    void missingDirectory();
    void reentryRefused();
    void handlerFailure_data();
    void handlerFailure();
    void linkLoopEnds();
    void longPathWhole();
    void vanishedEntries();
    void unreadableFolderPassedOver();
};

void TestSearchFile::search_data()
{
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<bool>("recursive");
    QTest::addColumn<QString>("suffix"); // appended to Directory
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");

    const QStringList ab{"a.avi", "sub/b.avi"};
    QTest::newRow("recursive") << ab << true << ""
                               << ""
                               << "a.avi sub | sub/b.avi";
    QTest::newRow("flat") << ab << false << ""
                          << ""
                          << "a.avi sub";
    QTest::newRow("recursive, trailing slash") << ab << true << "/"
                                               << ""
                                               << "a.avi sub | sub/b.avi";
    QTest::newRow("flat, trailing slash") << ab << false << "/"
                                          << "*.*"
                                          << "a.avi sub";
    QTest::newRow("dotted and cleaned path") << ab << true << "/sub/.."
                                             << ""
                                             << "a.avi sub | sub/b.avi";
    QTest::newRow("star dot star, names without dot")
        << QStringList{"README", "sub/Makefile"} << true << ""
        << "*.*"
        << "README sub | sub/Makefile";
    QTest::newRow("pattern, folders still searched")
        << QStringList{"a.avi", "b.mp4", "sub/c.AVI"} << true << ""
        << "*.avi"
        << "a.avi | sub/c.AVI";
    QTest::newRow("question mark") << QStringList{"a1.avi", "a10.avi", "b1.avi"} << false << ""
                                   << "a?.avi"
                                   << "a1.avi";
    QTest::newRow("hidden entries") << QStringList{".hidden", ".cache/x.avi"} << true << ""
                                    << ""
                                    << ".cache .hidden | .cache/x.avi";
    QTest::newRow("empty folder") << QStringList{"sub/"} << true << ""
                                  << ""
                                  << "sub";
    QTest::newRow("level by level") << QStringList{"a/b/c/d.avi", "e.avi"} << true << ""
                                    << ""
                                    << "a e.avi | a/b | a/b/c | a/b/c/d.avi";
}

void TestSearchFile::search()
{
    QFETCH(QStringList, tree);
    QFETCH(bool, recursive);
    QFETCH(QString, suffix);
    QFETCH(QString, pattern);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    MakeTree(dir.path(), tree);
    TSearchFile search;
    Recorder rec(search, dir.path());
    search.SetDirectory(dir.path() + suffix);
    search.SetRecursive(recursive);
    search.SetSearchName(pattern);
    QVERIFY(search.Search());
    CompareGroups(rec.names, expected);
    for (QObject *sender : std::as_const(rec.senders))
        QCOMPARE(sender, &search);
    QVERIFY(!search.Busy());
}

void TestSearchFile::entryData()
{
    QTemporaryDir dir;
    WriteFile(dir.path(), "clip.avi", "12345");
    WriteFile(dir.path(), ".hidden", "");
    QVERIFY(QDir().mkpath(dir.path() + "/sub"));
    QFile big(dir.path() + "/big.bin");
    QVERIFY(big.open(QIODevice::WriteOnly));
    QVERIFY(big.resize(qint64(5) * 1000 * 1000 * 1000)); // above 32 bits
    big.close();
    QFile::setPermissions(dir.path() + "/clip.avi", QFile::ReadOwner);

    TSearchFile search;
    Recorder rec(search, dir.path());
    search.SetDirectory(dir.path());
    QVERIFY(search.Search());
    QCOMPARE(rec.names.size(), 4);
    auto find = [&](const QString &name) { return rec.data.at(rec.names.indexOf(name)); };

    const TSearchFileData clip = find("clip.avi");
    QCOMPARE(clip.FileName, QString("clip.avi"));
    QCOMPARE(clip.ShortName, QString("clip.avi"));
    QCOMPARE(clip.Size, qint64(5));
    QVERIFY(clip.IsArchive && !clip.IsDirectory && !clip.IsHidden && !clip.IsSystem);
    QVERIFY(clip.IsReadOnly);
    QVERIFY(!clip.Reserved);
    QVERIFY(clip.LastWriteTimeValid && clip.CreationTimeValid && clip.LastAccessTimeValid);
    QCOMPARE(clip.LastWriteTime.time().second() % 2, 0);
    QVERIFY(qAbs(clip.LastWriteTime.secsTo(QDateTime::currentDateTime())) < 10);
    // The local wall-clock time, as the file manager shows it.
    QVERIFY(qAbs(clip.LastWriteTime.toLocalTime().time().secsTo(clip.LastWriteTime.time())) < 1);

    QCOMPARE(find("big.bin").Size, qint64(5000000000));
    QVERIFY(find(".hidden").IsHidden);
    const TSearchFileData sub = find("sub");
    QVERIFY(sub.IsDirectory && !sub.IsArchive);
    QCOMPARE(sub.FileName, QString("sub"));
}

void TestSearchFile::walkIsBreadthFirst()
{
    QTemporaryDir dir;
    MakeTree(dir.path(), {"a/x/z/", "b/y/", "c/", "file.avi"});
    TSearchDir walk;
    QStringList met;
    connect(&walk, &TSearchDir::OnFind, this,
            [&](QObject *, const QString &name, const TSearchFileData &data, bool &ignore, bool &) {
                QVERIFY(data.IsDirectory);
                QVERIFY(!ignore);
                met << (name == dir.path() ? QString() : name.mid(dir.path().size() + 1));
            });
    walk.SetBaseDir(dir.path() + "/");
    QVERIFY(walk.Search());
    QStringList sorted = met;
    sorted.sort();
    QCOMPARE(sorted, (QStringList{"", "a", "a/x", "a/x/z", "b", "b/y", "c"}));
    QCOMPARE(met.first(), QString());
    for (int i = 1; i < met.size(); ++i)
        QVERIFY2(Depth(met[i - 1]) <= Depth(met[i]), qPrintable(met.join(", ")));
    // Children follow the order of their parents.
    QCOMPARE(met.indexOf("a") < met.indexOf("b"), met.indexOf("a/x") < met.indexOf("b/y"));
}

void TestSearchFile::findDirFlags_data()
{
    QTest::addColumn<QString>("folder"); // the folder the flag is set for, "" the base
    QTest::addColumn<bool>("skip");
    QTest::addColumn<bool>("ignoreSubDir");
    QTest::addColumn<QStringList>("found");
    QTest::addColumn<QStringList>("folders"); // those met by OnFindDir

    const QStringList all{"", "sub", "sub/deep"};
    QTest::newRow("no flags") << "" << false << false
                              << QStringList{"a.avi", "sub", "sub/b.avi", "sub/deep",
                                             "sub/deep/c.avi"}
                              << all;
    QTest::newRow("skip sub") << "sub" << true << false
                              << QStringList{"a.avi", "sub", "sub/deep/c.avi"} << all;
    QTest::newRow("ignore below sub")
        << "sub" << false << true << QStringList{"a.avi", "sub", "sub/b.avi", "sub/deep"}
        << QStringList{"", "sub"};
    QTest::newRow("skip base") << "" << true << false
                               << QStringList{"sub/b.avi", "sub/deep", "sub/deep/c.avi"} << all;
    QTest::newRow("ignore below base")
        << "" << false << true << QStringList{"a.avi", "sub"} << QStringList{""};
    QTest::newRow("skip and ignore sub")
        << "sub" << true << true << QStringList{"a.avi", "sub"} << QStringList{"", "sub"};
}

void TestSearchFile::findDirFlags()
{
    QFETCH(QString, folder);
    QFETCH(bool, skip);
    QFETCH(bool, ignoreSubDir);
    QFETCH(QStringList, found);
    QFETCH(QStringList, folders);

    QTemporaryDir dir;
    MakeTree(dir.path(), {"a.avi", "sub/b.avi", "sub/deep/c.avi"});
    TSearchFile search;
    Recorder rec(search, dir.path());
    QStringList met;
    connect(&search, &TSearchFile::OnFindDir, this,
            [&](QObject *sender, const QString &name, const TSearchFileData &data, bool &Skip,
                bool &IgnoreSubDir) {
                QCOMPARE(sender, &search);
                QVERIFY(!Skip && !IgnoreSubDir);
                QVERIFY(data.IsDirectory);
                const QString relative = rec.Relative(name);
                met << relative;
                if (relative == folder) {
                    Skip = skip;
                    IgnoreSubDir = ignoreSubDir;
                }
            });
    search.SetDirectory(dir.path());
    search.SetRecursive(true);
    QVERIFY(search.Search());
    QStringList names = rec.names;
    names.sort();
    QCOMPARE(names, found);
    met.sort();
    QCOMPARE(met, folders);
}

void TestSearchFile::continueFalseStopsAtOnce()
{
    QTemporaryDir dir;
    MakeTree(dir.path(), {"a.avi", "b.avi", "c.avi", "sub/d.avi"});
    TSearchFile search;
    search.SetDirectory(dir.path());
    search.SetRecursive(true);
    {
        Recorder rec(search, dir.path());
        rec.onFind = [](const QString &, bool &Continue) { Continue = false; };
        QVERIFY(!search.Search());
        QCOMPARE(rec.names.size(), 1);
        QVERIFY(!search.Busy());
    }
    Recorder again(search, dir.path());
    QVERIFY(search.Search());
    QCOMPARE(again.names.size(), 5);

    // The walker stops the same way, after the base.
    TSearchDir walk;
    int calls = 0;
    connect(&walk, &TSearchDir::OnFind, this,
            [&](QObject *, const QString &, const TSearchFileData &, bool &, bool &Continue) {
                ++calls;
                Continue = false;
            });
    walk.SetBaseDir(dir.path());
    QVERIFY(!walk.Search());
    QCOMPARE(calls, 1);
}

void TestSearchFile::withoutOnFindNothingIsTouched()
{
    QTemporaryDir dir;
    MakeTree(dir.path(), {"a.avi", "sub/b.avi"});
    TSearchFile search;
    int dirCalls = 0;
    connect(
        &search, &TSearchFile::OnFindDir, this,
        [&](QObject *, const QString &, const TSearchFileData &, bool &, bool &) { ++dirCalls; });
    search.SetDirectory(dir.path());
    search.SetRecursive(true);
    QVERIFY(!search.Search());
    QCOMPARE(dirCalls, 0);

    TSearchDir walk;
    walk.SetBaseDir(dir.path());
    QVERIFY(!walk.Search());
}

void TestSearchFile::missingDirectory_data()
{
    QTest::addColumn<bool>("recursive");
    QTest::newRow("recursive") << true;
    QTest::newRow("flat") << false;
}

void TestSearchFile::missingDirectory()
{
    QFETCH(bool, recursive);
    QTemporaryDir dir;
    TSearchFile search;
    Recorder rec(search, dir.path());
    search.SetDirectory(dir.path() + "/missing");
    search.SetRecursive(recursive);
    QVERIFY(search.Search());
    QVERIFY(rec.names.isEmpty());

    TSearchDir walk;
    int calls = 0;
    connect(&walk, &TSearchDir::OnFind, this,
            [&](QObject *, const QString &, const TSearchFileData &, bool &, bool &) { ++calls; });
    walk.SetBaseDir(dir.path() + "/missing");
    QVERIFY(!walk.Search());
    QCOMPARE(calls, 0);
}

void TestSearchFile::reentryRefused()
{
    QTemporaryDir dir;
    MakeTree(dir.path(), {"a.avi", "sub/b.avi"});
    TSearchFile search;
    Recorder rec(search, dir.path());
    int refused = 0;
    rec.onFind = [&](const QString &, bool &) {
        QVERIFY(search.Busy());
        refused += search.Search() ? 0 : 1;
    };
    connect(&search, &TSearchFile::OnFindDir, this,
            [&](QObject *, const QString &, const TSearchFileData &, bool &, bool &) {
                refused += search.Search() ? 0 : 1;
            });
    search.SetDirectory(dir.path());
    search.SetRecursive(true);
    QVERIFY(search.Search());
    QCOMPARE(rec.names.size(), 3);
    QCOMPARE(refused, 3 + 2);

    TSearchDir walk;
    int walkRefused = 0;
    connect(&walk, &TSearchDir::OnFind, this,
            [&](QObject *, const QString &, const TSearchFileData &, bool &, bool &) {
                walkRefused += walk.Search() ? 0 : 1;
            });
    walk.SetBaseDir(dir.path());
    QVERIFY(walk.Search());
    QCOMPARE(walkRefused, 2);
}

namespace {
class Thrower : public QObject
{
public:
    void Find(QObject *, const QString &, const TSearchFileData &, bool &)
    {
        if (++calls == 2)
            Raise();
    }
    void FindDir(QObject *, const QString &, const TSearchFileData &, bool &, bool &)
    {
        if (++calls == 2)
            Raise();
    }
    void Raise()
    {
        if (silent)
            throw EAbort();
        throw Exception("Disk on fire");
    }
    int calls = 0;
    bool silent = false;
};
} // namespace

void TestSearchFile::handlerFailure_data()
{
    QTest::addColumn<bool>("inFindDir");
    QTest::addColumn<bool>("silent");
    QTest::newRow("OnFind raises") << false << false;
    QTest::newRow("OnFindDir raises") << true << false;
    QTest::newRow("OnFind aborts silently") << false << true;
}

void TestSearchFile::handlerFailure()
{
    QFETCH(bool, inFindDir);
    QFETCH(bool, silent);
    QTemporaryDir dir;
    MakeTree(dir.path(), {"a.avi", "b.avi", "sub/c.avi", "sub/deeper/d.avi"});
    TSearchFile search;
    search.SetDirectory(dir.path());
    search.SetRecursive(true);
    Thrower thrower;
    thrower.silent = silent;
    if (inFindDir) {
        connect(&search, &TSearchFile::OnFind, this,
                [](QObject *, const QString &, const TSearchFileData &, bool &) {});
        connect(&search, &TSearchFile::OnFindDir, &thrower, Relayed(&thrower, &Thrower::FindDir));
    } else {
        connect(&search, &TSearchFile::OnFind, &thrower, Relayed(&thrower, &Thrower::Find));
    }
    if (silent) {
        QVERIFY(!search.Search());
    } else {
        QString message;
        try {
            search.Search();
        } catch (const Exception &e) {
            message = e.message();
        }
        QCOMPARE(message, QString("Disk on fire"));
    }
    QCOMPARE(thrower.calls, 2); // the failure ended the search at once
    QVERIFY(!search.Busy());
    thrower.calls = -100;
    QVERIFY(search.Search()); // a failure is not kept for the next search
}

void TestSearchFile::linkLoopEnds()
{
    QTemporaryDir dir;
    QTemporaryDir outside;
    MakeTree(outside.path(), {"x.avi"});
    MakeTree(dir.path(), {"a.avi", "sub/b.avi", "sub/up -> ..", "sub/self -> .",
                          "ext -> " + outside.path(), "ext2 -> " + outside.path()});
    TSearchFile search;
    Recorder rec(search, dir.path());
    int foldersSearched = 0;
    connect(&search, &TSearchFile::OnFindDir, this,
            [&](QObject *, const QString &, const TSearchFileData &, bool &, bool &) {
                ++foldersSearched;
            });
    search.SetDirectory(dir.path());
    search.SetRecursive(true);
    QVERIFY(search.Search());

    // Links are entries like any folder; what they lead to is searched once.
    QStringList names = rec.names;
    names.sort();
    const bool viaExt = names.contains("ext/x.avi");
    QCOMPARE(names, (QStringList{"a.avi", "ext", "ext2", viaExt ? "ext/x.avi" : "ext2/x.avi", "sub",
                                 "sub/b.avi", "sub/self", "sub/up"}));
    for (const char *link : {"sub/up", "sub/self", "ext"})
        QVERIFY(rec.data.at(rec.names.indexOf(link)).IsDirectory);
    QCOMPARE(foldersSearched, 3); // the base, sub and the outside folder
}

void TestSearchFile::longPathWhole()
{
    QTemporaryDir dir;
    QString relative;
    for (char c : {'a', 'b', 'c', 'd'})
        relative += QString(80, QLatin1Char(c)) + '/';
    relative += QString::fromUtf8("長い名前の動画ファイル.avi");
    const QString full = WriteFile(dir.path(), relative, "x");
    QVERIFY(full.size() > 300);

    TSearchFile search;
    Recorder rec(search, dir.path());
    search.SetDirectory(dir.path());
    search.SetRecursive(true);
    QVERIFY(search.Search());
    QVERIFY(rec.names.contains(relative));
    QCOMPARE(rec.data.at(rec.names.indexOf(relative)).Size, qint64(1));

    Recorder flat(search, dir.path());
    rec.names.clear();
    search.SetRecursive(false);
    search.SetDirectory(QFileInfo(full).path());
    QVERIFY(search.Search());
    QCOMPARE(flat.names, QStringList{relative});
}

void TestSearchFile::vanishedEntries()
{
    QTemporaryDir dir;
    MakeTree(dir.path(), {"a.avi", "b.avi", "c.avi", "sub/d.avi", "sub/deep/e.avi"});
    TSearchFile search;
    Recorder rec(search, dir.path());
    rec.onFind = [&](const QString &, bool &) {
        if (rec.names.size() == 1) {
            // Everything else vanishes after the walk and the first listing.
            QVERIFY(QDir(dir.path() + "/sub").removeRecursively());
            for (const char *f : {"a.avi", "b.avi", "c.avi"})
                QFile::remove(dir.path() + '/' + QLatin1String(f));
        }
    };
    search.SetDirectory(dir.path());
    search.SetRecursive(true);
    QVERIFY(search.Search());
    for (const QString &name : std::as_const(rec.names))
        QVERIFY2(!name.startsWith("sub/"), qPrintable(name));
    QVERIFY(rec.names.size() <= 4);
}

void TestSearchFile::unreadableFolderPassedOver()
{
    QTemporaryDir dir;
    if (geteuid() == 0) {
        // Root reads every folder: an ordinary user makes the walk.
        const NobodyRun run = RunAsNobody("unreadableFolderPassedOver");
        if (!run.started)
            QSKIP(qPrintable(run.whyNot));
        QVERIFY2(run.passed, qPrintable(run.output));
        return;
    }
    MakeTree(dir.path(), {"a.avi", "closed/b.avi", "open/c.avi"});
    const QString closed = dir.path() + "/closed";
    QVERIFY(QFile::setPermissions(closed, QFileDevice::Permissions()));
    if (!QDir(closed).entryList(QDir::Files).isEmpty()) {
        QFile::setPermissions(closed, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
        QSKIP("permissions are not enforced for this user");
    }
    TSearchFile search;
    Recorder rec(search, dir.path());
    search.SetDirectory(dir.path());
    search.SetRecursive(true);
    QVERIFY(search.Search());
    QFile::setPermissions(closed,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QStringList names = rec.names;
    names.sort();
    QCOMPARE(names, (QStringList{"a.avi", "closed", "open", "open/c.avi"}));
}

int main(int argc, char *argv[])
{
    DropToNobodyWhenAsked(argc, argv);
    QCoreApplication app(argc, argv);
    TestSearchFile test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_searchfile.moc"
