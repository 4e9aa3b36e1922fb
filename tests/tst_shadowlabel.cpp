#include "Colors.h"
#include "Fonts.h"
#include "ShadoLbl.h"
#include "TestSupport.h"

#include <QFontMetrics>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

using SL = TShadowLabel;

namespace {
TColor PixelAt(const QImage &img, int x, int y)
{
    return FromQColor(img.pixelColor(x, y));
}

QFont LabelFont()
{
    return PixelFont(QString::fromUtf8("ＭＳ Ｐゴシック"), 11, true);
}

// The main window's shadow-label set.
void MakeWindowLabel(SL &label, const QString &caption)
{
    label.setFont(LabelFont());
    label.SetFontColor(clTextGrey);
    label.SetColor(clBlack);
    label.SetTransparent(true);
    label.SetLayout(SL::tlCenter);
    label.SetEllipsis(SL::elNone);
    label.SetGradation(true);
    label.SetGradateVert(true);
    label.SetGradationColor(clBlack);
    label.Highlight()->SetShadowVisible(false);
    label.SetTextGradation(SL::tgNone);
    label.SetTextGradationColor(clLabelBlue);
    label.SetTextMidColor(clBlack);
    label.SetCaption(caption);
}

// A parent of one known colour under a label, so that transparency can be seen.
struct Panel
{
    QWidget widget;
    explicit Panel(QSize size, TColor color = clPanelFace)
    {
        widget.resize(size);
        widget.setAutoFillBackground(true);
        QPalette pal = widget.palette();
        pal.setColor(QPalette::Window, ToQColor(color));
        widget.setPalette(pal);
    }
};

// An opaque label with nothing but its text: white background, no copies.
void MakePlainLabel(SL &label, const QString &caption)
{
    label.setFont(LabelFont());
    label.SetAutoSize(false);
    label.SetColor(clWhite);
    label.SetFontColor(clBlack);
    label.Shadow()->SetShadowVisible(false);
    label.Highlight()->SetShadowVisible(false);
    label.SetCaption(caption);
}

// Columns that hold ink (anything but the background).
QList<int> InkColumns(const QImage &img, TColor background)
{
    QList<int> columns;
    for (int x = 0; x < img.width(); ++x)
        for (int y = 0; y < img.height(); ++y)
            if (PixelAt(img, x, y) != background) {
                columns << x;
                break;
            }
    return columns;
}

int TopInkRow(const QImage &img, TColor background)
{
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (PixelAt(img, x, y) != background)
                return y;
    return -1;
}

class PaintCounter : public QObject
{
public:
    int count = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        count += e->type() == QEvent::Paint;
        return false;
    }
};
} // namespace

class TestShadowLabel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { InstallFontSubstitutes(); }
    void shadowChanges();
    void windowSetDrawsTextOverShadow();
    void gradientColours_data();
    void gradientColours();
    void gradientPixels();
    void rightAlignedGradientStartsLeft();
    void layoutOffset_data();
    void layoutOffset();
    void layoutMovesText();
    void disabledColours();
    void backgrounds();
    void repaints_data();
    void repaints();
    void autoSizeKeepsRightEdge();
    void windowShot();
};

void TestShadowLabel::shadowChanges()
{
    TShadow shadow;
    QSignalSpy changes(&shadow, &TShadow::OnChange);
    shadow.SetShadowColor(clSilver); // unchanged
    QCOMPARE(changes.count(), 0);
    shadow.SetShadowLeft(3);
    QCOMPARE(changes.count(), 1);

    TShadow other;
    other.SetShadowVisible(false);
    other.SetShadowColor(clRed);
    other.SetShadowLeft(-2);
    other.SetShadowTop(4);
    shadow.Assign(other);
    QCOMPARE(changes.count(), 2);
    QCOMPARE(shadow.Visible(), false);
    QCOMPARE(shadow.OffsetTop(), 4);
}

void TestShadowLabel::windowSetDrawsTextOverShadow()
{
    const QString caption = QString::fromUtf8("動画ﾌﾚｰﾑﾚｰﾄ");
    Panel withShadow(QSize(90, 20));
    SL a(&withShadow.widget);
    MakeWindowLabel(a, caption);
    a.move(4, 4);
    Panel textOnly(QSize(90, 20));
    SL b(&textOnly.widget);
    MakeWindowLabel(b, caption);
    b.Shadow()->SetShadowVisible(false);
    b.move(4, 4);

    const QImage shadowed = withShadow.widget.grab().toImage();
    const QImage plain = textOnly.widget.grab().toImage();
    int textPixels = 0, shadowPixels = 0;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 90; ++x) {
            const bool ink = PixelAt(plain, x, y) == clTextGrey;
            const bool below = x > 0 && y > 0 && PixelAt(plain, x - 1, y - 1) == clTextGrey;
            const TColor expected = ink ? clTextGrey : below ? clSilver : clPanelFace;
            QCOMPARE(PixelAt(shadowed, x, y), expected);
            textPixels += ink;
            shadowPixels += expected == clSilver;
        }
    }
    QVERIFY(textPixels > 30);
    QVERIFY(shadowPixels > 10);
    // Only text colour in the text-only picture: no background was painted.
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 90; ++x)
            QVERIFY(PixelAt(plain, x, y) == clTextGrey || PixelAt(plain, x, y) == clPanelFace);
}

void TestShadowLabel::gradientColours_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("gradation");
    QTest::addColumn<QList<TColor>>("colors");
    const TColor font = clBlack, mid = clNavy, end = clMaroon;
    const TColor halfway = RgbColor(64, 0, 64); // navy to maroon, one step of two
    QTest::newRow("3 colours, abc") << "abc" << int(SL::tg3Colors) << QList<TColor>{font, mid, end};
    QTest::newRow("3 colours, abcde")
        << "abcde" << int(SL::tg3Colors) << QList<TColor>{font, mid, mid, halfway, end};
    QTest::newRow("3 colours, two characters as 2")
        << "ab" << int(SL::tg3Colors) << QList<TColor>{font, end};
    QTest::newRow("2 colours, abc")
        << "abc" << int(SL::tg2Colors) << QList<TColor>{font, RgbColor(64, 0, 0), end};
    QTest::newRow("2 colours, one character") << "a" << int(SL::tg2Colors) << QList<TColor>{};
    QTest::newRow("3 colours, whole characters")
        << QString::fromUtf8("動画ﾌﾚ") << int(SL::tg3Colors) << QList<TColor>{font, mid, mid, end};
    QTest::newRow("none") << "abc" << int(SL::tgNone) << QList<TColor>{};
}

void TestShadowLabel::gradientColours()
{
    QFETCH(QString, caption);
    QFETCH(int, gradation);
    SL label;
    MakePlainLabel(label, caption);
    label.SetTextGradation(SL::TTextGradation(gradation));
    QTEST(label.GradientColors(), "colors");
}

void TestShadowLabel::gradientPixels()
{
    // Each character cell holds ink of its own colour only.
    SL label;
    MakePlainLabel(label, "abcde");
    label.resize(80, 16);
    label.SetTextGradation(SL::tg3Colors);
    const QImage img = label.grab().toImage();
    const QFontMetrics fm(label.font());
    const QList<TColor> colors = label.GradientColors();
    int left = 0;
    for (int k = 0; k < 5; ++k) {
        const int w = fm.horizontalAdvance(QString("abcde").mid(k, 1));
        int ink = 0;
        for (int x = left; x < left + w; ++x)
            for (int y = 0; y < 16; ++y) {
                const TColor c = PixelAt(img, x, y);
                QVERIFY(c == clWhite || c == colors.at(k));
                ink += c == colors.at(k);
            }
        QVERIFY2(ink > 0, qPrintable(QString::number(k)));
        left += w;
    }
}

void TestShadowLabel::rightAlignedGradientStartsLeft()
{
    SL label;
    MakePlainLabel(label, "abcdef");
    label.resize(120, 16);
    label.SetAlignment(SL::taRightJustify);
    const int tw = QFontMetrics(label.font()).horizontalAdvance("abcdef");
    const QList<int> plain = InkColumns(label.grab().toImage(), clWhite);
    QVERIFY(plain.first() >= 120 - tw - 1);
    label.SetTextGradation(SL::tg2Colors);
    const QList<int> gradient = InkColumns(label.grab().toImage(), clWhite);
    QVERIFY(gradient.first() <= 2);
    QVERIFY(gradient.last() < tw + 1);
}

void TestShadowLabel::layoutOffset_data()
{
    QTest::addColumn<int>("layout");
    QTest::addColumn<int>("labelHeight");
    QTest::addColumn<int>("textHeight");
    QTest::addColumn<int>("offset");
    QTest::newRow("centre 11/11") << int(SL::tlCenter) << 11 << 11 << 0;
    QTest::newRow("centre 11/12") << int(SL::tlCenter) << 11 << 12 << 0;
    QTest::newRow("centre 11/13") << int(SL::tlCenter) << 11 << 13 << -1;
    QTest::newRow("centre 20/11") << int(SL::tlCenter) << 20 << 11 << 4;
    QTest::newRow("bottom 11/13") << int(SL::tlBottom) << 11 << 13 << -2;
    QTest::newRow("top") << int(SL::tlTop) << 20 << 11 << 0;
}

void TestShadowLabel::layoutOffset()
{
    QFETCH(int, layout);
    QFETCH(int, labelHeight);
    QFETCH(int, textHeight);
    QTEST(SL::LayoutOffset(SL::TTextLayout(layout), labelHeight, textHeight), "offset");
}

void TestShadowLabel::layoutMovesText()
{
    // The drawn text moves by the offset computed from the font's own height.
    SL label;
    MakePlainLabel(label, "Hg");
    label.resize(40, 30);
    const int top = TopInkRow(label.grab().toImage(), clWhite);
    QVERIFY(top >= 0);
    const int th = label.TextHeight();
    QCOMPARE(th, QFontMetrics(label.font()).boundingRect(QRect(0, 0, 40, 100), 0, "Hg").height());
    for (int height : {30, th - 1, th + 3}) {
        label.resize(40, height);
        for (SL::TTextLayout layout : {SL::tlCenter, SL::tlBottom}) {
            label.SetLayout(layout);
            const QImage img = label.grab().toImage();
            const int expected = top + SL::LayoutOffset(layout, height, th);
            if (expected >= 0)
                QCOMPARE(TopInkRow(img, clWhite), expected);
        }
        label.SetLayout(SL::tlTop);
    }
}

void TestShadowLabel::disabledColours()
{
    SL label;
    MakePlainLabel(label, "abc");
    label.resize(60, 16);
    label.Shadow()->SetShadowVisible(true);
    label.Shadow()->SetShadowLeft(30); // apart, so that each copy shows whole
    label.setEnabled(false);
    QImage img = label.grab().toImage();
    QSet<TColor> left, right;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 60; ++x)
            (x < 30 ? left : right) << PixelAt(img, x, y);
    QCOMPARE(left, (QSet<TColor>{clWhite, ColorToRGB(clBtnShadow)}));
    QCOMPARE(right, (QSet<TColor>{clWhite, clGray}));

    // A text gradation keeps its colours when disabled.
    label.Shadow()->SetShadowVisible(false);
    label.SetColor(clWhite);
    label.SetTextGradation(SL::tg2Colors);
    label.SetTextGradationColor(clRed);
    img = label.grab().toImage();
    bool red = false;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 60; ++x)
            red = red || PixelAt(img, x, y) == clRed;
    QVERIFY(red);
}

void TestShadowLabel::backgrounds()
{
    // Vertical gradient: the first row is the start colour, the last the label's colour.
    QImage bitmap(3, 5, QImage::Format_RGB32);
    SL::GradBitmap(bitmap, clBlue, clWhite, true);
    QCOMPARE(PixelAt(bitmap, 2, 0), clBlue);
    QCOMPARE(PixelAt(bitmap, 0, 2), RgbColor(127, 127, 255));
    QCOMPARE(PixelAt(bitmap, 1, 4), clWhite);
    SL::GradBitmap(bitmap, clWhite, clBlack, false);
    QCOMPARE(PixelAt(bitmap, 0, 4), clWhite);
    QCOMPARE(PixelAt(bitmap, 1, 3), RgbColor(127, 127, 127));
    QCOMPARE(PixelAt(bitmap, 2, 0), clBlack);
    // Opaque with a gradation fills the label; transparent paints no background at all.
    Panel panel(QSize(40, 20), clPanelFace);
    SL label(&panel.widget);
    MakePlainLabel(label, " ");
    label.resize(40, 20);
    label.SetGradation(true);
    label.SetGradateVert(true);
    label.SetGradationColor(clBlue);
    label.SetColor(clWhite);
    for (bool flickerless : {true, false}) {
        label.SetFlickerless(flickerless);
        const QImage img = panel.widget.grab().toImage();
        QCOMPARE(PixelAt(img, 5, 0), clBlue);
        QCOMPARE(PixelAt(img, 5, 19), clWhite);
    }
    label.SetTransparent(true);
    const QImage img = panel.widget.grab().toImage();
    QCOMPARE(PixelAt(img, 5, 0), clPanelFace);
    QCOMPARE(PixelAt(img, 5, 19), clPanelFace);
}

void TestShadowLabel::repaints_data()
{
    QTest::addColumn<int>("gradation");
    QTest::addColumn<QString>("property");
    QTest::addColumn<bool>("repaints");
    QTest::newRow("mid colour, 2 colours") << int(SL::tg2Colors) << "TextMidColor" << false;
    QTest::newRow("mid colour, 3 colours") << int(SL::tg3Colors) << "TextMidColor" << true;
    QTest::newRow("end colour, none") << int(SL::tgNone) << "TextGradationColor" << false;
    QTest::newRow("end colour, 2 colours") << int(SL::tg2Colors) << "TextGradationColor" << true;
    QTest::newRow("gradation colour") << int(SL::tgNone) << "GradationColor" << true;
}

void TestShadowLabel::repaints()
{
    QFETCH(int, gradation);
    QFETCH(QString, property);
    SL label;
    MakePlainLabel(label, "abc");
    label.SetTextGradation(SL::TTextGradation(gradation));
    label.show();
    QVERIFY(QTest::qWaitForWindowExposed(&label));
    QTest::qWait(20);
    PaintCounter counter;
    label.installEventFilter(&counter);
    label.setProperty(property.toLatin1(), QVariant::fromValue<TColor>(clLime));
    QTest::qWait(30);
    QTEST(counter.count > 0, "repaints");
    // The same value again never repaints.
    counter.count = 0;
    label.setProperty(property.toLatin1(), QVariant::fromValue<TColor>(clLime));
    QTest::qWait(30);
    QCOMPARE(counter.count, 0);
    // Any change of a shadow object repaints its label.
    label.Highlight()->SetShadowLeft(-2);
    QTest::qWait(30);
    QVERIFY(counter.count > 0);
}

void TestShadowLabel::autoSizeKeepsRightEdge()
{
    SL label;
    label.setFont(LabelFont());
    label.SetAlignment(SL::taRightJustify);
    label.setGeometry(8, 138, 53, 11);
    label.SetCaption(QString::fromUtf8("おまかせ-"));
    const QFontMetrics fm(label.font());
    const int tw = fm.horizontalAdvance(QString::fromUtf8("おまかせ-"));
    QVERIFY(label.width() >= tw && label.width() <= tw + 2); // bold may reach one pixel further
    QCOMPARE(label.height(), label.TextHeight());
    QCOMPARE(label.x() + label.width(), 61);
    const QRect sized = label.geometry();
    label.SetAutoSize(false);
    label.SetCaption("x");
    QCOMPARE(label.geometry(), sized);
}

void TestShadowLabel::windowShot()
{
    // "動画ﾌﾚｰﾑﾚｰﾄ" in the settings panel, as the main window sets it.
    Panel panel(QSize(100, 24), clPanelFace);
    SL label(&panel.widget);
    MakeWindowLabel(label, QString::fromUtf8("動画ﾌﾚｰﾑﾚｰﾄ"));
    label.move(8, 6);
    const QPixmap shot = panel.widget.grab();
    SaveShot(shot, "shadowlabel_frame_rate");
    const QImage img = shot.toImage();
    QSet<TColor> colors;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 100; ++x)
            colors << PixelAt(img, x, y);
    QCOMPARE(colors, (QSet<TColor>{clPanelFace, clTextGrey, clSilver}));
}

QTEST_MAIN(TestShadowLabel)
#include "tst_shadowlabel.moc"
