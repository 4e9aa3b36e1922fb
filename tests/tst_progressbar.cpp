#include "Colors.h"
#include "Fonts.h"
#include "TestSupport.h"
#include "dxfProgressBar.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QTest>

using PB = TdxfProgressBar;

namespace {
TColor PixelAt(const QImage &img, int x, int y)
{
    return FromQColor(img.pixelColor(x, y));
}

// The progress window's bar: 300 x 15 on white, grey to white, percentage shown.
void MakeWindowBar(PB &bar, bool showText = true)
{
    QPalette pal = bar.palette();
    pal.setColor(QPalette::Window, ToQColor(clWhite));
    bar.setPalette(pal);
    bar.resize(300, 15);
    bar.SetOrientation(PB::orHorizontal);
    bar.SetStyle(PB::sExSolid);
    bar.SetBeginColor(clGray);
    bar.SetEndColor(clWhite);
    bar.SetBevelOuter(PB::bvLowered);
    bar.SetBarBevelOuter(PB::bvNone);
    bar.SetShowText(showText);
    bar.SetShowTextStyle(PB::stsPercent);
    bar.setFont(PixelFont(QString::fromUtf8("ＭＳ Ｐゴシック"), 11));
    bar.SetFontColor(clTextGrey);
    bar.SetMin(0);
    bar.SetMax(10);
    bar.SetPosition(0);
    bar.SetStep(1);
    bar.SetTransparentGlyph(true);
}

// Records the rectangles the widget is asked to paint.
class PaintLog : public QObject
{
public:
    QRegion region;
    int count = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint) {
            region += static_cast<QPaintEvent *>(e)->region();
            ++count;
        }
        return false;
    }
};
} // namespace

class TestProgressBar : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { InstallFontSubstitutes(); }
    void windowBar_data();
    void windowBar();
    void percent_data();
    void percent();
    void gradientColor_data();
    void gradientColor();
    void bevels_data();
    void bevels();
    void limits();
    void partialRepaint();
    void repaintsOnlyWhenTheLookChanges_data();
    void repaintsOnlyWhenTheLookChanges();
    void blocks();
    void vertical();
    void pictures();
    void rotatedFontForBitmapFace();
    void windowShots();
};

void TestProgressBar::windowBar_data()
{
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("fill");
    QTest::addColumn<QString>("text");
    QTest::newRow("0/3") << 3 << 0 << 0 << "0 %";
    QTest::newRow("1/3") << 3 << 1 << 98 << "33 %";
    QTest::newRow("2/3") << 3 << 2 << 197 << "67 %";
    QTest::newRow("3/3") << 3 << 3 << 296 << "100 %";
    QTest::newRow("4/3 stops at the edge") << 3 << 4 << 296 << "133 %";
    QTest::newRow("1/8") << 8 << 1 << 37 << "12 %";
    QTest::newRow("3/8") << 8 << 3 << 111 << "38 %";
    QTest::newRow("below min") << 3 << -1 << 0 << "-33 %";
}

void TestProgressBar::windowBar()
{
    QFETCH(int, max);
    QFETCH(int, position);
    QFETCH(int, fill);
    PB bar;
    MakeWindowBar(bar, false);
    bar.SetMax(max);
    bar.SetPosition(position);
    QTEST(bar.Text(), "text");
    QCOMPARE(bar.BarRect().width() > 0 ? bar.BarRect().width() : 0, fill);

    const QImage img = bar.grab().toImage();
    for (int y = 2; y < 13; ++y) {
        for (int x = 2; x < 298; ++x) {
            const TColor expected =
                x - 2 < fill ? PB::GradientColor(clGray, clWhite, x - 2, 296) : clWhite;
            if (PixelAt(img, x, y) != expected)
                QFAIL(qPrintable(QString("pixel %1,%2").arg(x).arg(y)));
        }
    }
    if (fill > 0)
        QCOMPARE(PixelAt(img, 2, 7), clGray); // the first column is the begin colour
    // The one-pixel bevel and the untouched ring inside it.
    QCOMPARE(PixelAt(img, 0, 7), ColorToRGB(clBtnShadow));
    QCOMPARE(PixelAt(img, 1, 7), clWhite);
    QCOMPARE(PixelAt(img, 298, 7), clWhite);
}

void TestProgressBar::percent_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<QString>("text");
    QTest::newRow("12.5 to even") << 1 << 0 << 8 << "12 %";
    QTest::newRow("37.5 to even") << 3 << 0 << 8 << "38 %";
    QTest::newRow("-12.5 to even") << -1 << 0 << 8 << "-12 %";
    QTest::newRow("position, not position - min") << 2 << 1 << 5 << "50 %";
    QTest::newRow("no 32-bit overflow") << 30000000 << 0 << 100000000 << "30 %";
    QTest::newRow("empty range, above") << 5 << 5 << 5 << "0 %";
}

void TestProgressBar::percent()
{
    QFETCH(int, position);
    QFETCH(int, min);
    QFETCH(int, max);
    QTEST(PB::PercentText(position, min, max), "text");
}

void TestProgressBar::gradientColor_data()
{
    QTest::addColumn<TColor>("begin");
    QTest::addColumn<TColor>("end");
    QTest::addColumn<int>("offset");
    QTest::addColumn<TColor>("color");
    QTest::newRow("start") << clGray << clWhite << 0 << clGray;
    QTest::newRow("middle") << clGray << clWhite << 148 << RgbColor(191, 191, 191);
    QTest::newRow("last column") << clGray << clWhite << 295 << RgbColor(254, 254, 254);
    // Trunc of the whole sum: 255 - 0.43 gives 254, not 255.
    QTest::newRow("falling") << clWhite << clBlack << 1 << RgbColor(254, 254, 254);
    QTest::newRow("channels apart") << clNavy << clYellow << 148 << RgbColor(127, 127, 64);
}

void TestProgressBar::gradientColor()
{
    QFETCH(TColor, begin);
    QFETCH(TColor, end);
    QFETCH(int, offset);
    QTEST(PB::GradientColor(begin, end, offset, 296), "color");
}

void TestProgressBar::bevels_data()
{
    QTest::addColumn<int>("bevel");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<bool>("shadow"); // else highlight
    const int lowered = PB::bvLowered, raised = PB::bvRaised;
    // Left and top first, then right and bottom over them: the top-right and
    // bottom-left corners take the second colour.
    QTest::newRow("lowered top-left") << lowered << QPoint(0, 0) << true;
    QTest::newRow("lowered top-right") << lowered << QPoint(299, 0) << false;
    QTest::newRow("lowered bottom-left") << lowered << QPoint(0, 14) << false;
    QTest::newRow("lowered right") << lowered << QPoint(299, 7) << false;
    QTest::newRow("raised top-left") << raised << QPoint(0, 0) << false;
    QTest::newRow("raised top-right") << raised << QPoint(299, 0) << true;
    QTest::newRow("raised bottom-left") << raised << QPoint(0, 14) << true;
}

void TestProgressBar::bevels()
{
    QFETCH(int, bevel);
    QFETCH(QPoint, at);
    QFETCH(bool, shadow);
    PB bar;
    MakeWindowBar(bar, false);
    QPalette pal = bar.palette();
    pal.setColor(QPalette::Window, ToQColor(clBlue)); // neither edge colour
    bar.setPalette(pal);
    bar.SetBevelOuter(PB::TdxfBevelOuter(bevel));
    const QImage img = bar.grab().toImage();
    QCOMPARE(PixelAt(img, at.x(), at.y()), ColorToRGB(shadow ? clBtnShadow : clBtnHighlight));
    QCOMPARE(PixelAt(img, 1, 1), clBlue);
}

void TestProgressBar::limits()
{
    PB bar;
    bar.SetMin(10);
    bar.SetMax(5); // below Min: ignored
    QCOMPARE(bar.Max(), 100);
    bar.SetMin(200); // above Max: ignored
    QCOMPARE(bar.Min(), 10);
    bar.SetMax(10); // equal is allowed
    QCOMPARE(bar.Max(), 10);
    // Max equal to Min: a position above it fills the bar, never divides by zero.
    bar.resize(100, 16);
    bar.SetOrientation(PB::orHorizontal);
    bar.SetPosition(11);
    QCOMPARE(bar.BarRect().width(), 96);
    QCOMPARE(bar.Text(), "100 %");
    // Step moves nothing until StepIt.
    bar.SetStep(3);
    QCOMPARE(bar.Position(), 11);
    bar.StepIt();
    bar.StepBy(-20);
    QCOMPARE(bar.Position(), -6);
}

void TestProgressBar::partialRepaint()
{
    QWidget window;
    window.resize(400, 80);
    PB bar(&window);
    MakeWindowBar(bar);
    bar.move(92, 48);
    bar.SetMax(3);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(20);

    // The strip around both ends: L(0) = 0, L(1) = Trunc(300 / 3) = 100, 2 pixels more each way.
    bar.SetPosition(0);
    QCOMPARE(bar.PositionStrip(1), QRect(0, 0, 102, 15));
    PaintLog log;
    bar.installEventFilter(&log);
    bar.SetPosition(1);
    QCOMPARE(log.count, 1); // the strip is painted at once
    QCOMPARE(log.region, QRegion(0, 0, 102, 15));
    QTRY_VERIFY(log.count >= 2); // then the text area
    const QRect text = bar.TextRect();
    QCOMPARE(log.region, QRegion(0, 0, 102, 15) + QRegion(text));
    const QFontMetrics fm(bar.font());
    QCOMPARE(text.size(), QSize(fm.horizontalAdvance("100 %"), fm.height()));
    QCOMPARE(text.topLeft(), QPoint((300 - text.width()) / 2, (15 - text.height()) / 2));

    // Block styles widen the strip by a block: Trunc(2 * 15 / 3) + 2 = 12.
    bar.SetStyle(PB::sRectangles);
    bar.SetPosition(2);
    QCOMPARE(bar.PositionStrip(1), QRect(100 - 2 - 12, 0, 128, 15));
    // Nothing changed: nothing painted.
    QTest::qWait(30);
    log.count = 0;
    bar.SetPosition(2);
    QTest::qWait(20);
    QCOMPARE(log.count, 0);
}

void TestProgressBar::repaintsOnlyWhenTheLookChanges_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("repaints");
    QTest::newRow("EndColor, solid")
        << int(PB::sSolid) << "EndColor" << QVariant::fromValue<TColor>(clRed) << false;
    QTest::newRow("EndColor, gradient")
        << int(PB::sExSolid) << "EndColor" << QVariant::fromValue<TColor>(clRed) << true;
    QTest::newRow("BeginColor, pictures")
        << int(PB::sPictures) << "BeginColor" << QVariant::fromValue<TColor>(clRed) << false;
    QTest::newRow("Step") << int(PB::sSolid) << "Step" << QVariant(5) << false;
    QTest::newRow("ShowTextStyle, no text")
        << int(PB::sSolid) << "ShowTextStyle" << QVariant(int(PB::stsPosition)) << false;
    QTest::newRow("Max") << int(PB::sSolid) << "Max" << QVariant(50) << true;
}

void TestProgressBar::repaintsOnlyWhenTheLookChanges()
{
    QFETCH(int, style);
    QFETCH(QString, property);
    QFETCH(QVariant, value);
    QFETCH(bool, repaints);
    PB bar;
    bar.SetStyle(PB::TdxfPBStyle(style));
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    QTest::qWait(20);
    PaintLog log;
    bar.installEventFilter(&log);
    QVERIFY(bar.setProperty(property.toLatin1(), value));
    QTest::qWait(30);
    QCOMPARE(log.count > 0, repaints);
}

void TestProgressBar::blocks()
{
    PB bar;
    MakeWindowBar(bar, false);
    bar.SetStyle(PB::sRectangles);
    bar.SetBeginColor(clNavy);
    bar.SetMax(3);
    bar.SetPosition(1);
    // Inner height 11: pitch Trunc(22 / 3) + 2 = 9; blocks 7 wide, 2-pixel gaps,
    // only whole blocks: the bar ends at 100, the last boundary is 2 + 10 * 9 = 92.
    QImage img = bar.grab().toImage();
    QCOMPARE(PixelAt(img, 2, 5), clNavy);
    QCOMPARE(PixelAt(img, 8, 5), clNavy);
    QCOMPARE(PixelAt(img, 9, 5), clWhite);
    QCOMPARE(PixelAt(img, 11, 5), clNavy);
    QCOMPARE(PixelAt(img, 91, 5), clWhite);
    // At Max the remainder after the last boundary is filled too.
    bar.SetPosition(3);
    img = bar.grab().toImage();
    QCOMPARE(PixelAt(img, 289, 5), clWhite); // gap before the last boundary, 2 + 32 * 9 = 290
    QCOMPARE(PixelAt(img, 290, 5), clNavy);
    QCOMPARE(PixelAt(img, 297, 5), clNavy);

    // Gradient blocks take the colour of their boundary.
    bar.SetStyle(PB::sExRectangles);
    bar.SetBeginColor(clGray);
    img = bar.grab().toImage();
    QCOMPARE(PixelAt(img, 2, 5), PB::GradientColor(clGray, clWhite, 9, 296));
    QCOMPARE(PixelAt(img, 295, 5), PB::GradientColor(clGray, clWhite, 288, 296));

    // A bar shorter than one block at Max: the remainder starts at the bar, not over the bevel.
    PB tiny;
    MakeWindowBar(tiny, false);
    tiny.resize(10, 15);
    tiny.SetStyle(PB::sRectangles);
    tiny.SetBeginColor(clNavy);
    tiny.SetPosition(10);
    img = tiny.grab().toImage();
    QCOMPARE(PixelAt(img, 0, 5), ColorToRGB(clBtnShadow));
    QCOMPARE(PixelAt(img, 1, 5), clWhite);
    QCOMPARE(PixelAt(img, 2, 5), clNavy);
}

void TestProgressBar::vertical()
{
    PB bar;
    MakeWindowBar(bar, false);
    bar.resize(15, 104);
    bar.SetOrientation(PB::orVertical);
    bar.SetMax(4);
    bar.SetPosition(1);
    // Inner height 100: the bar is the bottom 25 rows; the bottom row has offset 1.
    QCOMPARE(bar.BarRect(), QRect(2, 77, 11, 25));
    const QImage img = bar.grab().toImage();
    QCOMPARE(PixelAt(img, 7, 101), PB::GradientColor(clGray, clWhite, 1, 100));
    QCOMPARE(PixelAt(img, 7, 76), clWhite);

    // The text is written top to bottom: its ink is taller than wide and centred.
    bar.SetPosition(0);
    bar.SetShowText(true);
    bar.resize(15, 150);
    const QImage text = bar.grab().toImage();
    QRect ink;
    for (int y = 2; y < 148; ++y)
        for (int x = 2; x < 13; ++x)
            if (PixelAt(text, x, y) == clTextGrey)
                ink |= QRect(x, y, 1, 1);
    QVERIFY(!ink.isEmpty());
    QVERIFY(ink.height() > 2 * ink.width());
    const int tw = QFontMetrics(bar.font()).horizontalAdvance("0 %");
    QVERIFY(ink.top() >= (150 - tw) / 2 - 1 && ink.bottom() <= (150 + tw) / 2 + 1);
}

void TestProgressBar::pictures()
{
    QImage glyph(6, 5, QImage::Format_RGB32);
    glyph.fill(ToQColor(clLime)); // the bottom-left colour is the transparent one
    for (int y = 0; y < 5; ++y)
        glyph.setPixelColor(2, y, ToQColor(clRed));
    PB bar;
    MakeWindowBar(bar, false);
    bar.SetStyle(PB::sPictures);
    bar.SetGlyph(QPixmap::fromImage(glyph));
    QCOMPARE(bar.height(), 9); // horizontal: glyph height + 4
    bar.SetMax(2);
    bar.SetPosition(1);
    // Inner width 296, bar 148: tiles at 2, 8, ..., the last whole one ends at 145.
    QImage img = bar.grab().toImage();
    QCOMPARE(PixelAt(img, 4, 4), clRed);
    QCOMPARE(PixelAt(img, 3, 4), clWhite); // transparent
    QCOMPARE(PixelAt(img, 142, 4), clRed);
    QCOMPARE(PixelAt(img, 148, 4), clWhite);
    bar.SetTransparentGlyph(false);
    img = bar.grab().toImage();
    QCOMPARE(PixelAt(img, 3, 4), clLime);
    // Exactly at Max one more tile after the last boundary.
    bar.SetPosition(2);
    img = bar.grab().toImage();
    QCOMPARE(PixelAt(img, 292, 4), clRed); // the last boundary is 2 + 49 * 6 = 296
}

void TestProgressBar::rotatedFontForBitmapFace()
{
    QFont scalable = PixelFont(QString::fromUtf8("ＭＳ Ｐゴシック"), 11);
    QCOMPARE(PB::RotatedTextFont(scalable).family(), scalable.family());
    const QString fon = "/usr/share/wine/fonts/sserife.fon";
    const int id = QFontDatabase::addApplicationFont(fon);
    if (id < 0)
        QSKIP("no bitmap font to try");
    QFont bitmap(QFontDatabase::applicationFontFamilies(id).first());
    bitmap.setPixelSize(13);
    QCOMPARE(PB::RotatedTextFont(bitmap).family(), QString("Arial"));
}

void TestProgressBar::windowShots()
{
    PB bar;
    MakeWindowBar(bar);
    bar.SetMax(3);
    for (int position : {0, 1, 3}) {
        bar.SetPosition(position);
        const QPixmap shot = bar.grab();
        SaveShot(shot, QString("progress_%1_of_3").arg(position));
        const QImage img = shot.toImage();
        // Text ink in the text colour lies in the middle of the bar.
        const QRect text = bar.TextRect();
        int ink = 0;
        for (int y = 0; y < 15; ++y)
            for (int x = 0; x < 300; ++x)
                if (PixelAt(img, x, y) == clTextGrey) {
                    ++ink;
                    QVERIFY(x >= text.left() - 1 && x <= text.right() + 1);
                }
        QVERIFY(ink > 10);
    }
}

QTEST_MAIN(TestProgressBar)
#include "tst_progressbar.moc"
