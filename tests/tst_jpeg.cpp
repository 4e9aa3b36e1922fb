#include "Errors.h"
#include "Jpeg.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QImage>
#include <QTest>

class TestJpeg : public QObject
{
    Q_OBJECT

private slots:
    void decodesPicture();
    void badData_data();
    void badData();
    void missingFile();
    void tooLargeIsRefusedUnread_data();
    void tooLargeIsRefusedUnread();

private:
    static QByteArray sampleJpeg();
};

QByteArray TestJpeg::sampleJpeg()
{
    QImage img(80, 60, QImage::Format_RGB32);
    img.fill(QColor(200, 30, 40));
    for (int x = 0; x < 40; ++x)
        for (int y = 0; y < 60; ++y)
            img.setPixel(x, y, qRgb(20, 40, 220));
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "JPEG", 95);
    return bytes;
}

void TestJpeg::decodesPicture()
{
    const QByteArray bytes = sampleJpeg();
    if (bytes.isEmpty())
        QSKIP("Qt has no JPEG writer here to make the sample");
    QTemporaryDir dir;
    const QImage img = LoadJpeg(WriteFile(dir.path(), "_thumb.jpg", bytes));
    QCOMPARE(img.size(), QSize(80, 60));
    const QColor left = img.pixelColor(10, 30);
    const QColor right = img.pixelColor(70, 30);
    QVERIFY(qAbs(left.blue() - 220) < 12 && qAbs(left.red() - 20) < 12);
    QVERIFY(qAbs(right.red() - 200) < 12 && qAbs(right.blue() - 40) < 12);
}

void TestJpeg::badData_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = sampleJpeg();
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("text") << QByteArray("this is not a picture");
    QTest::newRow("png header") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    QTest::newRow("only SOI") << QByteArray("\xff\xd8", 2);
    QTest::newRow("truncated") << good.left(good.size() / 2);
    QByteArray corrupt = good;
    for (int i = 200; i < corrupt.size() - 2; i += 7)
        corrupt[i] = char(0xff);
    QTest::newRow("corrupt") << corrupt;
}

void TestJpeg::badData()
{
    QFETCH(QByteArray, bytes);
    QVERIFY_THROWS_EXCEPTION(Exception, DecodeJpeg(bytes));
}

void TestJpeg::missingFile()
{
    QVERIFY_THROWS_EXCEPTION(Exception, LoadJpeg("/no/such/_thumb.jpg"));
}

void TestJpeg::tooLargeIsRefusedUnread_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("9000 x 9000") << 9000 << 9000;
    QTest::newRow("65500 x 1100") << 65500 << 1100;
}

void TestJpeg::tooLargeIsRefusedUnread()
{
    // A few bytes of header can claim any size; the picture data behind it
    // is only the thumbnail's.
    QFETCH(int, width);
    QFETCH(int, height);
    QByteArray bytes = sampleJpeg();
    if (bytes.isEmpty())
        QSKIP("Qt has no JPEG writer here to make the sample");
    const int sof = int(bytes.indexOf(QByteArray("\xff\xc0", 2)));
    QVERIFY(sof > 0);
    bytes[sof + 5] = char(height >> 8);
    bytes[sof + 6] = char(height);
    bytes[sof + 7] = char(width >> 8);
    bytes[sof + 8] = char(width);
    try {
        DecodeJpeg(bytes);
        QFAIL("decoded");
    } catch (const Exception &e) {
        QVERIFY2(e.message().contains("too large"), qPrintable(e.message()));
    }
}

QTEST_GUILESS_MAIN(TestJpeg)
#include "tst_jpeg.moc"
