#include "NewHint.h"
#include "TestSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QTest>
#include <QToolTip>

#include <memory>

namespace {

// The hint appearance the main window gives its AppHint1.
void SetUpAsMainWindow(TAppHint &hint)
{
    hint.setBGColor(clBlack);
    hint.setBrushColor(clSilver);
    QFont font(QString::fromUtf8("ＭＳ Ｐゴシック"));
    font.setPixelSize(16);
    font.setBold(true);
    hint.setFont(font);
    hint.setFontColor(clWhite);
    hint.setHintPause(500);
    hint.setHintHidePause(2500);
    hint.setHintShortPause(0);
    hint.setHintStyle(hsRoundRect);
    hint.setShadowColor(clGray);
    hint.setShadowVisible(true);
}

// A hint window shown for a text at a place well inside the screen.
std::unique_ptr<THintEx> ShowHintWindow(const QString &text)
{
    auto window = std::make_unique<THintEx>();
    QRect rect = window->CalcHintRect(1024, text);
    rect.translate(100, 100);
    window->ActivateHint(rect, text);
    return window;
}

QRgb Pixel(const QImage &image, int x, int y)
{
    return image.pixel(x, y) & 0xFFFFFF;
}

QRgb Rgb(TColor c)
{
    return ToQColor(c).rgb() & 0xFFFFFF;
}

// The pixels of the image that differ from the background colour.
QSet<QPoint> Ink(const QImage &image, QRgb background, const QRect &area)
{
    QSet<QPoint> ink;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (Pixel(image, x, y) != background)
                ink.insert(QPoint(x, y));
    return ink;
}

// Inside the outline of a filled hint, away from its corners and the tail.
QRect TextArea(const THintEx &window)
{
    const QRect r = window.ActivationRect();
    const int top = window.Region().contains(QPoint(2, 2)) ? 2 : 10;
    return QRect(2, top, r.width() - 4, r.height() - top - 2);
}

// Every point of the region's outline polygon lies in the region, on its edge.
bool OnRegionEdge(const QRegion &region, const QPoint &p)
{
    if (!region.contains(p))
        return false;
    for (const QPoint &d : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)})
        if (!region.contains(p + d))
            return true;
    return false;
}

} // namespace

class TestNewHint : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void newestComponentIsActive();
    void hintRect();
    void regions_data();
    void regions();
    void roundRectOutlineFollowsRegion_data();
    void roundRectOutlineFollowsRegion();
    void roundRectAsMainWindow();
    void textShownAsWritten_data();
    void textShownAsWritten();
    void shadowBesideText_data();
    void shadowBesideText();
    void lineStringHalo();
    void ownerDraw();
    void noActiveComponentPaintsNothing();

    void hintShowsAfterPause();
    void hintHidesAfterHidePause();
    void shortPauseFromControlToControl_data();
    void shortPauseFromControlToControl();
    void pointerMovesRestartPause();
    void pressHidesHint();
    void hintPlacedAbovePointerMargin();
    void parentAndDisabledControlsShowHints();
    void showHintEventMayChangeHint();
    void changesAtRunTime();

private:
    // A window with three hinted controls, one plain area and a child
    // without hint inside a hinted parent.
    void MakeWindow();
    void Hover(QWidget *w, QPoint pos = QPoint(5, 5)) { QTest::mouseMove(w, pos); }
    bool HintVisible() const
    {
        return TAppHint::HintWindow() && TAppHint::HintWindow()->isVisible();
    }

    std::unique_ptr<QWidget> m_window;
    QWidget *m_a = nullptr;
    QWidget *m_b = nullptr;
    QWidget *m_plain = nullptr;
    QWidget *m_parent = nullptr;
    QWidget *m_child = nullptr;
    QWidget *m_disabled = nullptr;
};

void TestNewHint::initTestCase()
{
    QFont::insertSubstitution(QString::fromUtf8("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
}

void TestNewHint::cleanup()
{
    m_window.reset();
}

void TestNewHint::MakeWindow()
{
    m_window = std::make_unique<QWidget>();
    m_window->setGeometry(60, 60, 400, 200);
    auto make = [this](const QRect &r, const char *hint, QWidget *parent = nullptr) {
        auto *w = new QWidget(parent ? parent : m_window.get());
        w->setGeometry(r);
        w->setToolTip(QString::fromUtf8(hint));
        return w;
    };
    m_a = make({10, 10, 60, 40}, " 閉じる");
    m_b = make({70, 10, 60, 40}, " 最小化"); // touches m_a
    m_plain = make({200, 10, 60, 40}, "");
    m_parent = make({10, 100, 120, 80}, " 親");
    m_child = make({10, 10, 40, 40}, "", m_parent);
    m_disabled = make({200, 100, 60, 40}, " 変換後⇒ﾌｧｲﾙ保存");
    m_disabled->setEnabled(false);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    // Qt drops a move to where the pointer already is: start from a corner
    // no test hovers.
    Hover(m_window.get(), QPoint(395, 195));
}

void TestNewHint::newestComponentIsActive()
{
    QCOMPARE(TAppHint::Active(), nullptr);
    auto first = std::make_unique<TAppHint>();
    QCOMPARE(TAppHint::Active(), first.get());
    {
        TAppHint second;
        QCOMPARE(TAppHint::Active(), &second);
        first.reset(); // not the active one: the reference stays
        QCOMPARE(TAppHint::Active(), &second);
        // The pauses are the application's: every component sees the same.
        second.setHintPause(123);
        second.setHintHidePause(456);
        second.setHintShortPause(7);
        TAppHint third;
        QCOMPARE(third.HintPause(), 123);
        QCOMPARE(third.HintHidePause(), 456);
        QCOMPARE(third.HintShortPause(), 7);
    }
    QCOMPARE(TAppHint::Active(), nullptr);
}

void TestNewHint::hintRect()
{
    TAppHint hint;
    SetUpAsMainWindow(hint);
    THintEx window;
    QCOMPARE(window.font(), hint.Font()); // measured with the component's font
    const QString text = QString::fromUtf8(" 出力先フォルダ /home/user/Videos/converted/3gp");
    const QFontMetrics fm(hint.Font());
    const QRect oneLine = window.CalcHintRect(1024, text);
    QCOMPARE(oneLine.topLeft(), QPoint(0, 0));
    // Qt's extent rounds the fractional advances up.
    QVERIFY(qAbs(oneLine.width() - (fm.horizontalAdvance(text) + 6)) <= 1);
    QVERIFY(qAbs(oneLine.height() - (fm.height() + 2)) <= 1);
    const QRect wrapped = window.CalcHintRect(120, text);
    QVERIFY(wrapped.width() <= 120 + 6);
    QVERIFY(wrapped.height() >= 2 * fm.height() + 2);
    // The region and the window follow the taller rectangle.
    QRect rect = wrapped.translated(100, 100);
    window.ActivateHint(rect, text);
    QCOMPARE(window.height(), wrapped.height() + 4);
    QCOMPARE(window.Region().boundingRect(), QRect(0, 0, wrapped.width(), wrapped.height()));
}

void TestNewHint::regions_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QSize>("adjusted"); // of a 60 × 20 activation rectangle
    QTest::addColumn<QList<QPoint>>("inside");
    QTest::addColumn<QList<QPoint>>("outside");
    // hsFukidashi: 60 × 29, tail from (14, 0) down to the body's top at y 9.
    QTest::newRow("balloon") << int(hsFukidashi) << QSize(60, 29)
                             << QList<QPoint>{{12, 5}, {13, 2}, {0, 9}, {59, 9}, {0, 28}, {59, 28}}
                             << QList<QPoint>{{15, 5}, {5, 5}, {20, 8}, {60, 20}, {0, 29}, {9, 2}};
    // hsRoundRect: corners cut by an 8 × 8 ellipse; the 4 extra window rows
    // below H lie outside.
    QTest::newRow("round") << int(hsRoundRect) << QSize(60, 20)
                           << QList<QPoint>{{2, 0},   {1, 1},   {0, 2}, {57, 0},
                                            {59, 10}, {30, 19}, {2, 19}}
                           << QList<QPoint>{{0, 0},  {1, 0},   {0, 1},   {58, 0},
                                            {59, 0}, {59, 19}, {60, 10}, {30, 20}};
    // hsLineString: 81 × 32, the rectangle (1, 1)-(80, 31) exclusive.
    QTest::newRow("line") << int(hsLineString) << QSize(81, 32)
                          << QList<QPoint>{{1, 1}, {79, 30}, {40, 16}}
                          << QList<QPoint>{{0, 0}, {0, 10}, {80, 10}, {40, 31}};
    QTest::newRow("owner") << int(hsOwnerDraw) << QSize(60, 20) << QList<QPoint>{}
                           << QList<QPoint>{};
}

void TestNewHint::regions()
{
    QFETCH(int, style);
    QFETCH(QSize, adjusted);
    QFETCH(QList<QPoint>, inside);
    QFETCH(QList<QPoint>, outside);
    const auto s = THintStyle(style);
    const QRect rect = THintEx::AdjustRect(s, QRect(300, 200, 60, 20));
    QCOMPARE(rect.topLeft(), QPoint(300, 200));
    QCOMPARE(rect.size(), adjusted);
    const QRegion region = THintEx::HintRegion(s, rect.width(), rect.height());
    QCOMPARE(region.isEmpty(), s == hsOwnerDraw);
    for (const QPoint &p : inside)
        QVERIFY2(region.contains(p),
                 qPrintable(QStringLiteral("(%1, %2) should be inside").arg(p.x()).arg(p.y())));
    for (const QPoint &p : outside)
        QVERIFY2(!region.contains(p),
                 qPrintable(QStringLiteral("(%1, %2) should be outside").arg(p.x()).arg(p.y())));

    // The shown window carries that region, whatever the previous one was.
    TAppHint hint;
    hint.setHintStyle(s);
    THintEx window;
    window.ActivateHint(QRect(300, 200, 60, 20), QStringLiteral(" x"));
    QCOMPARE(window.Region(), region);
    QCOMPARE(window.mask(), region);
    QCOMPARE(window.size(), QSize(adjusted.width(), adjusted.height() + 4));
    hint.setHintStyle(s == hsOwnerDraw ? hsRoundRect : hsOwnerDraw);
    window.ActivateHint(QRect(300, 200, 60, 20), QStringLiteral(" x"));
    QVERIFY(window.mask() != region);
}

void TestNewHint::roundRectOutlineFollowsRegion_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("hint") << QSize(70, 22);
    QTest::newRow("small") << QSize(9, 9);
    QTest::newRow("thinner than the corner") << QSize(30, 5);
}

void TestNewHint::roundRectOutlineFollowsRegion()
{
    QFETCH(QSize, size);
    const int w = size.width();
    const int h = size.height();
    const QRegion region = THintEx::HintRegion(hsRoundRect, w, h);
    QCOMPARE(region.boundingRect(), QRect(0, 0, w, h));
    const QPolygon outline = THintEx::RoundRectOutline(0, 0, w, h, 8, 8);
    for (const QPoint &p : outline)
        QVERIFY2(OnRegionEdge(region, p),
                 qPrintable(QStringLiteral("(%1, %2)").arg(p.x()).arg(p.y())));
    // Drawn, the outline closes the region: no region pixel on the edge is
    // left unpainted.
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        p.setPen(Qt::black);
        p.drawPolygon(outline);
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool edge = OnRegionEdge(region, QPoint(x, y));
            const bool black = Pixel(image, x, y) == 0;
            QVERIFY2(!edge || black,
                     qPrintable(QStringLiteral("(%1, %2) not drawn").arg(x).arg(y)));
            QVERIFY2(!black || region.contains(QPoint(x, y)),
                     qPrintable(QStringLiteral("(%1, %2) outside").arg(x).arg(y)));
        }
}

void TestNewHint::roundRectAsMainWindow()
{
    TAppHint hint;
    SetUpAsMainWindow(hint);
    auto window = ShowHintWindow(QString::fromUtf8(" 閉じる"));
    const QImage image = window->grab().toImage();
    const int w = window->ActivationRect().width();
    const int h = window->ActivationRect().height();
    QCOMPARE(image.size(), QSize(w, h + 4));
    const QRgb black = Rgb(clBlack);
    const QRgb silver = Rgb(clSilver);
    // Black 1-pixel outline along the four sides.
    QCOMPARE(Pixel(image, w / 2, 0), black);
    QCOMPARE(Pixel(image, w / 2, h - 1), black);
    QCOMPARE(Pixel(image, 0, h / 2), black);
    QCOMPARE(Pixel(image, w - 1, h / 2), black);
    QCOMPARE(Pixel(image, 2, 0), black); // where the corner curve starts
    QCOMPARE(Pixel(image, 1, 1), black);
    // Silver inside, right of the text.
    QCOMPARE(Pixel(image, w - 3, h / 2), silver);
    QCOMPARE(Pixel(image, w - 3, 2), silver);
    // The corners themselves are cut away by the region.
    QVERIFY(!window->mask().contains(QPoint(0, 0)));
    QVERIFY(!window->mask().contains(QPoint(w - 1, h - 1)));
    QVERIFY(!window->mask().contains(QPoint(w / 2, h)));
    // White text with its grey shadow.
    const QSet<QPoint> ink = Ink(image, silver, TextArea(*window));
    int white = 0, grey = 0;
    for (const QPoint &p : ink) {
        const QColor c = image.pixelColor(p);
        white += c == Qt::white;
        // The shadow's grey, or grey blended into the silver around it.
        grey += c.red() == c.green() && c.green() == c.blue() && c.red() >= 0x80 && c.red() < 0xC0;
    }
    QVERIFY(white > 20);
    QVERIFY(grey > 10);
}

void TestNewHint::textShownAsWritten_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("without"); // the text less the character under test
    QTest::addColumn<QChar>("character");
    QTest::newRow("leading blank")
        << QString::fromUtf8(" 閉じる") << QString::fromUtf8("閉じる") << QChar(' ');
    QTest::newRow("ampersand") << QStringLiteral(" A&B") << QStringLiteral(" AB") << QChar('&');
}

void TestNewHint::textShownAsWritten()
{
    QFETCH(QString, text);
    QFETCH(QString, without);
    QFETCH(QChar, character);
    TAppHint hint;
    SetUpAsMainWindow(hint);
    hint.setShadowVisible(false);
    const int advance = QFontMetrics(hint.Font()).horizontalAdvance(character);
    auto a = ShowHintWindow(text);
    auto b = ShowHintWindow(without);
    QVERIFY(qAbs(a->width() - b->width() - advance) <= 1);
    // The character takes its room in the painted text, and nothing is
    // underlined as a mnemonic would be.
    auto extent = [](THintEx &window) {
        QRect r;
        for (const QPoint &p : Ink(window.grab().toImage(), Rgb(clSilver), TextArea(window)))
            r |= QRect(p, QSize(1, 1));
        return r;
    };
    QVERIFY(qAbs(extent(*a).right() - extent(*b).right() - advance) <= 1);
    QCOMPARE(extent(*a).bottom(), extent(*b).bottom());
}

void TestNewHint::shadowBesideText_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<bool>("shadow");
    QTest::newRow("round") << int(hsRoundRect) << true;
    QTest::newRow("balloon") << int(hsFukidashi) << true;
    QTest::newRow("round, no shadow") << int(hsRoundRect) << false;
}

void TestNewHint::shadowBesideText()
{
    QFETCH(int, style);
    QFETCH(bool, shadow);
    TAppHint hint;
    SetUpAsMainWindow(hint);
    hint.setHintStyle(THintStyle(style));
    const QString text = QString::fromUtf8(" 閉じる");
    auto window = ShowHintWindow(text);
    const QRect inner = TextArea(*window);
    // The text alone: shadow off, text red.
    hint.setShadowVisible(false);
    hint.setFontColor(clRed);
    const QSet<QPoint> textInk = Ink(window->grab().toImage(), Rgb(clSilver), inner);
    QVERIFY(!textInk.isEmpty());
    // The shadow alone: text in the fill colour, shadow red.
    hint.setShadowVisible(shadow);
    hint.setFontColor(clSilver);
    hint.setShadowColor(clRed);
    const QSet<QPoint> shadowInk = Ink(window->grab().toImage(), Rgb(clSilver), inner);
    if (!shadow) {
        QVERIFY(shadowInk.isEmpty());
        return;
    }
    QSet<QPoint> shifted;
    for (const QPoint &p : textInk)
        if (inner.contains(p + QPoint(1, 1)))
            shifted.insert(p + QPoint(1, 1));
    for (const QPoint &p : shadowInk)
        if (inner.contains(p - QPoint(1, 1)))
            QVERIFY2(shifted.contains(p), "shadow pixel without text one pixel up-left");
    // Where the text does not cover it, the whole shadow shows.
    for (const QPoint &p : shifted)
        if (!textInk.contains(p))
            QVERIFY2(shadowInk.contains(p), "text pixel without shadow one pixel down-right");
}

void TestNewHint::lineStringHalo()
{
    TAppHint hint;
    SetUpAsMainWindow(hint);
    hint.setHintStyle(hsLineString);
    hint.setFontColor(clWhite);
    hint.setShadowColor(clRed);
    auto window = ShowHintWindow(QStringLiteral(" I"));
    const QImage image = window->Render().toImage();
    const int h = window->ActivationRect().height();
    const int w = window->ActivationRect().width();
    // Nothing is erased or filled: away from text and line the window is
    // clear.
    QCOMPARE(qAlpha(image.pixel(w - 3, 3)), 0);
    // Leader line: from (1, 1) down to (17, H - 2), then along H - 2.
    QCOMPARE(Pixel(image, 1, 1), Rgb(clBlack));
    QCOMPARE(Pixel(image, 17, h - 2), Rgb(clBlack));
    QCOMPARE(Pixel(image, w - 2, h - 2), Rgb(clBlack));
    // The halo: the text's ink grown by one pixel on all four sides (away
    // from the leader line).
    auto inkBounds = [h](const QImage &im) {
        QRect r;
        for (int y = 0; y < h - 2; ++y)
            for (int x = 18; x < im.width(); ++x)
                if (qAlpha(im.pixel(x, y)) != 0)
                    r |= QRect(x, y, 1, 1);
        return r;
    };
    const QRect halo = inkBounds(image);
    hint.setShadowVisible(false);
    const QRect text = inkBounds(window->Render().toImage());
    QVERIFY(!text.isEmpty());
    QCOMPARE(halo, text.adjusted(-1, -1, 1, 1));
}

void TestNewHint::ownerDraw()
{
    TAppHint hint;
    hint.setHintStyle(hsOwnerDraw);
    QString seenText;
    QSize seenSize;
    connect(&hint, &TAppHint::OnPaint, this,
            [&](const QString &text, QPainter *canvas, int width, int height) {
                seenText = text;
                seenSize = QSize(width, height);
                canvas->fillRect(0, 0, 3, 3, ToQColor(clRed));
            });
    auto window = ShowHintWindow(QStringLiteral(" own"));
    const QImage image = window->grab().toImage();
    QCOMPARE(seenText, QStringLiteral(" own"));
    QCOMPARE(seenSize, window->size());
    QCOMPARE(Pixel(image, 1, 1), Rgb(clRed));
    // Beneath what OnPaint draws: the window's own colour.
    QCOMPARE(Pixel(image, window->width() - 2, window->height() - 2), Rgb(clInfoBk));
    QVERIFY(window->mask().isEmpty());
}

void TestNewHint::noActiveComponentPaintsNothing()
{
    QCOMPARE(TAppHint::Active(), nullptr);
    auto window = ShowHintWindow(QStringLiteral(" none"));
    QVERIFY(window->mask().isEmpty());
    const QImage image = window->Render().toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            QCOMPARE(qAlpha(image.pixel(x, y)), 0);
}

void TestNewHint::hintShowsAfterPause()
{
    TAppHint hint;
    SetUpAsMainWindow(hint);
    hint.setHintPause(300);
    MakeWindow();
    QElapsedTimer clock;
    clock.start();
    Hover(m_a);
    QTest::qWait(150);
    // Unless a busy machine stalled for longer than the pause.
    if (clock.elapsed() < 300)
        QVERIFY(!HintVisible());
    QTRY_VERIFY_WITH_TIMEOUT(HintVisible(), 10000);
    QCOMPARE(TAppHint::HintControl(), m_a);
    QCOMPARE(TAppHint::HintWindow()->Caption(), QString::fromUtf8(" 閉じる"));
    // Qt's own tooltip never comes up.
    QTest::qWait(800);
    QVERIFY(!QToolTip::isVisible());
}

void TestNewHint::hintHidesAfterHidePause()
{
    TAppHint hint;
    SetUpAsMainWindow(hint);
    hint.setHintPause(50);
    hint.setHintHidePause(400);
    MakeWindow();
    Hover(m_a);
    QTRY_VERIFY_WITH_TIMEOUT(HintVisible(), 10000);
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(200);
    // Unless a busy machine stalled for longer than the hide pause.
    if (clock.elapsed() < 400)
        QVERIFY(HintVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!HintVisible(), 10000);
    // Resting on the same control does not bring it back.
    Hover(m_a, QPoint(8, 8));
    QTest::qWait(200);
    QVERIFY(!HintVisible());
    // Leaving and coming back does.
    Hover(m_plain);
    Hover(m_a);
    QTRY_VERIFY_WITH_TIMEOUT(HintVisible(), 1000);
}

void TestNewHint::shortPauseFromControlToControl_data()
{
    QTest::addColumn<bool>("direct"); // from m_a straight onto m_b
    QTest::addColumn<bool>("fast");   // m_b's hint after the short pause
    QTest::newRow("straight across") << true << true;
    QTest::newRow("over a plain area") << false << false;
}

void TestNewHint::shortPauseFromControlToControl()
{
    QFETCH(bool, direct);
    QFETCH(bool, fast);
    TAppHint hint;
    SetUpAsMainWindow(hint);
    hint.setHintPause(300);
    hint.setHintShortPause(0);
    MakeWindow();
    Hover(m_a);
    QTRY_VERIFY_WITH_TIMEOUT(HintVisible(), 5000);
    // The full pause from now on is longer than any wait below.
    hint.setHintPause(60000);
    if (!direct) {
        Hover(m_plain);
        QVERIFY(!HintVisible());
    }
    Hover(m_b);
    if (!fast) {
        QTest::qWait(500);
        QVERIFY(!HintVisible());
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(HintVisible(), 10000);
    QCOMPARE(TAppHint::HintWindow()->Caption(), QString::fromUtf8(" 最小化"));
}

void TestNewHint::pointerMovesRestartPause()
{
    TAppHint hint;
    SetUpAsMainWindow(hint);
    const int pause = 1000;
    hint.setHintPause(pause);
    MakeWindow();
    // Moves for longer than the pause, each less than the pause after the
    // last: no hint while they go on.
    QElapsedTimer clock;
    clock.start();
    qint64 lastMove = clock.elapsed();
    Hover(m_a, QPoint(5, 5));
    for (int i = 1; i < 15; ++i) {
        QTest::qWait(100);
        // A machine stalled for longer than the pause may rightly show it.
        if (clock.elapsed() - lastMove >= pause)
            break;
        QVERIFY(!HintVisible());
        lastMove = clock.elapsed();
        Hover(m_a, QPoint(5 + i, 5));
    }
    QTRY_VERIFY_WITH_TIMEOUT(HintVisible(), 10000);
}

void TestNewHint::pressHidesHint()
{
    TAppHint hint;
    SetUpAsMainWindow(hint);
    hint.setHintPause(50);
    MakeWindow();
    Hover(m_a);
    QTRY_VERIFY_WITH_TIMEOUT(HintVisible(), 1000);
    QTest::mousePress(m_a, Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(!HintVisible());
    QTest::mouseRelease(m_a, Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(!HintVisible());
    // Resting again after the click shows it again.
    Hover(m_a, QPoint(6, 6));
    QTRY_VERIFY_WITH_TIMEOUT(HintVisible(), 1000);
}

void TestNewHint::hintPlacedAbovePointerMargin()
{
    TAppHint hint;
    SetUpAsMainWindow(hint);
    hint.setHintPause(50);
    MakeWindow();
    Hover(m_a, QPoint(20, 15));
    QTRY_VERIFY_WITH_TIMEOUT(HintVisible(), 1000);
    const QPoint cursor = m_a->mapToGlobal(QPoint(20, 15));
    QCOMPARE(TAppHint::HintWindow()->pos(), cursor + QPoint(0, THintEx::CursorHeightMargin - 8));
    // Near the screen's right edge the hint is kept on the screen.
    const QRect screen = QGuiApplication::primaryScreen()->virtualGeometry();
    const QRect kept = THintEx::WindowRect(QRect(screen.right() - 10, 50, 80, 20), screen);
    QCOMPARE(kept, QRect(screen.right() - 79, 50, 80, 24));
}

void TestNewHint::parentAndDisabledControlsShowHints()
{
    TAppHint hint;
    SetUpAsMainWindow(hint);
    hint.setHintPause(50);
    MakeWindow();
    Hover(m_child);
    QTRY_VERIFY_WITH_TIMEOUT(HintVisible(), 1000);
    QCOMPARE(TAppHint::HintControl(), m_parent);
    Hover(m_plain);
    QVERIFY(!HintVisible());
    Hover(m_disabled);
    QTRY_VERIFY_WITH_TIMEOUT(HintVisible(), 1000);
    QCOMPARE(TAppHint::HintWindow()->Caption(), QString::fromUtf8(" 変換後⇒ﾌｧｲﾙ保存"));
}

void TestNewHint::showHintEventMayChangeHint()
{
    TAppHint hint;
    SetUpAsMainWindow(hint);
    hint.setHintPause(50);
    bool allow = true;
    QPoint seenPos;
    connect(&hint, &TAppHint::OnShowHint, this, [&](QString &text, bool &canShow, THintInfo &info) {
        seenPos = info.HintPos;
        text = QStringLiteral(" changed & shown");
        canShow = allow;
    });
    MakeWindow();
    Hover(m_a);
    QTRY_VERIFY_WITH_TIMEOUT(HintVisible(), 1000);
    QCOMPARE(TAppHint::HintWindow()->Caption(), QStringLiteral(" changed & shown"));
    // The event sees the position already raised.
    QCOMPARE(seenPos, m_a->mapToGlobal(QPoint(5, 5)) + QPoint(0, THintEx::CursorHeightMargin - 8));
    allow = false;
    Hover(m_plain);
    Hover(m_b);
    QTest::qWait(700);
    QVERIFY(!HintVisible());
}

void TestNewHint::changesAtRunTime()
{
    TAppHint hint;
    SetUpAsMainWindow(hint);
    hint.setHintPause(50);
    hint.setHintHidePause(-1);
    MakeWindow();
    Hover(m_a);
    QTRY_VERIFY_WITH_TIMEOUT(HintVisible(), 1000);
    QPointer<THintEx> window = TAppHint::HintWindow();
    const int w = window->ActivationRect().width();
    const int h = window->ActivationRect().height();
    // Brush, pen and shadow colour: the next paint, the same window.
    hint.setBrushColor(clNavy);
    hint.setPenColor(clRed);
    const QImage image = window->grab().toImage();
    QCOMPARE(TAppHint::HintWindow(), window.data());
    QCOMPARE(Pixel(image, w - 3, h / 2), Rgb(clNavy));
    QCOMPARE(Pixel(image, w / 2, 0), Rgb(clRed));
    // A new font: the hint goes and a new window measures the next one.
    QFont bigger = hint.Font();
    bigger.setPixelSize(24);
    hint.setFont(bigger);
    QVERIFY(!HintVisible());
    Hover(m_plain);
    Hover(m_b);
    QTRY_VERIFY_WITH_TIMEOUT(HintVisible(), 1000);
    QVERIFY(TAppHint::HintWindow() != window.data());
    QCOMPARE(TAppHint::HintWindow()->height(), QFontMetrics(bigger).height() + 2 + 4);
}

QTEST_MAIN(TestNewHint)
#include "tst_newhint.moc"
