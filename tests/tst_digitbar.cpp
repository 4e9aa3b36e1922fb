#include "DigitBar.h"
#include "Errors.h"
#include "TestSupport.h"

#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <climits>

namespace {
const QString FormFace = QString::fromUtf8("ＭＳ Ｐゴシック");

QFont FormFont(int pixels)
{
    QFont f(FormFace);
    f.setPixelSize(pixels);
    return f;
}

// The smallest pixel size of the form face whose text is `height` high, or 0.
int PixelSizeForHeight(int height)
{
    for (int px = 6; px < 40; ++px)
        if (QFontMetrics(FormFont(px)).height() == height)
            return px;
    return 0;
}

void SendMouse(QWidget *w, QEvent::Type type, QPoint pos, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent ev(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, buttons,
                   Qt::NoModifier);
    QCoreApplication::sendEvent(w, &ev);
}

void Press(QWidget *w, QPoint pos, Qt::MouseButton button = Qt::LeftButton)
{
    SendMouse(w, QEvent::MouseButtonPress, pos, button, button);
}

void Release(QWidget *w, QPoint pos, Qt::MouseButton button = Qt::LeftButton)
{
    SendMouse(w, QEvent::MouseButtonRelease, pos, button, Qt::NoButton);
}

void Drag(QWidget *w, QPoint pos)
{
    SendMouse(w, QEvent::MouseMove, pos, Qt::NoButton, Qt::LeftButton);
}

QColor Pixel(const QImage &img, int x, int y)
{
    return QColor(img.pixel(x, y));
}

// The bar of the settings area, as the main window sets it up.
void SetUpLikeSettings(TDigitBar &bar, int min, int max, int position, TColor focusColor)
{
    bar.SetAutoSize(false);
    bar.resize(40, 160);
    bar.SetMax(max);
    bar.SetMin(min);
    bar.SetPosition(position);
    bar.SetColor(clWhite);
    bar.setFont(FormFont(12));
    bar.SetFontColor(clTextGrey);
    bar.SetBtnHeight(16);
    bar.SetFocusColor(focusColor);
    bar.SetModes(
        {dbmAllowTimer, dbmArrowKeys, dbmArrowWrap, dbmEnterNext, dbmPosClick, dbmPosMove});
}

class ThrowingBar : public TDigitBar
{
public:
    bool failing = false;
    void Change() override
    {
        TDigitBar::Change();
        if (failing)
            throw Exception(QStringLiteral("step failed"));
    }
};
} // namespace

class TestDigitBar : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void defaults();
    void setPosition_data();
    void setPosition();
    void boundsPullPosition_data();
    void boundsPullPosition();
    void formLoadOrder();
    void clampedSetters();
    void stepping_data();
    void stepping();
    void changeComesBeforeClick();
    void clickToPosition_data();
    void clickToPosition();
    void positionToClick_data();
    void positionToClick();
    void workedExample();
    void barPressAndDrag();
    void equalBoundsCentreTheBox();
    void buttonPressesAndRelease();
    void repeatTicks();
    void repeatTiming();
    void leavingStopsRepeat();
    void tickErrorStopsTimer();
    void modalBoxStopsRepeat();
    void keys();
    void arrowFocusMoves();
    void positionToStr_data();
    void positionToStr();
    void autoSize();
    void bevelPixels_data();
    void bevelPixels();
    void glyphsAndBox();
    void settingsAreaScreenshot();
};

void TestDigitBar::initTestCase()
{
    QFont::insertSubstitution(FormFace, QStringLiteral("IPAPGothic"));
}

void TestDigitBar::defaults()
{
    TDigitBar bar;
    QCOMPARE(bar.AutoSize(), true);
    QCOMPARE(bar.BtnHeight(), 10);
    QCOMPARE(bar.FocusColor(), TColor(16776960));
    QCOMPARE(bar.Increment(), 1);
    QCOMPARE(bar.Max(), 100);
    QCOMPARE(bar.Min(), 0);
    QCOMPARE(bar.Modes().toInt(), 35);
    QCOMPARE(bar.Position(), 0);
    QCOMPARE(bar.Color(), clWindow);
    QCOMPARE(bar.BarColor(), clBtnFace);
    QCOMPARE(bar.BevelWidth(), 2);
    QCOMPARE(bar.Spacing(), 1);
    QCOMPARE(bar.ClickState(), bcsNone);
    QCOMPARE(bar.focusPolicy(), Qt::StrongFocus);
    QVERIFY(!bar.RepeatTimer());
    QCOMPARE(bar.UpGlyph().size(), QSize(9, 6));
    QCOMPARE(bar.DownGlyph().size(), QSize(9, 6));
    // The published properties are reachable by name, as a form loader uses them.
    QCOMPARE(bar.property("Modes").value<TDigitBarModes>(), TDigitBar::DefaultModes());
    QVERIFY(bar.setProperty("Position", 42));
    QCOMPARE(bar.Position(), 42);
}

void TestDigitBar::setPosition_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("changes");
    QTest::newRow("inside") << 10 << 50 << 50 << 1;
    QTest::newRow("same value, no event") << 10 << 10 << 10 << 0;
    QTest::newRow("above Max clamps") << 10 << 1000 << 100 << 1;
    QTest::newRow("below Min clamps") << 10 << -5 << 0 << 1;
    QTest::newRow("clamped value equals current") << 100 << 250 << 100 << 0;
}

void TestDigitBar::setPosition()
{
    QFETCH(int, start);
    QFETCH(int, value);
    QFETCH(int, expected);
    QFETCH(int, changes);
    TDigitBar bar;
    bar.SetPosition(start);
    QSignalSpy spy(&bar, &TDigitBar::OnChange);
    bar.SetPosition(value);
    QCOMPARE(bar.Position(), expected);
    QCOMPARE(spy.count(), changes);
    if (changes)
        QCOMPARE(spy.at(0).at(0).value<QObject *>(), &bar);
}

void TestDigitBar::boundsPullPosition_data()
{
    QTest::addColumn<bool>("setMax");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expectedMin");
    QTest::addColumn<int>("expectedMax");
    QTest::addColumn<int>("expectedPos");
    QTest::addColumn<int>("changes");
    // Start: Min 10, Max 90, Position 50.
    QTest::newRow("Max below Position pulls it down") << true << 30 << 10 << 30 << 30 << 1;
    QTest::newRow("Max below Min becomes Min") << true << 5 << 10 << 10 << 10 << 1;
    QTest::newRow("Max above Position leaves it") << true << 70 << 10 << 70 << 50 << 0;
    QTest::newRow("Min above Position pushes it up") << false << 60 << 60 << 90 << 60 << 1;
    QTest::newRow("Min above Max becomes Max") << false << 200 << 90 << 90 << 90 << 1;
    QTest::newRow("Min below Position leaves it") << false << 0 << 0 << 90 << 50 << 0;
}

void TestDigitBar::boundsPullPosition()
{
    QFETCH(bool, setMax);
    QFETCH(int, value);
    QFETCH(int, expectedMin);
    QFETCH(int, expectedMax);
    QFETCH(int, expectedPos);
    QFETCH(int, changes);
    TDigitBar bar;
    bar.SetMax(90);
    bar.SetMin(10);
    bar.SetPosition(50);
    QSignalSpy spy(&bar, &TDigitBar::OnChange);
    if (setMax)
        bar.SetMax(value);
    else
        bar.SetMin(value);
    QCOMPARE(bar.Min(), expectedMin);
    QCOMPARE(bar.Max(), expectedMax);
    QCOMPARE(bar.Position(), expectedPos);
    QCOMPARE(spy.count(), changes);
}

void TestDigitBar::formLoadOrder()
{
    // A form sets Max, then Min, then Position: Min above the default Position
    // raises it on the way, the stored Position then gives the final value.
    TDigitBar bar;
    QSignalSpy spy(&bar, &TDigitBar::OnChange);
    bar.BeginLoad();
    bar.SetMax(768);
    bar.SetMin(8);
    QCOMPARE(bar.Position(), 8);
    bar.SetPosition(384);
    bar.Loaded();
    QCOMPARE(bar.Position(), 384);
    QCOMPARE(spy.count(), 2);
}

void TestDigitBar::clampedSetters()
{
    TDigitBar bar;
    bar.SetBevelWidth(0);
    QCOMPARE(bar.BevelWidth(), 1);
    bar.SetBevelWidth(-3);
    QCOMPARE(bar.BevelWidth(), 1);
    bar.SetSpacing(-1);
    QCOMPARE(bar.Spacing(), 0);
    bar.SetBtnHeight(-2); // not clamped
    QCOMPARE(bar.BtnHeight(), -2);
}

void TestDigitBar::stepping_data()
{
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("increment");
    QTest::addColumn<int>("start");
    QTest::addColumn<bool>("wrap");
    QTest::addColumn<bool>("up");
    QTest::addColumn<int>("expected");
    QTest::newRow("up") << 0 << 100 << 1 << 5 << false << true << 6;
    QTest::newRow("down") << 0 << 100 << 1 << 5 << false << false << 4;
    QTest::newRow("up at Max stays") << 0 << 100 << 1 << 100 << false << true << 100;
    QTest::newRow("down at Min stays") << 0 << 100 << 1 << 0 << false << false << 0;
    QTest::newRow("wrap up at Max gives Min") << 1 << 60 << 1 << 60 << true << true << 1;
    QTest::newRow("wrap down at Min gives Max") << 1 << 60 << 1 << 1 << true << false << 60;
    QTest::newRow("up near Max stops at Max") << 1 << 60 << 5 << 59 << true << true << 60;
    QTest::newRow("down near Min stops at Min") << 1 << 60 << 5 << 3 << true << false << 1;
    QTest::newRow("step of 5") << 8 << 768 << 5 << 384 << false << true << 389;
    QTest::newRow("Max = Min, up") << 7 << 7 << 1 << 7 << true << true << 7;
    QTest::newRow("Max = Min, down") << 7 << 7 << 1 << 7 << false << false << 7;
    QTest::newRow("Max - Increment below INT_MIN")
        << INT_MIN << INT_MIN + 5 << 10 << INT_MIN + 2 << false << true << INT_MIN + 5;
    QTest::newRow("Min + Increment above INT_MAX")
        << INT_MAX - 5 << INT_MAX << 10 << INT_MAX - 2 << false << false << INT_MAX - 5;
}

void TestDigitBar::stepping()
{
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(int, increment);
    QFETCH(int, start);
    QFETCH(bool, wrap);
    QFETCH(bool, up);
    QFETCH(int, expected);
    TDigitBar bar;
    bar.SetMax(max);
    bar.SetMin(min);
    bar.SetMax(max);
    bar.SetPosition(start);
    bar.SetIncrement(increment);
    TDigitBarModes modes = bar.Modes();
    modes.setFlag(dbmArrowWrap, wrap);
    bar.SetModes(modes);
    QCOMPARE(bar.Position(), start);
    QSignalSpy changes(&bar, &TDigitBar::OnChange);
    QSignalSpy clicks(&bar, &TDigitBar::OnClick);
    if (up)
        bar.DoUpClick();
    else
        bar.DoDownClick();
    QCOMPARE(bar.Position(), expected);
    QCOMPARE(changes.count(), expected == start ? 0 : 1);
    // OnClick comes even when nothing changed.
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(clicks.at(0).at(1).value<TBarClickType>(), up ? bctUp : bctDown);
}

void TestDigitBar::changeComesBeforeClick()
{
    TDigitBar bar;
    bar.SetAutoSize(false);
    bar.resize(40, 160);
    QStringList order;
    connect(&bar, &TDigitBar::OnChange, this, [&] { order << "change"; });
    connect(&bar, &TDigitBar::OnClick, this,
            [&](QObject *, TBarClickType t) { order << QString("click %1").arg(int(t)); });
    bar.DoUpClick();
    bar.DoPositionClick(20, bar.BarRect().y(), bctPosition);
    QCOMPARE(order, (QStringList{"change", "click 0", "change", "click 2"}));
}

void TestDigitBar::clickToPosition_data()
{
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("topY");
    QTest::addColumn<int>("bottomY");
    QTest::addColumn<int>("expected");
    QTest::newRow("at bottom") << 0 << 100 << 110 << 10 << 110 << 0;
    QTest::newRow("below bottom") << 0 << 100 << 500 << 10 << 110 << 0;
    QTest::newRow("at top") << 0 << 100 << 10 << 10 << 110 << 100;
    QTest::newRow("above top") << 0 << 100 << -20 << 10 << 110 << 100;
    QTest::newRow("middle") << 0 << 100 << 60 << 10 << 110 << 50;
    // 0 + 3 * 1/2 = 1.5 rounds up, -3 + 3 * 1/2 = -1.5 rounds down.
    QTest::newRow("half rounds up") << 0 << 3 << 11 << 10 << 12 << 2;
    QTest::newRow("negative half rounds down") << -3 << 0 << 11 << 10 << 12 << -2;
    QTest::newRow("below half rounds down") << 0 << 7 << 2 << 0 << 3 << 2; // 2.33
    QTest::newRow("negative, below half") << -7 << 0 << 1 << 0 << 3 << -2; // -2.33
    QTest::newRow("bottom above top") << 0 << 100 << 50 << 60 << 40 << 0;
    QTest::newRow("whole int range") << INT_MIN << INT_MAX << 60 << 10 << 110 << -1; // -0.5
}

void TestDigitBar::clickToPosition()
{
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(int, y);
    QFETCH(int, topY);
    QFETCH(int, bottomY);
    QFETCH(int, expected);
    TDigitBar bar;
    bar.SetMax(max);
    bar.SetMin(min);
    bar.SetMax(max);
    bar.SetPosition(min == 0 ? 37 : min);
    bar.ClickToPosition(y, topY, bottomY);
    QCOMPARE(bar.Position(), expected);
}

void TestDigitBar::positionToClick_data()
{
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("extent");
    QTest::addColumn<int>("expected");
    QTest::newRow("at Min") << 1 << 60 << 1 << 110 << 0;
    QTest::newRow("at Max") << 1 << 60 << 60 << 110 << 110;
    QTest::newRow("frame rate 15") << 1 << 60 << 15 << 110 << 26; // 14/59*110 = 26.1
    QTest::newRow("rounds half up") << 0 << 4 << 1 << 2 << 1;     // 0.5 + 0.5
    QTest::newRow("Max = Min") << 5 << 5 << 5 << 110 << -1;
    QTest::newRow("negative extent") << 0 << 10 << 10 << -7 << -6; // -7 + 0.5 truncated
}

void TestDigitBar::positionToClick()
{
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(int, position);
    QFETCH(int, extent);
    QFETCH(int, expected);
    TDigitBar bar;
    bar.SetMax(max);
    bar.SetMin(min);
    bar.SetPosition(position);
    QCOMPARE(bar.PositionToClick(extent), expected);
}

void TestDigitBar::workedExample()
{
    // Min 1, Max 60 on a 40 x 160 control, BtnHeight 16, a 12-pixel-high font.
    const int px = PixelSizeForHeight(12);
    QVERIFY2(px > 0, "no size of the face gives 12-pixel-high text");
    TDigitBar bar;
    bar.SetAutoSize(false);
    bar.resize(40, 160);
    bar.SetMax(60);
    bar.SetMin(1);
    bar.SetBtnHeight(16);
    bar.SetModes(bar.Modes() | dbmPosClick);
    bar.setFont(FormFont(px));
    QCOMPARE(bar.TextHeight(), 12);
    QCOMPARE(bar.BarRect(), QRect(0, 16, 40, 128));
    QCOMPARE(bar.ClickMargin(), 9);
    bar.SetPosition(1);
    QCOMPARE(bar.ValueBoxRect(), QRect(0, 126, 40, 18));
    bar.SetPosition(60);
    QCOMPARE(bar.ValueBoxRect(), QRect(0, 16, 40, 18));
    for (int y : {17, 25}) {
        bar.SetPosition(30);
        Press(&bar, QPoint(20, y));
        Release(&bar, QPoint(20, y));
        QCOMPARE(bar.Position(), 60);
    }
    for (int y : {135, 143}) {
        bar.SetPosition(30);
        Press(&bar, QPoint(20, y));
        Release(&bar, QPoint(20, y));
        QCOMPARE(bar.Position(), 1);
    }
    bar.SetPosition(30);
    Press(&bar, QPoint(20, 80));
    QCOMPARE(bar.Position(), 1 + qRound(59.0 * (135 - 80) / 110));
    Drag(&bar, QPoint(20, 20));
    QCOMPARE(bar.Position(), 60);
    Drag(&bar, QPoint(20, 140));
    QCOMPARE(bar.Position(), 1);
    Release(&bar, QPoint(20, 140));

    // The form face at 12 pixels, as the settings area has it, from its own height.
    bar.setFont(FormFont(12));
    const int th = bar.TextHeight();
    const int half = (th + 6) / 2;
    bar.SetPosition(1);
    QCOMPARE(bar.ValueBoxRect(), QRect(0, 144 - 2 * half, 40, 2 * half));
    bar.SetPosition(60);
    const int room = 128 - (th + 6);
    QCOMPARE(bar.ValueBoxRect().top(), 144 - half - room - half);
    QCOMPARE(bar.ClickMargin(), th / 2 + 3);
}

void TestDigitBar::barPressAndDrag()
{
    TDigitBar bar;
    bar.SetAutoSize(false);
    bar.resize(40, 160);
    bar.SetBtnHeight(16);
    const int top = bar.BarRect().y() + bar.ClickMargin();
    QSignalSpy clicks(&bar, &TDigitBar::OnClick);

    // Default modes: no press in the bar, but dragging works.
    Press(&bar, QPoint(20, top));
    QCOMPARE(bar.Position(), 0);
    QCOMPARE(clicks.count(), 0);
    Drag(&bar, QPoint(20, top));
    QCOMPARE(bar.Position(), 100);
    QCOMPARE(clicks.last().at(1).value<TBarClickType>(), bctMove);
    // Outside the bar (over the button, off the control) a drag does nothing.
    Drag(&bar, QPoint(20, 5));
    Drag(&bar, QPoint(60, 80));
    QCOMPARE(bar.Position(), 100);
    // The bar's edges belong to it.
    Drag(&bar, QPoint(40, 144));
    QCOMPARE(bar.Position(), 0);
    Release(&bar, QPoint(20, 80));

    // A move without the left button held sets nothing.
    SendMouse(&bar, QEvent::MouseMove, QPoint(20, top), Qt::NoButton, Qt::NoButton);
    QCOMPARE(bar.Position(), 0);

    bar.SetModes({dbmPosClick});
    clicks.clear();
    Press(&bar, QPoint(20, top));
    QCOMPARE(bar.Position(), 100);
    QCOMPARE(clicks.last().at(1).value<TBarClickType>(), bctPosition);
    Drag(&bar, QPoint(20, 140));
    QCOMPARE(bar.Position(), 100); // no dbmPosMove
    Release(&bar, QPoint(20, 140));

    // A drag that begins on a button also moves the box once in the bar.
    bar.SetModes({dbmPosMove});
    Press(&bar, QPoint(20, 150));
    QCOMPARE(bar.Position(), 99);
    Drag(&bar, QPoint(20, top));
    QCOMPARE(bar.Position(), 100);
    Release(&bar, QPoint(20, top));
}

void TestDigitBar::equalBoundsCentreTheBox()
{
    TDigitBar bar;
    bar.SetAutoSize(false);
    bar.resize(40, 160);
    bar.SetBtnHeight(16);
    bar.SetMax(5);
    bar.SetMin(5);
    const QRect box = bar.ValueBoxRect();
    const QRect barRect = bar.BarRect();
    QVERIFY(qAbs((box.top() - barRect.top()) - (barRect.bottom() - box.bottom())) <= 1);
    bar.SetModes({dbmPosClick});
    Press(&bar, QPoint(20, 20));
    Release(&bar, QPoint(20, 20));
    QCOMPARE(bar.Position(), 5);
}

void TestDigitBar::buttonPressesAndRelease()
{
    TDigitBar bar;
    bar.SetAutoSize(false);
    bar.resize(40, 160);
    bar.SetBtnHeight(16);
    bar.SetPosition(50);
    QSignalSpy clicks(&bar, &TDigitBar::OnClick);
    Press(&bar, QPoint(20, 15));
    QCOMPARE(bar.Position(), 51);
    QCOMPARE(bar.ClickState(), bcsUp);
    QVERIFY(bar.RepeatTimer() && bar.RepeatTimer()->isActive());
    QCOMPARE(bar.RepeatTimer()->interval(), 400);
    Release(&bar, QPoint(20, 15));
    QCOMPARE(bar.ClickState(), bcsNone);
    QVERIFY(!bar.RepeatTimer()->isActive());
    Press(&bar, QPoint(20, 144));
    QCOMPARE(bar.Position(), 50);
    QCOMPARE(bar.ClickState(), bcsDown);
    Release(&bar, QPoint(20, 144));
    QCOMPARE(clicks.count(), 2);
    QCOMPARE(clicks.at(1).at(1).value<TBarClickType>(), bctDown);

    // Without dbmAllowTimer no timer is made.
    TDigitBar plain;
    plain.SetModes({});
    Press(&plain, QPoint(5, 2));
    QVERIFY(!plain.RepeatTimer());
    QCOMPARE(plain.Position(), 1);

    // A right-button press starts the timer but steps nothing; its release stops it.
    Press(&bar, QPoint(20, 2), Qt::RightButton);
    QCOMPARE(bar.Position(), 50);
    QCOMPARE(bar.ClickState(), bcsNone);
    QVERIFY(bar.RepeatTimer()->isActive());
    bar.TimerExpired();
    QCOMPARE(bar.Position(), 50);
    Release(&bar, QPoint(20, 2), Qt::RightButton);
    QVERIFY(!bar.RepeatTimer()->isActive());
}

void TestDigitBar::repeatTicks()
{
    TDigitBar bar;
    bar.SetAutoSize(false);
    bar.resize(40, 160);
    bar.SetPosition(50);
    Press(&bar, QPoint(20, 155));
    QCOMPARE(bar.Position(), 49);
    bar.TimerExpired();
    QCOMPARE(bar.RepeatTimer()->interval(), 100);
    QCOMPARE(bar.Position(), 48);
    bar.TimerExpired();
    QCOMPARE(bar.Position(), 47);
    // A press in the bar repeats nothing.
    Release(&bar, QPoint(20, 155));
    bar.SetModes(bar.Modes() | dbmPosClick);
    Press(&bar, QPoint(20, 80));
    const int at = bar.Position();
    QCOMPARE(bar.RepeatTimer()->interval(), 400);
    bar.TimerExpired();
    QCOMPARE(bar.Position(), at);
    Release(&bar, QPoint(20, 80));
}

void TestDigitBar::repeatTiming()
{
    TDigitBar bar;
    bar.SetAutoSize(false);
    bar.resize(40, 160);
    QList<qint64> at;
    QElapsedTimer clock;
    connect(&bar, &TDigitBar::OnChange, this, [&] { at << clock.elapsed(); });
    clock.start();
    Press(&bar, QPoint(20, 2));
    QCOMPARE(at.size(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(at.size() >= 4, 3000);
    Release(&bar, QPoint(20, 2));
    const int steps = at.size();
    QVERIFY2(at[1] >= 395, qPrintable(QString::number(at[1])));
    QVERIFY2(at[2] - at[1] >= 95, qPrintable(QString::number(at[2] - at[1])));
    QVERIFY2(at[3] - at[2] >= 95, qPrintable(QString::number(at[3] - at[2])));
    QTest::qWait(250);
    QCOMPARE(at.size(), steps);
}

void TestDigitBar::leavingStopsRepeat()
{
    QWidget host;
    host.resize(200, 200);
    TDigitBar bar(&host);
    bar.SetAutoSize(false);
    bar.setGeometry(10, 10, 40, 160);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    Press(&bar, QPoint(20, 2));
    QCOMPARE(bar.Position(), 1);
    QCOMPARE(bar.ClickState(), bcsUp);
    const QImage pressed = bar.Render();
    Drag(&bar, QPoint(80, 2)); // off the control, button still held
    QVERIFY(!bar.RepeatTimer()->isActive());
    QCOMPARE(bar.ClickState(), bcsNone);
    QVERIFY(bar.Render() != pressed); // the button is drawn raised again
    Drag(&bar, QPoint(20, 2));        // coming back does not resume
    QVERIFY(!bar.RepeatTimer()->isActive());
    bar.TimerExpired();
    QCOMPARE(bar.Position(), 1);
    Release(&bar, QPoint(20, 2));

    // A leave event ends it as well.
    Press(&bar, QPoint(20, 2));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&bar, &leave);
    QVERIFY(!bar.RepeatTimer()->isActive());
    QCOMPARE(bar.ClickState(), bcsNone);
}

void TestDigitBar::tickErrorStopsTimer()
{
    MessageRecorder rec;
    ThrowingBar bar;
    bar.SetAutoSize(false);
    bar.resize(40, 160);
    Press(&bar, QPoint(20, 2));
    QCOMPARE(bar.Position(), 1);
    bar.failing = true;
    QTRY_VERIFY_WITH_TIMEOUT(!bar.RepeatTimer()->isActive(), 2000);
    QCOMPARE(bar.Position(), 2);
    QCOMPARE(rec.errors(), QStringList{"step failed"});
    // The failing press itself reports through the standard box too.
    Release(&bar, QPoint(20, 2));
    Press(&bar, QPoint(20, 2));
    QCOMPARE(rec.errors().size(), 2);
    Release(&bar, QPoint(20, 2));
}

void TestDigitBar::modalBoxStopsRepeat()
{
    QWidget host;
    TDigitBar bar(&host);
    bar.SetAutoSize(false);
    bar.setGeometry(0, 0, 40, 160);
    host.show();
    Press(&bar, QPoint(20, 2));
    QDialog box;
    box.setWindowModality(Qt::ApplicationModal);
    box.show();
    QVERIFY(QApplication::activeModalWidget() == &box);
    bar.TimerExpired();
    QCOMPARE(bar.Position(), 1);
    QVERIFY(!bar.RepeatTimer()->isActive());
    box.hide();
    bar.TimerExpired(); // the release went to the box; nothing resumes
    QCOMPARE(bar.Position(), 1);
}

void TestDigitBar::keys()
{
    TDigitBar bar;
    bar.SetPosition(10);
    QSignalSpy clicks(&bar, &TDigitBar::OnClick);
    QTest::keyPress(&bar, Qt::Key_Up);
    QCOMPARE(bar.Position(), 11);
    QCOMPARE(bar.ClickState(), bcsUp);
    QTest::keyRelease(&bar, Qt::Key_Up);
    QCOMPARE(bar.ClickState(), bcsNone);
    QTest::keyPress(&bar, Qt::Key_Down);
    QCOMPARE(bar.ClickState(), bcsDown);
    QTest::keyRelease(&bar, Qt::Key_Down);
    QTest::keyClick(&bar, Qt::Key_Down);
    QCOMPARE(bar.Position(), 9);
    QCOMPARE(clicks.count(), 3);
    // Held keys repeat through the keyboard; the repeat's releases keep the state.
    QTest::keyPress(&bar, Qt::Key_Up);
    QKeyEvent repeatRelease(QEvent::KeyRelease, Qt::Key_Up, Qt::NoModifier, QString(), true);
    QCoreApplication::sendEvent(&bar, &repeatRelease);
    QCOMPARE(bar.ClickState(), bcsUp);
    QTest::keyRelease(&bar, Qt::Key_Up);
    QCOMPARE(bar.ClickState(), bcsNone);
    // Any key release ends the pressed look.
    QTest::keyPress(&bar, Qt::Key_Up);
    QTest::keyRelease(&bar, Qt::Key_A);
    QCOMPARE(bar.ClickState(), bcsNone);
}

void TestDigitBar::arrowFocusMoves()
{
    QWidget host;
    auto *before = new QLineEdit(&host);
    auto *bar = new TDigitBar(&host);
    auto *after = new QLineEdit(&host);
    before->setGeometry(0, 0, 50, 20);
    bar->setGeometry(60, 0, 40, 160);
    after->setGeometry(110, 0, 50, 20);
    host.show();
    host.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&host));

    struct Case
    {
        TDigitBarModes modes;
        Qt::Key key;
        QWidget *expected;
        int position;
        int start = 0; // of Min 0, Max 100
    };
    const TDigitBarModes arrows{dbmArrowKeys};
    const TDigitBarModes enterNext{dbmEnterNext};
    const TDigitBarModes wrap{dbmArrowKeys, dbmArrowWrap};
    const Case cases[] = {
        {arrows, Qt::Key_Left, before, 0},
        {arrows, Qt::Key_Right, after, 0},
        {arrows, Qt::Key_Up, bar, 1},
        {arrows, Qt::Key_Return, bar, 0},
        {enterNext, Qt::Key_Return, after, 0},
        {enterNext, Qt::Key_Enter, after, 0},
        {{}, Qt::Key_Up, before, 0},
        {{}, Qt::Key_Left, before, 0},
        {{}, Qt::Key_Down, after, 0},
        {{}, Qt::Key_Right, after, 0},
        // A page is ten steps, with a step's limits and wrap.
        {arrows, Qt::Key_PageUp, bar, 60, 50},
        {arrows, Qt::Key_PageDown, bar, 40, 50},
        {arrows, Qt::Key_PageUp, bar, 100, 95},
        {arrows, Qt::Key_PageDown, bar, 0, 5},
        {wrap, Qt::Key_PageUp, bar, 0, 100},
        {wrap, Qt::Key_PageDown, bar, 100, 0},
        {wrap, Qt::Key_PageUp, bar, 100, 95},
        {arrows, Qt::Key_Home, bar, 0, 50},
        {arrows, Qt::Key_End, bar, 100, 50},
    };
    for (const Case &c : cases) {
        bar->SetModes(c.modes);
        bar->SetPosition(c.start);
        bar->setFocus();
        QVERIFY(bar->hasFocus());
        QTest::keyClick(bar, c.key);
        QCoreApplication::processEvents();
        QCOMPARE(QApplication::focusWidget(), c.expected);
        QCOMPARE(bar->Position(), c.position);
    }
    // A bar without a parent form has nowhere to send the focus.
    TDigitBar alone;
    alone.show();
    alone.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&alone));
    alone.setFocus();
    QTest::keyClick(&alone, Qt::Key_Right);
    QCoreApplication::processEvents();
    QCOMPARE(QApplication::focusWidget(), &alone);
}

void TestDigitBar::positionToStr_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<bool>("thousands");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("position_text");
    QTest::addColumn<QString>("max_text");
    QTest::newRow("plain") << "C" << false << 0 << 2000000 << 1234567 << "1234567"
                           << "2000000";
    QTest::newRow("thousands, C") << "C" << true << 0 << 2000000 << 1234567 << "1,234,567"
                                  << "2,000,000";
    QTest::newRow("thousands, German") << "de_DE" << true << 0 << 2000000 << 1234567 << "1.234.567"
                                       << "2.000.000";
    QTest::newRow("short numbers") << "C" << true << 8 << 768 << 384 << "384"
                                   << "768";
    QTest::newRow("longer Min wins") << "C" << false << -1000 << 5 << 0 << "0"
                                     << "-1000";
    QTest::newRow("equal length keeps Max") << "C" << false << -10 << 100 << 0 << "0"
                                            << "100";
}

void TestDigitBar::positionToStr()
{
    QFETCH(QString, locale);
    QFETCH(bool, thousands);
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(int, position);
    QFETCH(QString, position_text);
    QFETCH(QString, max_text);
    const QLocale saved;
    QLocale::setDefault(QLocale(locale));
    TDigitBar bar;
    bar.SetMax(max);
    bar.SetMin(min);
    bar.SetPosition(position);
    bar.SetModes(thousands ? TDigitBarModes{dbmThousands} : TDigitBarModes{});
    const QString pos = bar.PositionToStr(ptsPosition);
    const QString widest = bar.PositionToStr(ptsMaxStr);
    QLocale::setDefault(saved);
    QCOMPARE(pos, position_text);
    QCOMPARE(widest, max_text);
}

void TestDigitBar::autoSize()
{
    // Shown, so that size changes arrive at once.
    QWidget host;
    host.resize(300, 400);
    host.show();
    TDigitBar bar(&host);
    bar.show();
    bar.setFont(FormFont(12));
    bar.SetBtnHeight(16);
    bar.resize(10, 10);
    const QFontMetrics fm(bar.font());
    const int ring = 2 * (2 + 1);
    QCOMPARE(bar.size(), QSize(fm.horizontalAdvance("100") + ring, fm.height() + 32 + ring));

    // The control grows to fit but never shrinks in height; the width is exact.
    bar.resize(100, 300);
    QCOMPARE(bar.size(), QSize(fm.horizontalAdvance("100") + ring, 300));

    bar.SetMax(2000000);
    bar.SetModes(bar.Modes() | dbmThousands);
    QLocale loc;
    loc.setNumberOptions({});
    QCOMPARE(bar.width(), fm.horizontalAdvance(loc.toString(2000000)) + ring);

    bar.SetSpacing(4);
    QCOMPARE(bar.width(), fm.horizontalAdvance(loc.toString(2000000)) + 2 * (2 + 4));

    // Off: the size stays as it is set.
    bar.SetAutoSize(false);
    bar.resize(40, 160);
    bar.SetMax(5);
    QCOMPARE(bar.size(), QSize(40, 160));
    // While loading, a size change only repaints.
    bar.SetAutoSize(true);
    bar.BeginLoad();
    bar.resize(40, 160);
    QCOMPARE(bar.size(), QSize(40, 160));
    bar.Loaded();
    QCOMPARE(bar.width(), fm.horizontalAdvance("5") + 2 * (2 + 4));
}

void TestDigitBar::bevelPixels_data()
{
    QTest::addColumn<bool>("pressed");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<TColor>("expected");
    // Bar colour (100, 150, 200): highlight (228, 255, 255), shadow (0, 22, 72).
    const TColor hi = RgbColor(228, 255, 255);
    const TColor sh = RgbColor(0, 22, 72);
    const TColor shDark = RgbColor(0, 0, 0);
    const TColor hiDark = RgbColor(100, 127, 127);
    // The up button of a 40 x 160 bar, 16 high, bevel 2.
    QTest::newRow("raised top-left") << false << QPoint(0, 0) << hi;
    QTest::newRow("raised outer top") << false << QPoint(20, 0) << hi;
    QTest::newRow("raised outer left") << false << QPoint(0, 8) << hi;
    QTest::newRow("raised inner top") << false << QPoint(20, 1) << hi;
    QTest::newRow("raised outer right is dark") << false << QPoint(39, 8) << shDark;
    QTest::newRow("raised outer bottom is dark") << false << QPoint(20, 15) << shDark;
    QTest::newRow("raised inner right") << false << QPoint(38, 8) << sh;
    QTest::newRow("raised inner bottom") << false << QPoint(20, 14) << sh;
    QTest::newRow("raised face") << false << QPoint(2, 8) << RgbColor(100, 150, 200);
    QTest::newRow("pressed outer top") << true << QPoint(20, 0) << sh;
    QTest::newRow("pressed outer right") << true << QPoint(39, 8) << hi;
    QTest::newRow("pressed inner top is dark") << true << QPoint(20, 1) << shDark;
    QTest::newRow("pressed inner left is dark") << true << QPoint(1, 8) << shDark;
    QTest::newRow("pressed inner right is dark") << true << QPoint(38, 8) << hiDark;
    QTest::newRow("pressed inner bottom is dark") << true << QPoint(20, 14) << hiDark;
    QTest::newRow("pressed outer bottom") << true << QPoint(20, 15) << hi;
}

void TestDigitBar::bevelPixels()
{
    QFETCH(bool, pressed);
    QFETCH(QPoint, point);
    QFETCH(TColor, expected);
    TDigitBar bar;
    bar.SetAutoSize(false);
    bar.resize(40, 160);
    bar.SetBtnHeight(16);
    bar.SetBarColor(RgbColor(100, 150, 200));
    if (pressed)
        QTest::keyPress(&bar, Qt::Key_Up);
    const QImage img = bar.Render();
    QCOMPARE(Pixel(img, point.x(), point.y()), ToQColor(expected));
}

void TestDigitBar::glyphsAndBox()
{
    TDigitBar bar;
    bar.SetAutoSize(false);
    bar.resize(40, 160);
    bar.SetBtnHeight(16);
    bar.SetBarColor(clSilver);
    bar.SetColor(clWhite);
    bar.SetFocusColor(clVideoAccent);
    bar.SetPosition(50);

    // The glyphs: a triangle of rows 1, 3, 5, 7 in a white border.
    const QImage &up = bar.UpGlyph();
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 9; ++x) {
            const int half = y >= 1 && y <= 4 ? y - 1 : -1;
            const bool black = half >= 0 && std::abs(x - 4) <= half;
            QCOMPARE(QColor(up.pixel(x, y)), black ? QColor(Qt::black) : QColor(Qt::white));
            QCOMPARE(QColor(bar.DownGlyph().pixel(x, 5 - y)), QColor(up.pixel(x, y)));
        }
    }

    const QPoint upAt = TDigitBar::GlyphPos(bar.UpButtonRect(), QSize(9, 6));
    const QPoint downAt = TDigitBar::GlyphPos(bar.DownButtonRect(), QSize(9, 6));
    QCOMPARE(upAt, QPoint(15, 5));
    QCOMPARE(downAt, QPoint(15, 149));
    QImage img = bar.Render();
    QCOMPARE(Pixel(img, upAt.x() + 4, upAt.y() + 1), QColor(Qt::black));  // tip
    QCOMPARE(Pixel(img, upAt.x() + 1, upAt.y() + 4), QColor(Qt::black));  // base
    QCOMPARE(Pixel(img, upAt.x() + 1, upAt.y() + 1), ToQColor(clSilver)); // white left the face
    QCOMPARE(Pixel(img, downAt.x() + 4, downAt.y() + 4), QColor(Qt::black));

    // The box: frame in the system colours, fill in Color, digits inside.
    const QRect box = bar.ValueBoxRect();
    QCOMPARE(Pixel(img, 20, box.y()), ToQColor(clBtnShadow));
    QCOMPARE(Pixel(img, 20, box.y() + box.height() - 1), ToQColor(clBtnHighlight));
    QCOMPARE(Pixel(img, 3, box.y() + 3), QColor(Qt::white));
    bool digits = false;
    for (int y = box.y() + 2; y < box.y() + box.height() - 2; ++y)
        for (int x = 2; x < 38; ++x)
            digits = digits || Pixel(img, x, y) != QColor(Qt::white);
    QVERIFY(digits);
    // The groove beside the box.
    QCOMPARE(Pixel(img, 0, 20), ToQColor(bar.ShadowColor()));
    QCOMPARE(Pixel(img, 39, 20), ToQColor(bar.HighlightColor()));

    // Disabled: the triangles come out white, the box still shows the value.
    bar.setEnabled(false);
    img = bar.Render();
    QCOMPARE(Pixel(img, upAt.x() + 4, upAt.y() + 1), QColor(Qt::white));
    QCOMPARE(Pixel(img, downAt.x() + 4, downAt.y() + 4), QColor(Qt::white));
    QCOMPARE(Pixel(img, upAt.x() + 1, upAt.y() + 1), ToQColor(clSilver));
    QCOMPARE(Pixel(img, 3, box.y() + 3), QColor(Qt::white));
}

void TestDigitBar::settingsAreaScreenshot()
{
    QWidget panel;
    panel.resize(366, 260);
    panel.setAutoFillBackground(true);
    QPalette pal = panel.palette();
    pal.setColor(QPalette::Window, ToQColor(clPanelFace));
    panel.setPalette(pal);
    auto *bar1 = new TDigitBar(&panel);
    auto *bar2 = new TDigitBar(&panel);
    auto *bar3 = new TDigitBar(&panel);
    SetUpLikeSettings(*bar1, 1, 60, 15, clVideoAccent);
    SetUpLikeSettings(*bar2, 8, 768, 384, clVideoAccent);
    SetUpLikeSettings(*bar3, 8, 320, 64, clAudioAccent);
    bar1->move(24, 8);
    bar2->move(104, 8);
    bar3->move(300, 8);
    panel.show();
    panel.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&panel));
    bar1->setFocus();
    QVERIFY(bar1->hasFocus());
    QCOMPARE(bar1->size(), QSize(40, 160));

    const QImage shot = panel.grab().toImage();
    const QString dir = qEnvironmentVariable("PC_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        QVERIFY(shot.save(QDir(dir).filePath("digitbars.png")));

    // The focused bar fills its box with its focus colour, the others with white.
    const auto boxFill = [&](TDigitBar *bar) {
        const QRect box = bar->ValueBoxRect().translated(bar->pos());
        return QColor(shot.pixel(box.x() + 3, box.y() + 3));
    };
    QCOMPARE(boxFill(bar1), ToQColor(clVideoAccent));
    QCOMPARE(boxFill(bar2), QColor(Qt::white));
    QCOMPARE(boxFill(bar3), QColor(Qt::white));
}

QTEST_MAIN(TestDigitBar)
#include "tst_digitbar.moc"
