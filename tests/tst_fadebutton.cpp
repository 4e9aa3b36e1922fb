#include "AccessibleFactory.h"
#include "Colors.h"
#include "Fonts.h"
#include "PCVFadeButton.h"
#include "TestSupport.h"

#include <QAccessible>
#include <QDialog>
#include <QFontMetrics>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {
TColor PixelAt(const QImage &img, int x, int y)
{
    return FromQColor(img.pixelColor(x, y));
}

// Runs fade ticks until the timer stops; gives the number of ticks.
int RunFade(TPCVFadeButton &b)
{
    int ticks = 0;
    while (b.FadeTimer()->isActive() && ticks < 1000) {
        b.Animate();
        ++ticks;
    }
    return ticks;
}

// The progress window's cancel button: grey panel, silver face, grey border fading to black.
void MakeCancelButton(TPCVFadeButton &b)
{
    b.setGeometry(0, 0, 20, 20);
    b.SetCaption(QString::fromUtf8("×"));
    b.setFont(PixelFont("Tahoma", 12, true));
    b.SetFontColor(clWhite);
    b.SetColor(clSilver);
    b.SetDestColor(clSilver);
    b.SetShowBorder(true);
    b.SetBorderHeight(1);
    b.SetBorderColor(clGray);
    b.SetBorderDestColor(clBlack);
    b.SetCaptionOverColor(clYellow);
    b.SetFadeOnOver(true);
    b.SetFadeOnLeave(true);
    b.SetStep(2);
    b.SetSpeed(12);
}
} // namespace

class TestFadeButton : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { InstallFontSubstitutes(); }
    void fade_data();
    void fade();
    void captionColour();
    void moveWhileFadingBackKeepsDirection();
    void speedChangesRunningTimer();
    void borderBands_data();
    void borderBands();
    void wideCaptionIsCentredAndCut();
    void clickAndEnabled();
    void accessiblePress_data();
    void accessiblePress();
    void realHover();
    void windowButtons();
};

void TestFadeButton::fade_data()
{
    QTest::addColumn<TColor>("color");
    QTest::addColumn<TColor>("dest");
    QTest::addColumn<TColor>("border");
    QTest::addColumn<TColor>("borderDest");
    QTest::addColumn<int>("overTicks");
    QTest::addColumn<TColor>("borderOver");
    QTest::addColumn<int>("backTicks");
    QTest::addColumn<TColor>("borderBack");
    // Green 128 rises by 2 to 254, then 256 is lowered to 255.
    QTest::newRow("green to lime")
        << clGreen << clLime << clSilver << clWhite << 64 << clWhite << 64 << clSilver;
    // Face equal to its over colour stops at the first tick; the border is
    // raised to grey and lowered to black, both ways.
    QTest::newRow("cancel button")
        << clSilver << clSilver << clGray << clBlack << 1 << clBlack << 1 << clBlack;
    // The title buttons: 157 to 192 in steps of 2, the last step lowered.
    QTest::newRow("title button") << clTitleButtonGrey << clSilver << clGray << clBlack << 18
                                  << clBlack << 18 << clBlack;
}

void TestFadeButton::fade()
{
    QFETCH(TColor, color);
    QFETCH(TColor, dest);
    QFETCH(TColor, border);
    QFETCH(TColor, borderDest);
    TPCVFadeButton b;
    b.SetColor(color);
    b.SetDestColor(dest);
    b.SetBorderColor(border);
    b.SetBorderDestColor(borderDest);

    b.MouseMove(Qt::NoModifier, 5, 5);
    QVERIFY(b.FadeTimer()->isActive());
    QCOMPARE(b.FadeDelta(), 2);
    QTEST(RunFade(b), "overTicks");
    QCOMPARE(b.CurrentColor(), dest);
    QTEST(b.CurrentBorderColor(), "borderOver");

    b.MouseLeave();
    QVERIFY(b.FadeTimer()->isActive());
    QCOMPARE(b.FadeDelta(), -2);
    QTEST(RunFade(b), "backTicks");
    QCOMPARE(b.CurrentColor(), color);
    QTEST(b.CurrentBorderColor(), "borderBack");
}

void TestFadeButton::captionColour()
{
    TPCVFadeButton b;
    QCOMPARE(b.SavedFontColor(), clBlack);
    b.SetCaptionOverColor(clYellow);
    b.MouseMove(Qt::NoModifier, 1, 1);
    b.MouseMove(Qt::NoModifier, 2, 2); // already yellow: the saved colour stays
    QCOMPARE(b.FontColor(), clYellow);
    QCOMPARE(b.SavedFontColor(), clWhite);
    b.MouseLeave();
    QCOMPARE(b.FontColor(), clWhite);
    // A leave without a mouse-over (a disabled button crossed by the mouse)
    // keeps the caption's colour instead of the initial saved black.
    for (bool fadeOnLeave : {true, false}) {
        TPCVFadeButton d;
        d.SetFadeOnLeave(fadeOnLeave);
        QSignalSpy left(&d, &TPCVFadeButton::onMouseLeave);
        d.MouseLeave();
        QCOMPARE(d.FontColor(), clWhite);
        QCOMPARE(left.count(), 1);
    }
}

void TestFadeButton::moveWhileFadingBackKeepsDirection()
{
    TPCVFadeButton b;
    b.MouseMove(Qt::NoModifier, 1, 1);
    RunFade(b);
    b.MouseLeave();
    b.Animate();
    b.MouseMove(Qt::NoModifier, 1, 1);
    QCOMPARE(b.FadeDelta(), -2);     // the timer still runs, so no new fade toward the over colour
    QCOMPARE(b.FontColor(), clLime); // the caption changes at once all the same
    RunFade(b);
    QCOMPARE(b.CurrentColor(), clGreen);
}

void TestFadeButton::speedChangesRunningTimer()
{
    TPCVFadeButton b;
    b.MouseMove(Qt::NoModifier, 1, 1);
    QVERIFY(b.FadeTimer()->isActive());
    b.SetSpeed(12);
    QVERIFY(b.FadeTimer()->isActive());
    QCOMPARE(b.FadeTimer()->interval(), 12);
    // And the timer really drives the fade.
    QTRY_VERIFY_WITH_TIMEOUT(!b.FadeTimer()->isActive(), 5000);
    QCOMPARE(b.CurrentColor(), clLime);
}

void TestFadeButton::borderBands_data()
{
    QTest::addColumn<int>("pen");
    QTest::addColumn<int>("leftTop");     // visible thickness on the left and top
    QTest::addColumn<int>("rightBottom"); // and on the right and bottom
    QTest::newRow("1") << 1 << 1 << 1;
    QTest::newRow("2") << 2 << 1 << 2; // the convert button
    QTest::newRow("3") << 3 << 2 << 2;
    QTest::newRow("0 is one pixel") << 0 << 1 << 1;
}

void TestFadeButton::borderBands()
{
    QFETCH(int, pen);
    QFETCH(int, leftTop);
    QFETCH(int, rightBottom);
    TPCVFadeButton b;
    b.resize(30, 16);
    b.SetColor(clSilver);
    b.SetBorderColor(clGray);
    b.SetBorderHeight(pen);
    const QImage img = b.Draw().toImage();
    const int y = 8; // no caption: the middle row shows only face and border
    for (int x = 0; x < 30; ++x) {
        const bool border = x < leftTop || x >= 30 - rightBottom;
        QCOMPARE(PixelAt(img, x, y), border ? clGray : clSilver);
    }
    for (int yy = 0; yy < 16; ++yy) {
        const bool border = yy < leftTop || yy >= 16 - rightBottom;
        QCOMPARE(PixelAt(img, 15, yy), border ? clGray : clSilver);
    }

    // Without a pen the face leaves the last row and column of the picture.
    b.SetShowBorder(false);
    const QImage bare = b.Draw().toImage();
    QCOMPARE(PixelAt(bare, 0, 0), clSilver);
    QCOMPARE(PixelAt(bare, 28, 14), clSilver);
    QCOMPARE(PixelAt(bare, 29, 5), clWhite);
    QCOMPARE(PixelAt(bare, 5, 15), clWhite);
}

void TestFadeButton::wideCaptionIsCentredAndCut()
{
    TPCVFadeButton b;
    b.resize(20, 20);
    b.setFont(PixelFont("Tahoma", 12, true));
    b.SetColor(clSilver);
    b.SetBorderColor(clGray);
    b.SetCaption("Cancel all");
    const QFontMetrics fm(b.font());
    const int tw = fm.horizontalAdvance(b.Caption());
    const int th = fm.height();
    QVERIFY(tw > 20);

    // The whole caption drawn on its own, face behind it.
    QPixmap whole(tw, th);
    whole.fill(ToQColor(clSilver));
    {
        QPainter p(&whole);
        p.setFont(b.font());
        p.setPen(ToQColor(clWhite));
        p.drawText(0, fm.ascent(), b.Caption());
    }
    const QImage text = whole.toImage();
    const QImage img = b.Draw().toImage();
    const int x0 = 10 - tw / 2;
    const int y0 = 10 - th / 2;
    QCOMPARE(b.CaptionRect(b.size(), QSize(tw, th)).topLeft(), QPoint(x0, y0));
    bool leftInk = false, rightInk = false;
    for (int y = 0; y < th; ++y) {
        for (int x = 0; x < 20; ++x) {
            if (y0 + y < 0 || y0 + y >= 20)
                continue;
            const TColor expected = PixelAt(text, x - x0, y);
            QCOMPARE(PixelAt(img, x, y0 + y), expected);
            if (expected == clWhite && x < 3)
                leftInk = true;
            if (expected == clWhite && x > 16)
                rightInk = true;
        }
    }
    QVERIFY(leftInk && rightInk); // cut at both sides
}

void TestFadeButton::clickAndEnabled()
{
    QWidget parent;
    parent.resize(100, 60);
    TPCVFadeButton b(&parent);
    b.setGeometry(10, 10, 40, 20);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QSignalSpy clicks(&b, &TPCVFadeButton::OnClick);
    QTest::mouseClick(&b, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(clicks.first().first().value<QObject *>(), &b);
    // Pressed inside, released outside: no click.
    QTest::mousePress(&b, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QTest::mouseRelease(&b, Qt::LeftButton, Qt::NoModifier, QPoint(60, 5));
    QCOMPARE(clicks.count(), 1);
    QTest::mouseClick(&b, Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
    QCOMPARE(clicks.count(), 1);

    b.SetCaption("Go");
    const QImage enabled = b.grab().toImage();
    b.setEnabled(false);
    QCOMPARE(b.grab().toImage(), enabled);
    QTest::mouseClick(&b, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QCOMPARE(clicks.count(), 1);
}

void TestFadeButton::accessiblePress_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("modalBox"); // another window holds the input
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("clicks");
    QTest::newRow("caption") << "Del" << true << false << "Del"
                             << "一覧をｸﾘｱ" << 1;
    QTest::newRow("symbol") << "×" << true << false << "一覧をｸﾘｱ"
                            << "" << 1;
    QTest::newRow("disabled") << "Del" << false << false << "Del"
                              << "一覧をｸﾘｱ" << 0;
    QTest::newRow("under a modal box") << "Del" << true << true << "Del"
                                       << "一覧をｸﾘｱ" << 0;
}

void TestFadeButton::accessiblePress()
{
    QFETCH(QString, caption);
    QFETCH(bool, enabled);
    QFETCH(bool, modalBox);
    QFETCH(QString, name);
    QFETCH(QString, description);
    QFETCH(int, clicks);
    InstallAccessibleFactory();
    QWidget parent;
    TPCVFadeButton b(&parent);
    b.SetCaption(caption);
    b.setToolTip(" 一覧をｸﾘｱ");
    b.setEnabled(enabled);
    parent.show();
    QDialog box;
    box.setModal(true);
    if (modalBox)
        box.show();
    QSignalSpy clicked(&b, &TPCVFadeButton::OnClick);
    QAccessibleInterface *a = QAccessible::queryAccessibleInterface(&b);
    QCOMPARE(a->role(), QAccessible::Button);
    QCOMPARE(a->text(QAccessible::Name), name);
    QCOMPARE(a->text(QAccessible::Description), description);
    QCOMPARE(a->state().disabled, !enabled);
    a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(clicked.count(), 0); // not while the screen reader waits
    QCoreApplication::processEvents();
    QCOMPARE(clicked.count(), clicks);
}

void TestFadeButton::realHover()
{
    QWidget parent;
    parent.resize(100, 60);
    TPCVFadeButton b(&parent);
    b.setGeometry(10, 10, 40, 20);
    b.SetCaptionOverColor(clYellow);
    QSignalSpy left(&b, &TPCVFadeButton::onMouseLeave);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QTest::mouseMove(&parent, QPoint(20, 20));
    QTRY_COMPARE(b.FontColor(), clYellow);
    QTest::mouseMove(&parent, QPoint(80, 50));
    QTRY_COMPARE(left.count(), 1);
    QCOMPARE(b.FontColor(), clWhite);
    QCOMPARE(b.FadeDelta(), -2);
}

void TestFadeButton::windowButtons()
{
    // The cancel button on its grey panel, at rest and under the mouse.
    QWidget panel;
    panel.resize(20, 20);
    panel.setAutoFillBackground(true);
    QPalette pal = panel.palette();
    pal.setColor(QPalette::Window, ToQColor(clGray));
    panel.setPalette(pal);
    TPCVFadeButton cancel(&panel);
    MakeCancelButton(cancel);
    QImage rest = panel.grab().toImage();
    SaveShot(panel.grab(), "cancel_rest");
    QCOMPARE(PixelAt(rest, 0, 0), clGray);
    QCOMPARE(PixelAt(rest, 19, 19), clGray);
    QCOMPARE(PixelAt(rest, 1, 1), clSilver);
    QVERIFY(rest.pixelColor(10, 10) == ToQColor(clWhite) ||
            rest.pixelColor(9, 10) == ToQColor(clWhite));

    cancel.MouseMove(Qt::NoModifier, 10, 10);
    cancel.Animate();
    QVERIFY(!cancel.FadeTimer()->isActive());
    const QImage over = panel.grab().toImage();
    SaveShot(panel.grab(), "cancel_over");
    QCOMPARE(PixelAt(over, 0, 0), clBlack);
    QCOMPARE(PixelAt(over, 1, 1), clSilver);
    int yellow = 0, white = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            yellow += PixelAt(over, x, y) == clYellow;
            white += PixelAt(over, x, y) == clWhite;
        }
    QVERIFY(yellow > 5);
    QCOMPARE(white, 0);

    // The convert button: 2-pixel pen, both fades off, so it switches at once both ways.
    TPCVFadeButton convert;
    MakeCancelButton(convert);
    convert.resize(348, 40);
    convert.SetCaption(QString::fromUtf8("[ 変換開始 ]"));
    convert.setFont(PixelFont(QString::fromUtf8("ＭＳ Ｐゴシック"), 12, true));
    convert.SetFadeOnOver(false);
    convert.SetFadeOnLeave(false);
    convert.SetBorderHeight(2);
    SaveShot(convert.grab(), "convert_rest");
    QCOMPARE(PixelAt(convert.grab().toImage(), 346, 20), clGray);
    convert.MouseMove(Qt::NoModifier, 100, 20);
    QVERIFY(!convert.FadeTimer()->isActive());
    QCOMPARE(convert.FontColor(), clYellow);
    SaveShot(convert.grab(), "convert_over");
    QCOMPARE(PixelAt(convert.grab().toImage(), 346, 20), clBlack);
    convert.MouseLeave();
    QVERIFY(!convert.FadeTimer()->isActive());
    QCOMPARE(convert.CurrentBorderColor(), clGray);
    QCOMPARE(convert.FontColor(), clWhite);
}

QTEST_MAIN(TestFadeButton)
#include "tst_fadebutton.moc"
