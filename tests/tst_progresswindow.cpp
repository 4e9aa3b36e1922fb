#include "BatchTestHost.h"
#include "Misc.h"
#include "ProgressWindow1.h"
#include "TestSupport.h"

#include <QFile>
#include <QKeyEvent>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <csignal>

class TestProgressWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void layout_data();
    void layout();
    void design();
    void painting();
    void centredAndOnTop();
    void ownerDisabledLeavesWindowUsable();
    void sizeText_data();
    void sizeText();
    void tickShowsFileSizes();
    void cancelEndsTheBatchsEncoder();
    void cancelAfterEncoderEndedKeepsOutput();
    void keysAndCloseCancel_data();
    void keysAndCloseCancel();
    void drag_data();
    void drag();

private:
    QScopedPointer<BatchTestHost> m_host;
    QPointer<TProgressForm1> m_form;
};

void TestProgressWindow::init()
{
    m_host.reset(new BatchTestHost);
    m_host->Window.show();
    m_form = new TProgressForm1(&m_host->Window, *m_host);
}

void TestProgressWindow::cleanup()
{
    delete m_form;
    m_host.reset();
}

void TestProgressWindow::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("Shape0") << "Shape0" << QRect(0, 0, 400, 72);
    QTest::newRow("Shape1") << "Shape1" << QRect(5, 5, 82, 62);
    QTest::newRow("Image1") << "Image1" << QRect(6, 6, 80, 60);
    QTest::newRow("ProgressBar1") << "ProgressBar1" << QRect(92, 48, 300, 15);
    QTest::newRow("Panel1") << "Panel1" << QRect(376, 4, 20, 20);
    QTest::newRow("Button1 in Panel1") << "Button1" << QRect(0, 0, 20, 20);
}

void TestProgressWindow::layout()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    const QWidget *w = m_form->findChild<QWidget *>(name);
    QVERIFY(w);
    QCOMPARE(w->geometry(), geometry);
}

void TestProgressWindow::design()
{
    QCOMPARE(m_form->size(), QSize(401, 72));
    const Qt::WindowFlags flags = m_form->windowFlags();
    QVERIFY(flags & Qt::FramelessWindowHint);
    QVERIFY(flags & Qt::WindowStaysOnTopHint);
    QCOMPARE(m_form->Button1->parentWidget(), m_form->Panel1);

    // Labels: at their places, sized to their first texts.
    QCOMPARE(m_form->Label1->text(), QStringLiteral("***.*** -> ***.***"));
    QCOMPARE(m_form->Label2->text(), QStringLiteral("0KB -> 0KB"));
    for (QLabel *l : {m_form->Label1, m_form->Label2}) {
        QCOMPARE(l->font().pixelSize(), 12);
        QVERIFY(l->font().bold());
        QCOMPARE(l->size(), l->sizeHint());
    }
    QCOMPARE(m_form->Label1->pos(), QPoint(96, 20));
    QCOMPARE(m_form->Label2->pos(), QPoint(96, 32));
    QVERIFY(m_form->Image1->pixmap().isNull());
    QVERIFY(m_form->Image1->hasScaledContents());

    TdxfProgressBar *bar = m_form->ProgressBar1;
    QCOMPARE(bar->Orientation(), TdxfProgressBar::orHorizontal);
    QCOMPARE(bar->Style(), TdxfProgressBar::sExSolid);
    QCOMPARE(bar->BevelOuter(), TdxfProgressBar::bvLowered);
    QCOMPARE(bar->BarBevelOuter(), TdxfProgressBar::bvNone);
    QVERIFY(bar->ShowText());
    QCOMPARE(bar->ShowTextStyle(), TdxfProgressBar::stsPercent);
    QCOMPARE(bar->Min(), 0);
    QCOMPARE(bar->Max(), 10);
    QCOMPARE(bar->Position(), 0);
    QCOMPARE(bar->Step(), 1);
    QVERIFY(bar->TransparentGlyph());
    QCOMPARE(bar->font().pixelSize(), 11);

    QCOMPARE(m_form->Panel1->BevelOuter(), TPanel::bvNone);

    TPCVFadeButton *b = m_form->Button1;
    QCOMPARE(b->Caption(), QStringLiteral("×"));
    QCOMPARE(b->toolTip(), QStringLiteral(" ｷｬﾝｾﾙ"));
    QCOMPARE(b->cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(b->ShowBorder());
    QCOMPARE(b->BorderHeight(), 1);
    QVERIFY(b->FadeOnOver());
    QVERIFY(b->FadeOnLeave());
    QCOMPARE(b->Step(), 2);
    QCOMPARE(b->Speed(), 12);
    QCOMPARE(b->font().pixelSize(), 12);
    QVERIFY(b->font().bold());

    // Colours are set in code and checked by their pixels (painting).
    QCOMPARE(m_form->Timer1->interval(), 1000);
    QVERIFY(!m_form->Timer1->isActive());
}

void TestProgressWindow::painting()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form));
    const QImage img = m_form->grab().toImage();
    auto at = [&](int x, int y) { return FromQColor(img.pixelColor(x, y)); };
    QCOMPARE(at(0, 0), clBlack);      // Shape0's outline
    QCOMPARE(at(2, 40), clPanelFace); // Shape0's fill
    QCOMPARE(at(400, 40), clWhite);   // the window's own column right of Shape0
    QCOMPARE(at(5, 5), clWhite);      // Shape1's outline
    QCOMPARE(at(40, 30), clBlack);    // empty picture over Shape1's black
    QCOMPARE(at(376, 4), clGray);     // the cancel button's border, at rest
    QCOMPARE(at(378, 6), clSilver);   // and its face
    const QRect l1 = m_form->Label1->geometry();
    // Label1's own background reaches down to where Label2 begins.
    QCOMPARE(at(l1.right(), l1.top()), clPanelFace);
    bool grey = false;
    for (int x = l1.left(); x <= l1.right() && !grey; ++x)
        for (int y = l1.top(); y < 32 && !grey; ++y)
            grey = at(x, y) == clTextGrey;
    QVERIFY2(grey, "Label1's text in (70, 70, 70)");
}

void TestProgressWindow::centredAndOnTop()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form));
    const QRect desktop = m_form->screen()->geometry();
    QCOMPARE(m_form->pos(), TProgressForm1::CentredPosition(desktop, QSize(401, 72)));
    QCOMPARE(TProgressForm1::CentredPosition(QRect(0, 0, 1024, 768), QSize(401, 72)),
             QPoint(311, 348));
}

void TestProgressWindow::ownerDisabledLeavesWindowUsable()
{
    m_form->show();
    m_host->Window.setEnabled(false);
    QVERIFY(m_form->isEnabled());
    QVERIFY(m_form->Button1->isEnabled());
    // Owned: goes with the main window.
    m_host.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(m_form.isNull());
}

void TestProgressWindow::sizeText_data()
{
    QTest::addColumn<qint64>("source");
    QTest::addColumn<qint64>("output");
    QTest::addColumn<QString>("text");
    QTest::newRow("nothing yet") << qint64(-1) << qint64(-1) << "0KB -> 0KB";
    QTest::newRow("truncated") << qint64(2500000) << qint64(999) << "2500KB -> 0KB";
    QTest::newRow("1999 bytes") << qint64(1999) << qint64(1000) << "1KB -> 1KB";
    QTest::newRow("2 GB and more")
        << qint64(3000000000LL) << qint64(5000000000LL) << "3000000KB -> 5000000KB";
}

void TestProgressWindow::sizeText()
{
    QFETCH(qint64, source);
    QFETCH(qint64, output);
    QFETCH(QString, text);
    QCOMPARE(TProgressForm1::SizeText(source, output), text);
}

void TestProgressWindow::tickShowsFileSizes()
{
    QTemporaryDir dir;
    // A sparse file of 3 GB: its size does not fit 32 bits.
    QFile big(dir.filePath("big.avi"));
    QVERIFY(big.open(QIODevice::WriteOnly));
    QVERIFY(big.resize(3000000000LL));
    big.close();
    m_host->SourceFile = big.fileName();
    m_host->OutputFile = dir.filePath("not yet.3gp");
    m_form->Timer1Timer();
    QCOMPARE(m_form->SourceSize, qint64(3000000000LL));
    QCOMPARE(m_form->OutputSize, qint64(-1));
    QCOMPARE(m_form->Label2->text(), QStringLiteral("3000000KB -> 0KB"));
    QCOMPARE(m_form->Label2->size(), m_form->Label2->sizeHint());
    WriteFile(dir.path(), "not yet.3gp", QByteArray(1999, 'x'));
    m_form->Timer1->start();
    QTRY_COMPARE_WITH_TIMEOUT(m_form->Label2->text(), QStringLiteral("3000000KB -> 1KB"), 3000);
}

void TestProgressWindow::cancelEndsTheBatchsEncoder()
{
    MessageRecorder messages;
    m_form->show();
    m_host->EncoderProcess = std::make_unique<ChildProcess>();
    QVERIFY(m_host->EncoderProcess->Start("sleep", {"30"}));
    m_form->Button1->SetTag(1);
    QTest::mouseClick(m_form->Button1, Qt::LeftButton);
    QCOMPARE(m_host->EncoderProcess->Wait(2000), ChildProcess::WaitResult::Ended);
    QCOMPARE(m_host->EncoderProcess->TermSignal(), int(SIGKILL));
    QCOMPARE(m_form->Button1->Tag(), 0);
    QCOMPARE(messages.count(), 0);
    // A second press finds it ended; the output stays marked for deletion.
    QTest::mouseClick(m_form->Button1, Qt::LeftButton);
    QCOMPARE(m_form->Button1->Tag(), 0);
    QCOMPARE(messages.count(), 0);
}

void TestProgressWindow::cancelAfterEncoderEndedKeepsOutput()
{
    MessageRecorder messages;
    const int beeps = BeepCount();
    m_form->Button1->SetTag(1);
    // No encoder at all...
    m_form->Button1Click(m_form->Button1);
    // ...and one that has just ended.
    m_host->EncoderProcess = std::make_unique<ChildProcess>();
    QVERIFY(m_host->EncoderProcess->Start("true", {}));
    QTRY_VERIFY_WITH_TIMEOUT(ChildEnded(m_host->EncoderProcess->Pid()), 10000);
    m_form->Button1Click(m_form->Button1);
    QCOMPARE(messages.texts(), QStringList(2, QStringLiteral("変換を中止できませんでした。")));
    QCOMPARE(BeepCount(), beeps + 2);
    QCOMPARE(m_form->Button1->Tag(), 1);
    QVERIFY(m_host->EncoderProcess->Exited());
}

void TestProgressWindow::keysAndCloseCancel_data()
{
    // What the user does in the shown window; whether the encoder still runs;
    // whether that cancels; whether the cancel fails with its message.
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("cancels");
    QTest::addColumn<bool>("fails");
    QTest::newRow("Esc") << "Esc" << true << true << false;
    QTest::newRow("Space on the cancel button") << "Space" << true << true << false;
    QTest::newRow("Enter on the cancel button") << "Return" << true << true << false;
    QTest::newRow("keypad Enter") << "Enter" << true << true << false;
    QTest::newRow("held Esc repeats nothing") << "repeated Esc" << true << false << false;
    QTest::newRow("Tab") << "Tab" << true << false << false;
    QTest::newRow("closed by the window manager") << "close" << true << true << false;
    QTest::newRow("closed after the encoder ended") << "close" << false << false << true;
    QTest::newRow("Esc after the encoder ended") << "Esc" << false << false << true;
}

// Keys reach the cancel button, which has the focus once the window shows;
// closing the window cancels as the button does and leaves it shown.
void TestProgressWindow::keysAndCloseCancel()
{
    QFETCH(QString, action);
    QFETCH(bool, running);
    QFETCH(bool, cancels);
    QFETCH(bool, fails);
    MessageRecorder messages;
    m_host->EncoderProcess = std::make_unique<ChildProcess>();
    QVERIFY(m_host->EncoderProcess->Start(running ? "sleep" : "true", {"30"}));
    if (!running)
        QTRY_VERIFY_WITH_TIMEOUT(ChildEnded(m_host->EncoderProcess->Pid()), 10000);
    m_form->Button1->SetTag(1);
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form));
    QTRY_COMPARE(QApplication::focusWidget(), m_form->Button1);
    if (action == "close") {
        QVERIFY(!m_form->windowHandle()->close());
    } else if (action == "repeated Esc") {
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(m_form->Button1, &repeat);
    } else {
        const QKeyCombination key = QKeySequence(action)[0];
        QTest::keyClick(QApplication::focusWidget(), key.key(), key.keyboardModifiers());
    }
    QCOMPARE(m_form->Button1->Tag(), cancels ? 0 : 1);
    QCOMPARE(m_host->EncoderProcess->Wait(cancels ? 2000 : 0),
             running && !cancels ? ChildProcess::WaitResult::Timeout
                                 : ChildProcess::WaitResult::Ended);
    QCOMPARE(messages.texts(),
             fails ? QStringList{QStringLiteral("変換を中止できませんでした。")} : QStringList());
    QVERIFY(m_form->isVisible());
    QCOMPARE(QApplication::focusWidget(), m_form->Button1);
}

void TestProgressWindow::drag_data()
{
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<bool>("moves");
    QTest::newRow("thumbnail") << QPoint(40, 30) << true;
    QTest::newRow("label") << QPoint(100, 24) << true;
    QTest::newRow("empty spot") << QPoint(250, 10) << true;
    QTest::newRow("window edge") << QPoint(400, 70) << true;
    QTest::newRow("progress bar") << QPoint(200, 55) << false;
    QTest::newRow("cancel button") << QPoint(386, 14) << false;
}

void TestProgressWindow::drag()
{
    QFETCH(QPoint, press);
    QFETCH(bool, moves);
    MessageRecorder messages;
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form));
    m_host->EncoderProcess = std::make_unique<ChildProcess>();
    QVERIFY(m_host->EncoderProcess->Start("sleep", {"30"}));
    m_form->Button1->SetTag(1);
    const QPoint before = m_form->pos();
    QWindow *w = m_form->windowHandle();
    QTest::mousePress(w, Qt::LeftButton, {}, press);
    QTest::mouseMove(w, press + QPoint(-20, -4));
    const QPoint moved = m_form->pos();
    // Back to where the press was, and let go there.
    QTest::mouseMove(w, press);
    QTest::mouseRelease(w, Qt::LeftButton, {}, press);
    QCOMPARE(moved, moves ? before + QPoint(-20, -4) : before);
    const bool cancelButton = m_form->Panel1->geometry().contains(press);
    // Only a click on the cancel button ends the encoder.
    QCOMPARE(m_form->Button1->Tag(), cancelButton ? 0 : 1);
    QCOMPARE(m_host->EncoderProcess->Wait(cancelButton ? 2000 : 0),
             cancelButton ? ChildProcess::WaitResult::Ended : ChildProcess::WaitResult::Timeout);
    QCOMPARE(messages.count(), 0);
}

QTEST_MAIN(TestProgressWindow)
#include "tst_progresswindow.moc"
