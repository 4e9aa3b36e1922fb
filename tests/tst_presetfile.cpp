#include "CommaText.h"
#include "Errors.h"
#include "MCCBox.h"
#include "PresetFile.h"
#include "TestSupport.h"

#include <QDir>
#include <QStringEncoder>
#include <QTest>

namespace {
const QByteArray Row1 = "a,3gp,176x144,MPEG4,15fps,128kbps,AAC,16000Hz,32kbps";
const QByteArray Row2 = "b,3gp,320x240,LIBX264,24fps,384kbps,AAC,44100Hz,96kbps";
const QByteArray Row3 = "c,3gp,640x480,LIBXVID,30fps,768kbps,AAC,48000Hz,128kbps";
const QStringList ThreeRows = {Row1, Row2, Row3};

// 携帯　標準 (with a full-width space) and 高画質 in Shift-JIS.
const QByteArray SjisName = "\x8c\x67\x91\xd1\x81\x40\x95\x57\x8f\x80";
const QByteArray SjisName2 = "\x8d\x82\x89\xe6\x8e\xbf";

int cp932Bytes(const QString &text)
{
    QStringEncoder cp932("Windows-31J");
    const QByteArray bytes = cp932.encode(text);
    return int(bytes.size());
}
} // namespace

class TestPresetFile : public QObject
{
    Q_OBJECT

private slots:
    void rows_data();
    void rows();
    void fields_data();
    void fields();
    void longLines_data();
    void longLines();
    void garbage();
    void readFile_data();
    void readFile();
    void fillsChoosers();
};

void TestPresetFile::rows_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("three rows, final break") << Row1 + "\r\n" + Row2 + "\r\n" + Row3 + "\r\n"
                                             << ThreeRows;
    QTest::newRow("three rows, no final break")
        << Row1 + "\r\n" + Row2 + "\r\n" + Row3 << ThreeRows;
    QTest::newRow("two final breaks: a fourth, empty preset")
        << Row1 + "\r\n" + Row2 + "\r\n" + Row3 + "\r\n\r\n"
        << ThreeRows + QStringList{""};
    QTest::newRow("LF only") << Row1 + "\n" + Row2 + "\n" + Row3 + "\n" << ThreeRows;
    QTest::newRow("CR only") << Row1 + "\r" + Row2 + "\r" + Row3 + "\r" << ThreeRows;
    QTest::newRow("CR, then CR LF: two breaks")
        << Row1 + "\r\r\n" + Row2 << QStringList{Row1, "", Row2};
    QTest::newRow("mixed: CR, LF, CR LF, lone LF, CR at the end")
        << Row1 + "\r" + Row2 + "\n" + Row3 + "\r\n\n" + Row1 + "\r"
        << QStringList{Row1, Row2, Row3, "", Row1};
    QTest::newRow("LF, then CR before the next LF") << Row1 + "\n" + Row2 + "\r" + Row3 + "\n"
                                                    << ThreeRows;
    QTest::newRow("empty line between rows") << Row1 + "\n\n" + Row2 << QStringList{Row1, "", Row2};
    QTest::newRow("empty file") << QByteArray() << QStringList{};
    QTest::newRow("one line break: one empty preset") << QByteArray("\r\n") << QStringList{""};
    QTest::newRow("Shift-JIS names")
        << "\"" + SjisName + "\",3gp\r\n" + SjisName2 + ",3gp\r\n"
        << QStringList{QString::fromUtf8("\"携帯　標準\",3gp"), QString::fromUtf8("高画質,3gp")};
    // A byte-order mark (as Windows editors write one) is no part of the name.
    QTest::newRow("UTF-8 with byte-order mark")
        << "\xEF\xBB\xBF" + QString::fromUtf8("携帯,3gp\n").toUtf8()
        << QStringList{QString::fromUtf8("携帯,3gp")};
    // One Shift-JIS byte anywhere decides for the whole file.
    QTest::newRow("mostly ASCII, one Shift-JIS line")
        << Row1 + "\n" + SjisName2 + "\n"
        << QStringList{Row1, QString::fromUtf8("高画質")};
}

void TestPresetFile::rows()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, expected);
    QCOMPARE(PresetRows(bytes), expected);
}

void TestPresetFile::fields_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<QStringList>("columns"); // name, extension, size
    QTest::newRow("quoted name with a blank")
        << "\"my clip\",3gp,176x144,MPEG4" << QStringList{"my clip", "3gp", "176x144"};
    QTest::newRow("unquoted name with a blank shifts the columns")
        << "my clip,3gp,176x144,MPEG4" << QStringList{"my", "clip", "3gp"};
    QTest::newRow("full-width space stays in the name")
        << QString::fromUtf8("携帯　標準,3gp,176x144")
        << QStringList{QString::fromUtf8("携帯　標準"), "3gp", "176x144"};
}

void TestPresetFile::fields()
{
    QFETCH(QString, row);
    QFETCH(QStringList, columns);
    const QStringList rows = PresetRows(row.toUtf8() + "\r\n");
    QCOMPARE(rows.size(), 1);
    for (int i = 0; i < columns.size(); ++i)
        QCOMPARE(CommaTextField(rows.first(), i), columns.at(i));
}

void TestPresetFile::longLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("utf8");
    const QByteArray ascii(5000, 'a');
    QTest::newRow("5000 bytes: the first 4096") << ascii << QString(ascii.left(4096)) << true;
    QTest::newRow("exactly 4096 bytes stay")
        << ascii.left(4096) << QString(ascii.left(4096)) << true;
    // 1 + 2 * 2048 bytes: the character across the limit is dropped whole.
    QByteArray sjis = "a";
    for (int i = 0; i < 2500; ++i)
        sjis += "\x93\xae";
    QTest::newRow("Shift-JIS: no half character")
        << sjis << "a" + QString(2047, QChar(0x52D5)) << false;
    // 3-byte characters: 1365 of them fill 4095 bytes, the next would pass 4096.
    const QByteArray utf8 = QString(2000, QChar(0x52D5)).toUtf8();
    QTest::newRow("UTF-8: no half character") << utf8 << QString(1365, QChar(0x52D5)) << true;
    // half-width katakana are one byte each in Shift-JIS
    QByteArray kana;
    for (int i = 0; i < 5000; ++i)
        kana += "\xB1";
    QTest::newRow("Shift-JIS half-width katakana") << kana << QString(4096, QChar(0xFF71)) << false;
}

void TestPresetFile::longLines()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, expected);
    QFETCH(bool, utf8);
    // The rest of the long line is lost; the next line is a row of its own.
    const QStringList rows = PresetRows(line + "\r\nnext\r\n");
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(0).size(), expected.size());
    QCOMPARE(rows.at(0), expected);
    QCOMPARE(rows.at(1), QString("next"));
    QVERIFY((utf8 ? int(rows.at(0).toUtf8().size()) : cp932Bytes(rows.at(0))) <= 4096);
}

void TestPresetFile::garbage()
{
    QByteArray bytes;
    quint32 seed = 12345;
    for (int i = 0; i < 300000; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes.append(char((seed >> 16) & 0xFF));
    }
    bytes.append(QByteArray(9000, '\x81')); // a long run of lead bytes at the end
    const QStringList rows = PresetRows(bytes);
    QVERIFY(!rows.isEmpty());
    for (const QString &row : rows) {
        QVERIFY(!row.contains('\n') && !row.contains('\r'));
        QVERIFY(cp932Bytes(row) <= 4096);
        CommaTextFields(row); // every row splits
    }
}

void TestPresetFile::readFile_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<bool>("folder");
    QTest::newRow("present") << true << false;
    QTest::newRow("missing") << false << false;
    QTest::newRow("a folder in its place") << false << true;
}

void TestPresetFile::readFile()
{
    QFETCH(bool, exists);
    QFETCH(bool, folder);
    QTemporaryDir dir;
    const QString path = PresetFilePath(dir.path());
    QCOMPARE(path, dir.path() + "/profile.txt");
    if (exists)
        WriteFile(dir.path(), "profile.txt", Row1 + "\r\n" + Row2);
    if (folder)
        QVERIFY(QDir().mkdir(path));
    try {
        const QStringList rows = ReadPresetFile(path);
        QVERIFY(exists);
        QCOMPARE(rows, (QStringList{Row1, Row2}));
    } catch (const EFOpenError &e) {
        QVERIFY(!exists);
        QCOMPARE(e.message(), QString::fromUtf8("ファイル %1 は開けません").arg(path));
    }
    QCOMPARE(PresetFilePath("/"), QString("/profile.txt"));
}

void TestPresetFile::fillsChoosers()
{
    TMultiColComboBox presets;
    FillPresetChooser(&presets, ThreeRows);
    QCOMPARE(presets.Count(), 4);
    QCOMPARE(presets.Item(0),
             QString::fromUtf8(
                 ",[拡張子],[ｻｲｽﾞ],[ｺｰﾃﾞｯｸ],[ﾌﾚｰﾑﾚｰﾄ],[ﾋﾞｯﾄﾚｰﾄ],[ｺｰﾃﾞｯｸ],[ｻﾝﾌﾟﾙﾚｰﾄ],[ﾋﾞｯﾄﾚｰﾄ]"));
    QCOMPARE(presets.Item(1), QString(Row1));
    QCOMPARE(presets.Item(3), QString(Row3));
    QCOMPARE(presets.ItemIndex(), -1);

    TMultiColComboBox codecs;
    FillCodecChooser(&codecs);
    QCOMPARE(codecs.Count(), 3);
    QCOMPARE(codecs.Item(0), QString("LIBX264"));
    QCOMPARE(codecs.Item(1), QString("MPEG4"));
    QCOMPARE(codecs.Item(2), QString("LIBXVID"));
    QCOMPARE(codecs.ItemIndex(), -1);

    // the delivered file reads, and every row has its nine fields
    TMultiColComboBox delivered;
    LoadPresets(&delivered, QStringLiteral(PC_SOURCE_DIR "/resources"));
    QVERIFY(delivered.Count() > 1);
    for (int i = 1; i < delivered.Count(); ++i)
        QVERIFY2(CommaTextFields(delivered.Item(i)).size() >= 9, qPrintable(delivered.Item(i)));
}

QTEST_MAIN(TestPresetFile)
#include "tst_presetfile.moc"
