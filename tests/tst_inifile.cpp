#include "Errors.h"
#include "IniFile.h"
#include "TestSupport.h"

#include <QFile>
#include <QTest>

class TestIniFile : public QObject
{
    Q_OBJECT

private slots:
    void missingFileGivesDefaults();
    void writeCreatesFileAndSection();
    void lookupIgnoresCaseAndBlanks();
    void writeKeepsOtherLinesExactly();
    void readsCp932WithCrLf();
    void duplicatesUseTheFirst();
    void integers_data();
    void integers();
    void refusedWriteRaises();
    void readOnlyFileIsRefusedAndKept();
    void garbageFileGivesDefaults();
    void lineBreakInValueCannotAddLines();
    void valuesReadBackWhole_data();
    void valuesReadBackWhole();
};

void TestIniFile::valuesReadBackWhole_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("plain, not quoted") << "/my videos" << QByteArray("C11=/my videos");
    QTest::newRow("blank at the end") << "/out " << QByteArray("C11=\"/out \"");
    QTest::newRow("blank in front") << " /out" << QByteArray("C11=\" /out\"");
    QTest::newRow("full-width blank at the end")
        << QString::fromUtf8("/動画\u3000") << QString::fromUtf8("C11=\"/動画\u3000\"").toUtf8();
    QTest::newRow("tab at the end") << "/out\t" << QByteArray("C11=\"/out\t\"");
    QTest::newRow("in quotes") << "\"/out\"" << QByteArray("C11=\"\"/out\"\"");
    QTest::newRow("two quotes") << "\"\"" << QByteArray("C11=\"\"\"\"");
    QTest::newRow("one quote") << "\"" << QByteArray("C11=\"");
    QTest::newRow("quote in front only") << "\"/out" << QByteArray("C11=\"/out");
}

void TestIniFile::valuesReadBackWhole()
{
    QFETCH(QString, value);
    QFETCH(QByteArray, line);
    QTemporaryDir dir;
    const QString path = dir.path() + "/Pocketclips.ini";
    TIniFile ini(path);
    ini.WriteString("SET2", "C11", value);
    QCOMPARE(ini.ReadString("SET2", "C11", "?"), value);
    QCOMPARE(ReadFile(path), "[SET2]\n" + line + "\n");
}

void TestIniFile::lineBreakInValueCannotAddLines()
{
    QTemporaryDir dir;
    const QString path = WriteFile(dir.path(), "a.ini", "[SET1]\nC1=15\n");
    TIniFile ini(path);
    ini.WriteString("SET2", "C11", "/tmp/a\n[SET1]\nC1=99\rx");
    QCOMPARE(ini.ReadInteger("SET1", "C1", 0), 15);
    QCOMPARE(ini.ReadString("SET2", "C11", ""), QString("/tmp/a"));
    QCOMPARE(ReadFile(path), QByteArray("[SET1]\nC1=15\n[SET2]\nC11=/tmp/a\n"));
}

void TestIniFile::missingFileGivesDefaults()
{
    QTemporaryDir dir;
    TIniFile ini(dir.path() + "/none.ini");
    QCOMPARE(ini.ReadString("SET", "M_LEFT", "dflt"), QString("dflt"));
    QCOMPARE(ini.ReadInteger("SET", "M_LEFT", 21), 21);
    QVERIFY(!QFile::exists(dir.path() + "/none.ini"));
}

void TestIniFile::writeCreatesFileAndSection()
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/Pocketclips.ini";
    TIniFile ini(path);
    ini.WriteInteger("SET", "M_LEFT", 40);
    ini.WriteInteger("SET", "M_TOP", -3);
    ini.WriteString("SET2", "C11", QString::fromUtf8("/home/動画 フォルダ"));
    QCOMPARE(ReadFile(path), QString::fromUtf8("[SET]\nM_LEFT=40\nM_TOP=-3\n[SET2]\nC11=/home/動画 フォルダ\n").toUtf8());
    QCOMPARE(ini.ReadInteger("SET", "M_TOP", 0), -3);
    QCOMPARE(ini.ReadString("SET2", "C11", ""), QString::fromUtf8("/home/動画 フォルダ"));
    ini.WriteInteger("SET", "M_LEFT", 41);
    QCOMPARE(ini.ReadInteger("SET", "M_LEFT", 0), 41);
}

void TestIniFile::lookupIgnoresCaseAndBlanks()
{
    QTemporaryDir dir;
    const QString path = WriteFile(dir.path(), "a.ini", "[ set1 ]\n  c0 =  3  \nC11=\"/quoted path\"\n");
    TIniFile ini(path);
    QCOMPARE(ini.ReadInteger("SET1", "C0", -1), 3);
    QCOMPARE(ini.ReadString("Set1", "c11", ""), QString("/quoted path"));
    ini.WriteInteger("SET1", "C0", 5);
    QCOMPARE(ReadFile(path), QByteArray("[ set1 ]\nC0=5\nC11=\"/quoted path\"\n"));
}

void TestIniFile::writeKeepsOtherLinesExactly()
{
    QTemporaryDir dir;
    const QByteArray original = "; my notes\r\n[Other]\r\nkey = kept  value\r\n\r\n[SET]\r\nM_LEFT=1\r\n\r\n[Last]\r\nz=1\r\n";
    const QString path = WriteFile(dir.path(), "a.ini", original);
    TIniFile ini(path);
    ini.WriteInteger("SET", "M_TOP", 7);
    ini.WriteInteger("SET", "M_LEFT", 2);
    QCOMPARE(ReadFile(path), QByteArray("; my notes\r\n[Other]\r\nkey = kept  value\r\n\r\n[SET]\r\nM_LEFT=2\r\nM_TOP=7\r\n\r\n[Last]\r\nz=1\r\n"));
}

void TestIniFile::readsCp932WithCrLf()
{
    QTemporaryDir dir;
    // [set2] c11=C:\動画 in Shift-JIS, lower-case names, CR LF
    const QString path = WriteFile(dir.path(), "a.ini", QByteArray("[set2]\r\nc11=/\x93\xae\x89\xe6\r\nc12=1\r\n"));
    TIniFile ini(path);
    QCOMPARE(ini.ReadString("SET2", "C11", ""), QString::fromUtf8("/動画"));
    QCOMPARE(ini.ReadBool("SET2", "C12", false), true);
    ini.WriteInteger("SET2", "C13", 0);
    // written back as UTF-8, line ends kept
    QCOMPARE(ReadFile(path), QString::fromUtf8("[set2]\r\nc11=/動画\r\nc12=1\r\nC13=0\r\n").toUtf8());
}

void TestIniFile::duplicatesUseTheFirst()
{
    QTemporaryDir dir;
    const QString path = WriteFile(dir.path(), "a.ini", "[S]\nk=1\nk=2\n[S]\nk=3\nj=4\n");
    TIniFile ini(path);
    QCOMPARE(ini.ReadInteger("S", "k", 0), 1);
    QCOMPARE(ini.ReadInteger("S", "j", 0), 0);
    ini.WriteInteger("S", "k", 9);
    QCOMPARE(ReadFile(path), QByteArray("[S]\nk=9\nk=2\n[S]\nk=3\nj=4\n"));
}

void TestIniFile::integers_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("decimal") << QByteArray("32") << 32;
    QTest::newRow("hex") << QByteArray("0x20") << 32;
    QTest::newRow("abc") << QByteArray("abc") << 21;
    QTest::newRow("empty") << QByteArray("") << 21;
    QTest::newRow("long garbage") << QByteArray(100000, 'x') << 21;
}

void TestIniFile::integers()
{
    QFETCH(QByteArray, value);
    QFETCH(int, expected);
    QTemporaryDir dir;
    TIniFile ini(WriteFile(dir.path(), "a.ini", "[SET]\nM_LEFT=" + value + "\n"));
    QCOMPARE(ini.ReadInteger("SET", "M_LEFT", 21), expected);
}

void TestIniFile::refusedWriteRaises()
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/Pocketclips.ini";
    QVERIFY(QDir().mkdir(path)); // a folder where the file should be
    TIniFile ini(path);
    try {
        ini.WriteInteger("SET", "M_LEFT", 1);
        QFAIL("no error");
    } catch (const EIniFileException &e) {
        QCOMPARE(e.message(), QString::fromUtf8("%1 に書き込めません").arg(path));
    }
    QCOMPARE(ini.ReadInteger("SET", "M_LEFT", 5), 5);
}

void TestIniFile::readOnlyFileIsRefusedAndKept()
{
    QTemporaryDir dir;
    const QString path = WriteFile(dir.path(), "a.ini", "[SET]\nM_LEFT=3\n");
    QFile::setPermissions(path, QFile::ReadOwner);
    TIniFile ini(path);
    QVERIFY_THROWS_EXCEPTION(EIniFileException, ini.WriteInteger("SET", "M_LEFT", 9));
    QCOMPARE(ReadFile(path), QByteArray("[SET]\nM_LEFT=3\n"));
}

void TestIniFile::garbageFileGivesDefaults()
{
    QTemporaryDir dir;
    QByteArray garbage;
    for (int i = 0; i < 200000; ++i)
        garbage.append(char((i * 131) & 0xFF));
    const QString path = WriteFile(dir.path(), "a.ini", garbage);
    TIniFile ini(path);
    QCOMPARE(ini.ReadInteger("SET", "M_LEFT", 21), 21);
    ini.WriteInteger("SET", "M_LEFT", 4);
    QCOMPARE(ini.ReadInteger("SET", "M_LEFT", 21), 4);
}

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
