#include "CommaText.h"
#include "Errors.h"
#include "FileNames.h"
#include "TestSupport.h"
#include "TextFile.h"

#include <QTest>

class TestText : public QObject
{
    Q_OBJECT

private slots:
    void commaText_data();
    void commaText();
    void decodeUtf8AndCp932_data();
    void decodeUtf8AndCp932();
    void fileNames_data();
    void fileNames();
    void readMissingFileRaises();
    void readFolderRaises();
    void writeIsUtf8AndReadsBack();
    void badInputNeverCrashes();
};

void TestText::commaText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("fields");

    QTest::newRow("empty") << "" << QStringList();
    QTest::newRow("only blanks") << "  \t " << QStringList();
    QTest::newRow("plain") << "a,b,c" << QStringList{"a", "b", "c"};
    QTest::newRow("leading control chars skipped") << QString("\x01\x1f a,b") << QStringList{"a", "b"};
    QTest::newRow("blank separates") << "two words,x" << QStringList{"two", "words", "x"};
    QTest::newRow("tab separates") << "a\tb" << QStringList{"a", "b"};
    QTest::newRow("blanks around comma") << "a , b" << QStringList{"a", "b"};
    QTest::newRow("two commas give empty field") << "a,,b" << QStringList{"a", "", "b"};
    QTest::newRow("leading comma") << ",a" << QStringList{"", "a"};
    QTest::newRow("trailing comma adds one field") << "a," << QStringList{"a", ""};
    QTest::newRow("comma then blank at end adds none") << "a, " << QStringList{"a"};
    QTest::newRow("quoted with blank") << "\"two words\",x" << QStringList{"two words", "x"};
    QTest::newRow("doubled quote") << "\"say \"\"hi\"\"\",y" << QStringList{"say \"hi\"", "y"};
    QTest::newRow("quoted comma stays inside") << "\"a,b\",c" << QStringList{"a,b", "c"};
    QTest::newRow("unterminated quote runs to end") << "\"abc" << QStringList{"abc"};
    QTest::newRow("text right after closing quote starts a field")
        << "\"ab\"cd,e" << QStringList{"ab", "cd", "e"};
    QTest::newRow("full-width space stays inside")
        << QString::fromUtf8("ＡＢ　ＣＤ,3gp") << QStringList{QString::fromUtf8("ＡＢ　ＣＤ"), "3gp"};
    QTest::newRow("header row")
        << QString::fromUtf8(",[拡張子],[ｻｲｽﾞ],[ｺｰﾃﾞｯｸ],[ﾌﾚｰﾑﾚｰﾄ],[ﾋﾞｯﾄﾚｰﾄ],[ｺｰﾃﾞｯｸ],[ｻﾝﾌﾟﾙﾚｰﾄ],[ﾋﾞｯﾄﾚｰﾄ]")
        << QStringList{"", QString::fromUtf8("[拡張子]"), QString::fromUtf8("[ｻｲｽﾞ]"),
                       QString::fromUtf8("[ｺｰﾃﾞｯｸ]"), QString::fromUtf8("[ﾌﾚｰﾑﾚｰﾄ]"),
                       QString::fromUtf8("[ﾋﾞｯﾄﾚｰﾄ]"), QString::fromUtf8("[ｺｰﾃﾞｯｸ]"),
                       QString::fromUtf8("[ｻﾝﾌﾟﾙﾚｰﾄ]"), QString::fromUtf8("[ﾋﾞｯﾄﾚｰﾄ]")};
    QTest::newRow("NUL ends the text") << QString::fromUtf8("a,b\0,c", 6) << QStringList{"a", "b"};
}

void TestText::fileNames_data()
{
    QTest::addColumn<QByteArray>("bytes"); // a name as the system gives it
    QTest::addColumn<QString>("shown");

    QTest::newRow("ASCII") << QByteArray("clip.avi") << "clip.avi";
    QTest::newRow("UTF-8") << QByteArray("夏の思い出.avi") << QString::fromUtf8("夏の思い出.avi");
    QTest::newRow("Latin-1, not CP932 either")
        << QByteArray("caf\xE9.mp4") << QString::fromUtf8("caf\uFFFD.mp4");
    QTest::newRow("Shift-JIS") << QByteArray("\x89\xC4\x82\xCC\x8Ev\x82\xA2\x8Fo.avi")
                               << QString::fromUtf8("夏の思い出.avi");
    QTest::newRow("each byte 0x80-0xFF alone") << [] {
        QByteArray b;
        for (int c = 0x80; c <= 0xFF; ++c)
            b += char(c) + QByteArray("/");
        return b;
    }() << QString();
    QTest::newRow("UTF-8 cut short") << QByteArray("a\xE3") << QString::fromUtf8("a\uFFFD");
    QTest::newRow("an encoded surrogate is no UTF-8") << QByteArray("\xED\xB3\xA9") << QString();
    QTest::newRow("folders UTF-8, the name CP932")
        << QByteArray("/ビデオ/\x93\xFA\x96\x7B.avi") << QString::fromUtf8("/ビデオ/日本.avi");
}

// A name goes in and comes out with the same bytes; it is shown readably.
void TestText::fileNames()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    const QString name = DecodeFileName(bytes);
    QCOMPARE(EncodeFileName(name), bytes);
    QCOMPARE(HasUndecodedBytes(name), QString::fromUtf8(bytes).toUtf8() != bytes);
    if (!shown.isNull())
        QCOMPARE(ReadableFileName(name), shown);
    QVERIFY(!HasUndecodedBytes(ReadableFileName(name)));
}

void TestText::commaText()
{
    QFETCH(QString, text);
    QFETCH(QStringList, fields);
    QCOMPARE(CommaTextFields(text), fields);
    // One field read alone is the same field of the whole split.
    for (int i = 0; i < fields.size(); ++i)
        QCOMPARE(CommaTextField(text, i), fields.at(i));
    QCOMPARE(CommaTextField(text, fields.size()), QString());
    QCOMPARE(CommaTextField(text, -1), QString());
}

void TestText::decodeUtf8AndCp932_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("ascii") << QByteArray("abc") << "abc";
    QTest::newRow("utf8") << QByteArray("\xe5\x8b\x95\xe7\x94\xbb") << QString::fromUtf8("動画");
    QTest::newRow("utf8 bom dropped") << QByteArray("\xef\xbb\xbfx") << "x";
    // 動画 and ｻｲｽﾞ in Shift-JIS
    QTest::newRow("cp932") << QByteArray("\x93\xae\x89\xe6\xbb\xb2\xbd\xde") << QString::fromUtf8("動画ｻｲｽﾞ");
    QTest::newRow("cp932 full-width space") << QByteArray("\x81\x40") << QString::fromUtf8("　");
    QTest::newRow("cp932 backslash trail byte") << QByteArray("\x95\x5c") << QString::fromUtf8("表");
}

void TestText::decodeUtf8AndCp932()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(DecodeText(bytes), text);
}

void TestText::readMissingFileRaises()
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/none.txt";
    try {
        ReadTextFile(path);
        QFAIL("no error");
    } catch (const EFOpenError &e) {
        QCOMPARE(e.message(), QString::fromUtf8("ファイル %1 は開けません").arg(path));
    }
}

void TestText::readFolderRaises()
{
    QTemporaryDir dir;
    QVERIFY_THROWS_EXCEPTION(EFOpenError, ReadTextFile(dir.path()));
}

void TestText::writeIsUtf8AndReadsBack()
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/out.txt";
    const QString text = QString::fromUtf8("保存先 = /tmp/動画\n");
    QVERIFY(WriteTextFile(path, text));
    QCOMPARE(ReadFile(path), text.toUtf8());
    QCOMPARE(ReadTextFile(path), text);
    QVERIFY(!WriteTextFile(dir.path() + "/missing/dir/out.txt", text));
}

void TestText::badInputNeverCrashes()
{
    QTemporaryDir dir;
    QByteArray garbage;
    for (int i = 0; i < 65536; ++i)
        garbage.append(char((i * 7919) & 0xFF));
    const QString path = WriteFile(dir.path(), "garbage.bin", garbage);
    const QString text = ReadTextFile(path);
    QVERIFY(!text.isEmpty());
    CommaTextFields(text);
    QCOMPARE(ReadTextFile(WriteFile(dir.path(), "empty.txt", QByteArray())), QString());
    // invalid in both UTF-8 and CP932 still decodes to something
    QVERIFY(!DecodeText(QByteArray("\xff\xfe\x80\xa0\xfd")).isEmpty());
}

QTEST_GUILESS_MAIN(TestText)
#include "tst_text.moc"
