#include "Files.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

class TestFiles : public QObject
{
    Q_OBJECT

private slots:
    void lookUp();
    void lookUpRootAndMissing();
    void listFolder();
    void listSubFolders();
    void localTimes();
    void pattern_data();
    void pattern();
    void sizeOfBigSparseFile();
    void sizeOfPipeDoesNotBlock();
    void forceDirectoriesAndDelete();
    void sameFileFollowsLinks();
};

void TestFiles::lookUp()
{
    QTemporaryDir dir;
    const QString file = WriteFile(dir.path(), "clip.avi", "12345");
    auto e = LookUpPath(file);
    QVERIFY(e);
    QCOMPARE(e->name, QString("clip.avi"));
    QCOMPARE(e->size, 5);
    QVERIFY(!e->isDirectory);
    QVERIFY(e->isArchive);
    QVERIFY(!e->isHidden);
    QVERIFY(e->lastWriteTimeValid);
    QCOMPARE(e->lastWriteTime.time().second() % 2, 0);
    QVERIFY(qAbs(e->lastWriteTime.secsTo(QDateTime::currentDateTime())) < 10);

    auto d = LookUpPath(dir.path() + "/");
    QVERIFY(d);
    QVERIFY(d->isDirectory);
    QCOMPARE(d->name, QFileInfo(dir.path()).fileName());

    const QString hidden = WriteFile(dir.path(), ".hidden", "");
    QVERIFY(LookUpPath(hidden)->isHidden);
    QFile::setPermissions(file, QFile::ReadOwner);
    QVERIFY(LookUpPath(file)->isReadOnly);
}

void TestFiles::lookUpRootAndMissing()
{
    QVERIFY(!LookUpPath("/"));
    QVERIFY(!LookUpPath("//"));
    QVERIFY(!LookUpPath(""));
    QVERIFY(!LookUpPath("/no/such/path/at/all"));
    QVERIFY(DirectoryExists("/"));
}

void TestFiles::listFolder()
{
    QTemporaryDir dir;
    WriteFile(dir.path(), "a.avi", "a");
    WriteFile(dir.path(), "noext", "b");
    WriteFile(dir.path(), "sub/b.avi", "c");
    auto entries = ListFolder(dir.path(), "*.*");
    QStringList names;
    for (const auto &e : entries)
        names << e.name;
    names.sort();
    QCOMPARE(names, (QStringList{".", "..", "a.avi", "noext", "sub"}));
    const auto sub = std::find_if(entries.begin(), entries.end(), [](const FileEntry &e) { return e.name == "sub"; });
    QVERIFY(sub->isDirectory);
    QCOMPARE(ListFolder(dir.path(), "*.avi").size(), size_t(1));
    QVERIFY(ListFolder(dir.path() + "/missing", "*.*").empty());
}

void TestFiles::listSubFolders()
{
    QTemporaryDir dir;
    WriteFile(dir.path(), "a.avi", "a");
    WriteFile(dir.path(), "sub/b.avi", "b");
    WriteFile(dir.path(), ".hid/c.avi", "c");
    QVERIFY(QFile::link(dir.path() + "/sub", dir.path() + "/tosub"));
    QVERIFY(QFile::link(dir.path() + "/a.avi", dir.path() + "/tofile"));
    QVERIFY(QFile::link(dir.path() + "/gone", dir.path() + "/dangling"));
    QStringList names;
    for (const auto &e : ListSubFolders(dir.path())) {
        QVERIFY(e.isDirectory);
        names << e.name;
    }
    names.sort();
    QCOMPARE(names, (QStringList{".hid", "sub", "tosub"}));
    const auto entries = ListSubFolders(dir.path() + "/");
    auto named = [&](const char *name) {
        return std::find_if(entries.begin(), entries.end(),
                            [&](const FileEntry &e) { return e.name == name; });
    };
    const auto sub = named("sub");
    const auto link = named("tosub");
    QVERIFY(link->isLink && !sub->isLink);
    QCOMPARE(link->inode, sub->inode); // the identity of what the link leads to
    QCOMPARE(link->device, sub->device);
    QVERIFY(ListSubFolders(dir.path() + "/missing").empty());
}

void TestFiles::localTimes()
{
    QTemporaryDir dir;
    const QString file = WriteFile(dir.path(), "t.avi", "t");
    // 2001-02-03 04:05:07 local: the odd second is rounded down.
    const QDateTime when(QDate(2001, 2, 3), QTime(4, 5, 7));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.setFileTime(when, QFileDevice::FileModificationTime));
    f.close();
    const auto e = LookUpPath(file);
    QVERIFY(e->lastWriteTimeValid);
    QCOMPARE(e->lastWriteTime, when.addSecs(-1));
    QCOMPARE(e->lastWriteTime.date(), QDate(2001, 2, 3));
    QCOMPARE(e->lastWriteTime.time(), QTime(4, 5, 6));
    // Outside the years 1980 to 2107 a time is not valid.
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.setFileTime(QDateTime(QDate(1975, 1, 1), QTime(12, 0)),
                          QFileDevice::FileModificationTime));
    f.close();
    QVERIFY(!LookUpPath(file)->lastWriteTimeValid);
}

void TestFiles::pattern_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("match");
    QTest::newRow("star dot star, no dot") << "README" << "*.*" << true;
    QTest::newRow("star") << "x.y" << "*" << true;
    QTest::newRow("extension") << "clip.AVI" << "*.avi" << true;
    QTest::newRow("other extension") << "clip.mp4" << "*.avi" << false;
    QTest::newRow("question") << "a1.txt" << "a?.txt" << true;
    QTest::newRow("question needs one") << "a.txt" << "a?.txt" << false;
    QTest::newRow("star in middle") << "abcXYZdef" << "abc*def" << true;
    QTest::newRow("japanese") << QString::fromUtf8("動画.avi") << QString::fromUtf8("動*") << true;
}

void TestFiles::pattern()
{
    QFETCH(QString, name);
    QFETCH(QString, pattern);
    QFETCH(bool, match);
    QCOMPARE(MatchesPattern(name, pattern), match);
}

void TestFiles::sizeOfBigSparseFile()
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/big.bin";
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QVERIFY(f.resize(qint64(3) * 1000 * 1000 * 1000));
    f.close();
    QCOMPARE(FileSize64(path), qint64(3000000000));
    QCOMPARE(LookUpPath(path)->size, qint64(3000000000));
    QCOMPARE(FileSize64(dir.path() + "/none"), qint64(-1));
    QCOMPARE(FileSize64(QString()), qint64(-1));
}

void TestFiles::sizeOfPipeDoesNotBlock()
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/fifo";
    QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    QCOMPARE(FileSize64(path), qint64(0));
    QVERIFY(LookUpPath(path)->isSystem);
}

void TestFiles::forceDirectoriesAndDelete()
{
    QTemporaryDir dir;
    const QString deep = dir.path() + QString::fromUtf8("/a/b c/動画");
    QVERIFY(ForceDirectories(deep));
    QVERIFY(DirectoryExists(deep));
    QVERIFY(ForceDirectories(deep));
    QVERIFY(!ForceDirectories(QString()));
    const QString file = WriteFile(deep, "x.3gp", "1");
    QVERIFY(ForceDirectories(file) == false);
    QVERIFY(DeleteFile(file));
    QVERIFY(!FileExists(file));
    QVERIFY(!DeleteFile(file));
}

void TestFiles::sameFileFollowsLinks()
{
    QTemporaryDir dir;
    const QString a = WriteFile(dir.path(), "clip.3gp", "1");
    QVERIFY(QFile::link(a, dir.path() + "/link.3gp"));
    QVERIFY(SameFile(a, dir.path() + "/link.3gp"));
    QVERIFY(SameFile(a, dir.path() + "/./clip.3gp"));
    QVERIFY(!SameFile(a, dir.path() + "/other.3gp"));
}

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
