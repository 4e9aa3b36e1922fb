#include "Errors.h"
#include "StrConv.h"

#include <QTest>

class TestStrConv : public QObject
{
    Q_OBJECT

private slots:
    void strict_data();
    void strict();
    void strictRaisesWithText();
    void ini_data();
    void ini();
};

void TestStrConv::strict_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");
    QTest::newRow("decimal") << "15" << true << 15;
    QTest::newRow("leading blanks") << "  42" << true << 42;
    QTest::newRow("plus") << "+7" << true << 7;
    QTest::newRow("minus") << "-7" << true << -7;
    QTest::newRow("dollar hex") << "$1F" << true << 31;
    QTest::newRow("x hex") << "x10" << true << 16;
    QTest::newRow("0x hex") << "0x10" << true << 16;
    QTest::newRow("0X hex") << "0XfF" << true << 255;
    QTest::newRow("hex full pattern") << "$FFFFFFFF" << true << -1;
    QTest::newRow("max") << "2147483647" << true << 2147483647;
    QTest::newRow("min") << "-2147483648" << true << int(-2147483647 - 1);
    QTest::newRow("overflow") << "2147483648" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("blank only") << "  " << false << 0;
    QTest::newRow("sign only") << "-" << false << 0;
    QTest::newRow("dollar only") << "$" << false << 0;
    QTest::newRow("trailing blank") << "12 " << false << 0;
    QTest::newRow("decimal point") << "12.5" << false << 0;
    QTest::newRow("hex digit without prefix") << "1F" << false << 0;
    QTest::newRow("full-width digits") << QString::fromUtf8("１２") << false << 0;
    QTest::newRow("tab is not a leading blank") << "\t5" << false << 0;
}

void TestStrConv::strict()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, value);
    int v = 12345;
    QCOMPARE(TryStrToInt(text, v), ok);
    if (ok)
        QCOMPARE(v, value);
    QCOMPARE(StrToIntDef(text, -99), ok ? value : -99);
}

void TestStrConv::strictRaisesWithText()
{
    try {
        StrToInt("12.5");
        QFAIL("no error");
    } catch (const EConvertError &e) {
        QCOMPARE(e.message(), QString::fromUtf8("'12.5' は整数ではありません"));
    }
    try {
        StrToInt("");
        QFAIL("no error");
    } catch (const EConvertError &e) {
        QCOMPARE(e.message(), QString::fromUtf8("'' は整数ではありません"));
    }
}

void TestStrConv::ini_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("decimal") << "32" << 32;
    QTest::newRow("0x") << "0x20" << 32;
    QTest::newRow("0X") << "0X20" << 32;
    QTest::newRow("bare 0x is no number") << "0x" << 21;
    QTest::newRow("0x then garbage") << "0xZZ" << 21;
    QTest::newRow("abc") << "abc" << 21;
    QTest::newRow("empty") << "" << 21;
    QTest::newRow("negative") << "-5" << -5;
    QTest::newRow("dollar") << "$10" << 16;
}

void TestStrConv::ini()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(IniStrToInt(text, 21), value);
}

QTEST_GUILESS_MAIN(TestStrConv)
#include "tst_strconv.moc"
