#include "Errors.h"
#include "FileNames.h"
#include "Files.h"
#include "SearchFile.h"
#include "SortedListBox.h"
#include "SourceList.h"
#include "TestSupport.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStyledItemDelegate>
#include <QTest>
#include <QUrl>

#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {
// The main window's part in the source list: the list, the drop panel, the
// convert button and the search component.
struct Window
{
    Window()
        : ListBox1(new TSortedListBox(&form)), Panel11(new QWidget(&form)),
          Button10(new QWidget(&form)), SearchFile1(new TSearchFile(&form)),
          list(ListBox1, Panel11, Button10, SearchFile1)
    {
        ListBox1->setObjectName("ListBox1");
        // The form's design state.
        Button10->setEnabled(false);
    }

    bool Filled() const { return Panel11->isHidden() && Button10->isEnabled(); }
    bool Empty() const { return !Panel11->isHidden() && !Button10->isEnabled(); }

    QWidget form;
    TSortedListBox *ListBox1;
    QWidget *Panel11;
    QWidget *Button10;
    TSearchFile *SearchFile1;
    TSourceList list;
};

std::unique_ptr<QMimeData> Drop(const QStringList &paths, const QList<QUrl> &extra = {})
{
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString &p : paths)
        urls << QUrl::fromLocalFile(p);
    data->setUrls(urls + extra);
    return data;
}

QStringList Prefixed(const QString &root, const QStringList &relative)
{
    QStringList out;
    for (const QString &r : relative)
        out << (r.startsWith('/') ? r : root + '/' + r);
    return out;
}

// A file written by its name's bytes, which need not be UTF-8.
void WriteRaw(const QString &dir, const QString &relative)
{
    const QString path = dir + '/' + relative;
    QDir().mkpath(dir + '/' + relative.section('/', 0, -2));
    const int fd = open(EncodeFileName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY(fd >= 0 && write(fd, "x", 1) == 1);
    close(fd);
}

QString LongName()
{
    QString relative;
    for (char c : {'p', 'q', 'r'})
        relative += QString(90, QLatin1Char(c)) + '/';
    return relative + QString::fromUtf8("とても長い名前.avi");
}
} // namespace

class TestSourceList : public QObject
{
    Q_OBJECT

private slots:
    void sortOrder_data();
    void sortOrder();
    void countItemClear();
    void largeMergeIsSorted();
    void addSourcePath_data();
    void addSourcePath();
    void dropTwoFilesThenDuplicate();
    void dropMixInOneMerge();
    void clearShowsPanelAndDisablesButton();
    void acceptsDrop_data();
    void acceptsDrop();
    void commandLinePaths();
};

void TestSourceList::sortOrder_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("batches"); // "a,b|c": entries added in steps
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("case ignored, C")
        << "C"
        << "b.avi,A.avi,B.avi,a.avi" << QStringList{"A.avi", "a.avi", "B.avi", "b.avi"};
    QTest::newRow("case ignored, English")
        << "en_US"
        << "b.avi|a.avi,B.avi|A.avi" << QStringList{"A.avi", "a.avi", "B.avi", "b.avi"};
    QTest::newRow("accents by the locale")
        << "en_US" << QString::fromUtf8("f.avi,é.avi,z.avi,e.avi")
        << QStringList{"e.avi", QString::fromUtf8("é.avi"), "f.avi", "z.avi"};
    QTest::newRow("kana by the locale")
        << "ja_JP" << QString::fromUtf8("か.avi|ア.avi,あ.avi|き.avi")
        << QStringList{QString::fromUtf8("あ.avi"), QString::fromUtf8("ア.avi"),
                       QString::fromUtf8("か.avi"), QString::fromUtf8("き.avi")};
    QTest::newRow("duplicates side by side")
        << "en_US"
        << "/v/b.avi,/v/a.avi|/v/a.avi|/v/c.avi,/v/b.avi"
        << QStringList{"/v/a.avi", "/v/a.avi", "/v/b.avi", "/v/b.avi", "/v/c.avi"};
    QTest::newRow("order of drops does not matter")
        << "C"
        << "d|a|C|c,b" << QStringList{"a", "b", "C", "c", "d"};
}

void TestSourceList::sortOrder()
{
    QFETCH(QString, locale);
    QFETCH(QString, batches);
    QFETCH(QStringList, expected);

    TSortedListBox list;
    list.setLocale(QLocale(locale));
    QStringList all;
    for (const QString &batch : batches.split('|')) {
        list.AddItems(batch.split(','));
        all += batch.split(',');
    }
    QCOMPARE(list.Items(), expected);
    QCOMPARE(SortListTexts(all, QLocale(locale)), expected);
    std::reverse(all.begin(), all.end());
    QCOMPARE(SortListTexts(all, QLocale(locale)), expected);
}

void TestSourceList::countItemClear()
{
    TSortedListBox list;
    list.BeginUpdate();
    list.Add("b");
    list.Add("a");
    QCOMPARE(list.Count(), 2);
    QCOMPARE(list.model()->rowCount(), 0); // still collected
    list.EndUpdate();
    QCOMPARE(list.model()->rowCount(), 2);
    QCOMPARE(list.Item(0), QString("a"));
    QCOMPARE(list.Item(1), QString("b"));
    QVERIFY_THROWS_EXCEPTION(EListError, list.Item(2));
    QVERIFY_THROWS_EXCEPTION(EListError, list.Item(-1));
    list.Clear();
    QCOMPARE(list.Count(), 0);
    QCOMPARE(list.model()->rowCount(), 0);
}

void TestSourceList::largeMergeIsSorted()
{
    const QLocale locale("en_US");
    QRandomGenerator random(7);
    QStringList all;
    TSortedListBox list;
    list.setLocale(locale);
    for (int batch = 0; batch < 3; ++batch) {
        QStringList texts;
        for (int i = 0; i < 5000; ++i) {
            QString t;
            for (int n = 0, len = 1 + int(random.bounded(6)); n < len; ++n)
                t += QString::fromUtf8("aAbBéÉ _/-1")[int(random.bounded(11))];
            texts << t;
        }
        all += texts;
        list.AddItems(texts);
    }
    const QStringList items = list.Items();
    QCOMPARE(items.size(), all.size());
    for (int i = 1; i < items.size(); ++i)
        QVERIFY2(CompareListTexts(items[i - 1], items[i], locale) <= 0,
                 qPrintable(items[i - 1] + " > " + items[i]));
    QCOMPARE(items, SortListTexts(all, locale));
}

void TestSourceList::addSourcePath_data()
{
    QTest::addColumn<QStringList>("tree"); // "x/" folder, "x -> target" link, else a file
    QTest::addColumn<QString>("path");     // below the test folder unless absolute
    QTest::addColumn<QStringList>("expected");

    const QStringList folder{"top/a.avi", "top/sub/b.avi"};
    QTest::newRow("file") << QStringList{"a.avi"} << "a.avi" << QStringList{"a.avi"};
    QTest::newRow("file as written") << folder << "top/./a.avi" << QStringList{"top/./a.avi"};
    QTest::newRow("folder") << folder << "top"
                            << QStringList{"top/a.avi", "top/sub", "top/sub/b.avi"};
    QTest::newRow("folder with slash")
        << folder << "top/" << QStringList{"top/a.avi", "top/sub", "top/sub/b.avi"};
    QTest::newRow("every entry, hidden ones too")
        << QStringList{"top/.hidden", "top/.cache/x.jpg", "top/notes.txt"} << "top"
        << QStringList{"top/.cache", "top/.cache/x.jpg", "top/.hidden", "top/notes.txt"};
    QTest::newRow("empty folder") << QStringList{"top/"} << "top" << QStringList{};
    QTest::newRow("missing") << folder << "nothing.avi" << QStringList{};
    QTest::newRow("root") << folder << "/" << QStringList{};
    QTest::newRow("root written otherwise") << folder << "/." << QStringList{};
    QTest::newRow("link to the root") << QStringList{"r -> /"} << "r" << QStringList{};
    QTest::newRow("long path") << QStringList{LongName()} << LongName() << QStringList{LongName()};
    QTest::newRow("long path in a folder")
        << QStringList{LongName()} << LongName().section('/', 0, 0)
        << QStringList{LongName().section('/', 0, 1), LongName().section('/', 0, 2), LongName()};
    // Kept with their bytes (Latin-1, Shift-JIS), shown readably.
    const QString latin1 = DecodeFileName("top/caf\xE9.avi");
    const QString sjis = DecodeFileName("top/\x93\xFA\x96\x7B.avi");
    QTest::newRow("names that are not UTF-8")
        << QStringList{latin1, sjis} << "top" << QStringList{latin1, sjis};
}

void TestSourceList::addSourcePath()
{
    QFETCH(QStringList, tree);
    QFETCH(QString, path);
    QFETCH(QStringList, expected);

    QTemporaryDir dir;
    // QTemporaryDir cannot remove a name that is not UTF-8.
    struct RemoveAll
    {
        QString path;
        ~RemoveAll() { QProcess::execute("rm", {"-rf", "--", path}); }
    } removeAll{dir.path()};
    for (const QString &item : tree) {
        const int arrow = item.indexOf(" -> ");
        if (arrow >= 0)
            QVERIFY(QFile::link(item.mid(arrow + 4), dir.path() + '/' + item.left(arrow)));
        else if (item.endsWith('/'))
            QVERIFY(QDir().mkpath(dir.path() + '/' + item));
        else
            WriteRaw(dir.path(), item);
    }
    Window w;
    w.list.AddSourcePath(path.startsWith('/') ? path : dir.path() + '/' + path);
    const QStringList want = Prefixed(dir.path(), expected);
    QCOMPARE(w.ListBox1->Items(), want);
    QCOMPARE(w.ListBox1->Count(), int(want.size()));
    if (want.isEmpty())
        QVERIFY(w.Empty());
    else
        QVERIFY(w.Filled());
    const auto *delegate = qobject_cast<QStyledItemDelegate *>(w.ListBox1->itemDelegate());
    for (const QString &entry : want) {
        QVERIFY2(LookUpPath(entry), qPrintable(entry));
        // The list shows a name that is not UTF-8 readably.
        QCOMPARE(delegate->displayText(entry, QLocale()), ReadableFileName(entry));
    }
}

void TestSourceList::dropTwoFilesThenDuplicate()
{
    QTemporaryDir dir;
    const QString a = WriteFile(dir.path(), "Alpha.avi", "a");
    const QString b = WriteFile(dir.path(), "beta.avi", "b");
    Window w;
    QVERIFY(w.Empty());
    w.list.DropFiles(Drop({b, a}).get());
    QCOMPARE(w.ListBox1->Items(), (QStringList{a, b}));
    QVERIFY(w.Filled());
    w.list.DropFiles(Drop({a}).get());
    QCOMPARE(w.ListBox1->Items(), (QStringList{a, a, b}));
}

void TestSourceList::dropMixInOneMerge()
{
    QTemporaryDir dir;
    const QString file = WriteFile(dir.path(), "m.avi", "m");
    WriteFile(dir.path(), "f1/x.avi", "x");
    WriteFile(dir.path(), "f2/y/z.avi", "z");
    const QString root = dir.path() + '/';
    Window w;
    QSignalSpy resets(w.ListBox1->model(), &QAbstractItemModel::modelReset);
    w.list.DropFiles(Drop({root + "f2", file, root + "missing.avi", root + "f1", file},
                          {QUrl("https://example.com/clip.avi")})
                         .get());
    QCOMPARE(w.ListBox1->Items(),
             Prefixed(dir.path(), {"f1/x.avi", "f2/y", "f2/y/z.avi", "m.avi", "m.avi"}));
    QCOMPARE(resets.count(), 1); // the whole drop merged in one step
    QVERIFY(w.Filled());
}

void TestSourceList::clearShowsPanelAndDisablesButton()
{
    QTemporaryDir dir;
    const QString file = WriteFile(dir.path(), "clip.avi", "c");
    Window w;
    w.list.DropFiles(Drop({dir.path()}).get());
    QCOMPARE(w.ListBox1->Count(), 1);
    QVERIFY(w.Filled());
    w.list.Button5Click();
    QCOMPARE(w.ListBox1->Count(), 0);
    QVERIFY(w.Empty());
    w.list.DropFiles(Drop({dir.path() + "/missing"}).get());
    QVERIFY(w.Empty()); // a drop that adds nothing changes nothing
    w.list.DropFiles(Drop({file}).get());
    QCOMPARE(w.ListBox1->Items(), QStringList{file});
    QVERIFY(w.Filled());
}

void TestSourceList::acceptsDrop_data()
{
    QTest::addColumn<QList<QUrl>>("urls");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("paths");
    QTest::newRow("local files, in order")
        << QList<QUrl>{QUrl::fromLocalFile("/v/b.avi"), QUrl::fromLocalFile("/v/a b.avi")} << ""
        << QStringList{"/v/b.avi", "/v/a b.avi"};
    QTest::newRow("web address only")
        << QList<QUrl>{QUrl("https://example.com/a.avi")} << "" << QStringList{};
    QTest::newRow("text only") << QList<QUrl>{} << "/v/a.avi" << QStringList{};
    QTest::newRow("mixed") << QList<QUrl>{QUrl("ftp://h/a.avi"), QUrl::fromLocalFile("/v/c.avi")}
                           << "" << QStringList{"/v/c.avi"};
    // The desktop percent-encodes a name's bytes; they are kept as they are.
    QTest::newRow("names that are not UTF-8")
        << QList<QUrl>{QUrl("file:///v/caf%E9.avi"), QUrl("file:///v/%93%FA%96%7B.avi")} << ""
        << QStringList{DecodeFileName("/v/caf\xE9.avi"), DecodeFileName("/v/\x93\xFA\x96\x7B.avi")};
}

void TestSourceList::acceptsDrop()
{
    QFETCH(QList<QUrl>, urls);
    QFETCH(QString, text);
    QFETCH(QStringList, paths);
    QMimeData data;
    if (!urls.isEmpty())
        data.setUrls(urls);
    if (!text.isEmpty())
        data.setText(text);
    QCOMPARE(TSourceList::DroppedPaths(&data), paths);
    QCOMPARE(TSourceList::AcceptsDrop(&data), !paths.isEmpty());
}

void TestSourceList::commandLinePaths()
{
    QTemporaryDir dir;
    const QString longFile = WriteFile(dir.path(), LongName(), "l");
    const QString clip = WriteFile(dir.path(), "clip.avi", "c");
    Window w;
    w.list.AddSourcePaths({clip, longFile, dir.path() + "/none.avi"});
    QCOMPARE(w.ListBox1->Items(), (QStringList{clip, longFile}));
    QVERIFY(w.Filled());
}

QTEST_MAIN(TestSourceList)
#include "tst_sourcelist.moc"
