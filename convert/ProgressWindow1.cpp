#include "ProgressWindow1.h"

#include "BatchHost.h"
#include "Colors.h"
#include "ConversionBatch.h"
#include "Dialogs.h"
#include "Files.h"
#include "FocusCues.h"
#include "Fonts.h"
#include "Guard.h"
#include "Misc.h"
#include "ScreenReaderNotice.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QWindow>

QPointer<TProgressForm1> ProgressForm1;

namespace {
constexpr int EndNoticeDelayMs = 700;

QFont designFont(const QString &face, int pixelHeight, bool bold)
{
    QFont font(face);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}

void setColours(QWidget *widget, TColor background, TColor text)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, ToQColor(background));
    palette.setColor(QPalette::WindowText, ToQColor(text));
    widget->setPalette(palette);
}
} // namespace

qint64 FileSizeOf(const QString &fileName)
{
    return FileSize64(fileName);
}

TProgressForm1::TProgressForm1(QWidget *owner, BatchHost &host)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_host(host), m_owner(owner), m_speech(QString())
{
    InstallFontSubstitutes();
    setupUi(this);
    // The names' placeholder is never said.
    m_speech = TProgressSpeech(Label1->text());
    setObjectName(QStringLiteral("ProgressForm1"));
    applyDesign();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    // Ticks are counted on by the second; a coarse timer may drift 5 %.
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &TProgressForm1::Timer1Timer);
    connect(Button1, &TPCVFadeButton::OnClick, this, Guarded(this, &TProgressForm1::Button1Click));

    if (owner) {
        // Owned by the main window: it goes when the main window goes, and the
        // window manager keeps it with the main window.
        connect(owner, &QObject::destroyed, this, &QObject::deleteLater);
        if (QWindow *ownerHandle = owner->window()->windowHandle()) {
            create();
            if (QWindow *handle = windowHandle())
                handle->setTransientParent(ownerHandle);
        }
    }
}

void TProgressForm1::applyDesign()
{
    setFixedSize(401, 72);
    setFont(designFont(QStringLiteral("ＭＳ Ｐゴシック"), 12, false));
    setColours(this, clWhite, clWindowText);
    setAutoFillBackground(true);

    Shape0->SetBrushColor(clPanelFace);
    Shape0->SetPenColor(clBlack);
    Shape1->SetBrushColor(clBlack);
    Shape1->SetPenColor(clWhite);

    // The labels and the picture are part of the window's surface: a press on
    // them drags the window.
    for (QLabel *label : {Label1, Label2}) {
        label->setFont(designFont(QStringLiteral("Tahoma"), 12, true));
        setColours(label, clPanelFace, clTextGrey);
        label->setAutoFillBackground(true);
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        label->setMargin(0);
        label->adjustSize();
    }
    Image1->setAttribute(Qt::WA_TransparentForMouseEvents);

    ProgressBar1->SetBeginColor(clGray);
    ProgressBar1->SetEndColor(clWhite);
    ProgressBar1->setFont(designFont(QStringLiteral("ＭＳ Ｐゴシック"), 11, false));
    ProgressBar1->SetFontColor(clTextGrey);
    // What a screen reader calls the window, the bar and the thumbnail,
    // which nothing on the window names.
    setAccessibleName(QStringLiteral("変換中"));
    ProgressBar1->setAccessibleName(QStringLiteral("進行状況"));
    Image1->setAccessibleName(QStringLiteral("サムネイル"));

    Panel1->SetColor(clGray);
    Panel1->SetBevelInner(TPanel::bvNone);

    Button1->setFont(designFont(QStringLiteral("Tahoma"), 12, true));
    Button1->SetFontColor(clWhite);
    Button1->SetColor(clSilver);
    Button1->SetDestColor(clSilver);
    Button1->SetBorderColor(clGray);
    Button1->SetBorderDestColor(clBlack);
    Button1->SetCaptionOverColor(clYellow);
}

QString TProgressForm1::SizeText(qint64 sourceSize, qint64 outputSize)
{
    return QStringLiteral("%1KB -> %2KB").arg(sourceSize / 1000).arg(outputSize / 1000);
}

QPoint TProgressForm1::CentredPosition(const QRect &desktop, const QSize &size)
{
    return {desktop.left() + (desktop.width() - size.width()) / 2,
            desktop.top() + (desktop.height() - size.height()) / 2};
}

void TProgressForm1::Timer1Timer()
{
    try {
        SourceSize = FileSizeOf(m_host.SourceFileText());
        OutputSize = FileSizeOf(m_host.OutputFileText());
        Label2->setText(SizeText(SourceSize, OutputSize));
        Label2->adjustSize();
        TScreenReaderNotice::Say(this, m_speech.Tick(Label1->text(), Label2->text()));
    } catch (...) {
        // A size that cannot be read this second is shown at the next.
    }
}

void TProgressForm1::Button1Click(QObject *)
{
    // A second press after a cancel that already ended this pass's encoder
    // must not undo the deletion it asked for.
    if (Button1->Tag() == 0)
        return;
    const std::unique_ptr<ChildProcess> &encoder = m_host.EncoderProcessRecord();
    // Terminate acts only on the batch's own child that has not been reaped,
    // never on a process id that may have been given to another program.
    if (encoder && encoder->Terminate()) {
        Button1->SetTag(0);
        return;
    }
    // The encoder had already ended: its output is complete and is kept.
    MessageBeep();
    ShowMessage(QStringLiteral("変換を中止できませんでした。"));
}

bool TProgressForm1::isSurface(const QPoint &pos) const
{
    const QWidget *child = childAt(pos);
    return !child || (child != ProgressBar1 && !ProgressBar1->isAncestorOf(child) &&
                      child != Panel1 && !Panel1->isAncestorOf(child));
}

void TProgressForm1::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    if (const QScreen *desktop = screen())
        move(CentredPosition(desktop->geometry(), size()));
    // The cancel button is what the keys reach; a user of the keys in the
    // main window sees it focused at once.
    if (TFocusCues::Shown(m_owner))
        TFocusCues::Show(this);
    Button1->setFocus(Qt::OtherFocusReason);
    activateWindow();
}

void TProgressForm1::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // Hidden by the batch at its end: the main window, which outlives this
    // one, says so, also when no message box comes. It says it a moment
    // later, once it is enabled and active again: a screen reader drops what
    // comes amid the flood of changes that brings.
    if (event->spontaneous() || !m_owner)
        return;
    QTimer::singleShot(EndNoticeDelayMs, m_owner,
                       [owner = m_owner, text = TProgressSpeech::EndText(ProgressBar1->Max())] {
                           TScreenReaderNotice::Say(owner, text);
                       });
}

void TProgressForm1::keyPressEvent(QKeyEvent *event)
{
    // Space and Enter reach here when the cancel button has no focus; a
    // held key cancels once, not the passes that follow too.
    if (event->key() != Qt::Key_Escape && !TPCVFadeButton::IsPressKey(event)) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    if (!event->isAutoRepeat())
        RunGuarded([this] { Button1Click(Button1); });
}

void TProgressForm1::closeEvent(QCloseEvent *event)
{
    // Closed by the window manager (Alt+F4) the window cancels like its
    // button and stays: hidden, it would leave the main window disabled and
    // nothing to cancel with. The batch removes it when it is over. Only the
    // application's quit, which ends the batch, closes it.
    const TConversionBatch *batch = TConversionBatch::Current();
    if (batch && batch->Aborted()) {
        event->accept();
        return;
    }
    event->ignore();
    RunGuarded([this] { Button1Click(Button1); });
}

void TProgressForm1::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !isSurface(event->position().toPoint())) {
        QWidget::mousePressEvent(event);
        return;
    }
    event->accept();
    // The window manager moves the window where it can; elsewhere we follow the mouse.
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    m_dragging = true;
    m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void TProgressForm1::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragging) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    move(event->globalPosition().toPoint() - m_dragOffset);
    event->accept();
}

void TProgressForm1::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_dragging && event->button() == Qt::LeftButton) {
        m_dragging = false;
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}
