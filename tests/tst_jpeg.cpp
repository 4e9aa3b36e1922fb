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

QTEST_GUILESS_MAIN(TestJpeg)
#include "tst_jpeg.moc"
