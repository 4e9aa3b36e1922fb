#include "PCVFadeButton.h"

#include "FocusCues.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include <algorithm>

TPCVFadeButton::TPCVFadeButton(QWidget *parent) : QWidget(parent)
{
    resize(150, 30);
    setMouseTracking(true);
    // Tab reaches it; a click does not take the focus from where it is.
    setFocusPolicy(Qt::TabFocus);
    TFocusCues::Watch();
    m_fadeTimer = new QTimer(this);
    m_fadeTimer->setInterval(m_speed);
    connect(m_fadeTimer, &QTimer::timeout, this, &TPCVFadeButton::Animate);
}

TPCVFadeButton::~TPCVFadeButton()
{
    delete m_fadeTimer;
    m_fadeTimer = nullptr;
}

void TPCVFadeButton::SetCaption(const QString &value)
{
    if (value == m_caption)
        return;
    m_caption = value;
    Paint();
}

void TPCVFadeButton::SetColor(TColor value)
{
    m_color = value;
    m_currentColor = value;
    Paint();
}

void TPCVFadeButton::SetBorderColor(TColor value)
{
    if (value == m_borderColor)
        return;
    m_borderColor = value;
    m_currentBorderColor = value;
    Paint();
}

void TPCVFadeButton::SetFontColor(TColor value)
{
    if (value == m_fontColor)
        return;
    m_fontColor = value;
    update();
}

void TPCVFadeButton::SetShowBorder(bool value)
{
    if (value == m_showBorder)
        return;
    m_showBorder = value;
    Paint();
}

void TPCVFadeButton::SetBorderHeight(int value)
{
    m_borderHeight = value;
    Paint();
}

void TPCVFadeButton::SetSpeed(int value)
{
    m_speed = value;
    // QTimer takes a new interval at once, also while running.
    m_fadeTimer->setInterval(std::max(0, value));
}

void TPCVFadeButton::Paint()
{
    repaint();
}

void TPCVFadeButton::MouseMove(Qt::KeyboardModifiers, int, int)
{
    if (m_fontColor != m_captionOverColor) {
        m_savedFontColor = m_fontColor;
        m_captionSwitched = true;
        SetFontColor(m_captionOverColor);
    }
    if (!m_fadeTimer->isActive() && m_fadeOnOver) {
        m_fadeDelta = m_step;
        m_fadeTimer->start();
    }
    if (!m_fadeOnOver) {
        m_currentBorderColor = m_borderDestColor;
        m_currentColor = m_destColor;
        Paint();
    }
}

void TPCVFadeButton::MouseLeave()
{
    // Only a caption that a mouse-over switched goes back; a leave that comes
    // without one (a disabled button crossed by the mouse) would otherwise turn
    // the caption into the initial saved colour, black, for good.
    const bool restoreCaption = m_captionSwitched;
    m_captionSwitched = false;
    if (m_fadeOnLeave) {
        m_fadeDelta = -m_step;
        if (!m_fadeTimer->isActive())
            m_fadeTimer->start();
        if (restoreCaption)
            SetFontColor(m_savedFontColor);
    } else {
        m_fadeTimer->stop();
        m_currentBorderColor = m_borderColor;
        m_currentColor = m_color;
        if (restoreCaption)
            SetFontColor(m_savedFontColor);
        Paint();
    }
    emit onMouseLeave(this);
}

void TPCVFadeButton::Animate()
{
    const TColor c = m_currentColor;
    m_currentColor = ERGB(RedOf(c) + m_fadeDelta, GreenOf(c) + m_fadeDelta, BlueOf(c) + m_fadeDelta,
                          true, false, m_color, m_destColor);
    const TColor b = m_currentBorderColor;
    m_currentBorderColor =
        ERGB(RedOf(b) + m_fadeDelta, GreenOf(b) + m_fadeDelta, BlueOf(b) + m_fadeDelta, true, true,
             m_borderColor, m_borderDestColor);
    Paint();
}

TColor TPCVFadeButton::ERGB(int R, int G, int B, bool LimitByColors, bool NoStopTest, TColor Low,
                            TColor High)
{
    const TColor result = StepColor(R, G, B, LimitByColors, Low, High);
    if (!NoStopTest && FadeEnds(result, Low, High))
        m_fadeTimer->stop();
    return result;
}

TColor TPCVFadeButton::StepColor(int R, int G, int B, bool LimitByColors, TColor Low, TColor High)
{
    auto limit = [LimitByColors](int c, int low, int high) {
        if (!LimitByColors)
            return std::clamp(c, 0, 255);
        // Raised first, then lowered: with low above high the result is high.
        if (c < low)
            c = low;
        if (c > high)
            c = high;
        return c;
    };
    return RgbColor(limit(R, RedOf(Low), RedOf(High)), limit(G, GreenOf(Low), GreenOf(High)),
                    limit(B, BlueOf(Low), BlueOf(High)));
}

bool TPCVFadeButton::FadeEnds(TColor result, TColor Low, TColor High)
{
    const qint32 r = qint32(result);
    return r <= qint32(Low) || r >= qint32(High);
}

QList<QRect> TPCVFadeButton::BorderBands(QSize size, int penWidth)
{
    const int w = std::max(1, penWidth);
    const int W = size.width();
    const int H = size.height();
    const int back = w / 2; // how far the pen reaches outward of its path
    const QRect all(0, 0, W, H);
    QList<QRect> bands;
    for (const QRect &band : {QRect(-back, -back, W + w, w),           // top
                              QRect(-back, -back, w, H + w),           // left
                              QRect(-back, H - 1 - back, W + w, w),    // bottom
                              QRect(W - 1 - back, -back, w, H + w)}) { // right
        const QRect visible = band & all;
        if (!visible.isEmpty())
            bands << visible;
    }
    return bands;
}

QRect TPCVFadeButton::FaceRect(QSize size, bool border)
{
    // Without an outline the platform's rectangle fills one pixel less to the
    // right and below.
    if (border)
        return QRect(QPoint(0, 0), size);
    return QRect(0, 0, std::max(0, size.width() - 1), std::max(0, size.height() - 1));
}

QRect TPCVFadeButton::CaptionRect(QSize size, QSize text)
{
    return QRect(size.width() / 2 - text.width() / 2, size.height() / 2 - text.height() / 2,
                 text.width(), text.height());
}

QRect TPCVFadeButton::FocusRect(QSize size, bool border, int penWidth)
{
    // Rows and columns the border covers at the top-left and bottom-right
    // (see BorderBands).
    const int w = std::max(1, penWidth);
    const int topLeft = border ? w - w / 2 : 0;
    const int bottomRight = border ? w / 2 + 1 : 0;
    return QRect(QPoint(topLeft + 1, topLeft + 1),
                 QPoint(size.width() - bottomRight - 2, size.height() - bottomRight - 2));
}

QPixmap TPCVFadeButton::Draw() const
{
    // The focused button, once keys are in use, shows its over look.
    const bool focusCue = TFocusCues::Visible(this);
    QPixmap pix(size());
    pix.fill(ToQColor(clWhite));
    QPainter p(&pix);
    const QColor face = ToQColor(focusCue ? m_destColor : m_currentColor);
    p.fillRect(FaceRect(size(), m_showBorder), face);
    if (m_showBorder) {
        const QColor pen = ToQColor(focusCue ? m_borderDestColor : m_currentBorderColor);
        for (const QRect &band : BorderBands(size(), m_borderHeight))
            p.fillRect(band, pen);
    }
    p.setFont(font());
    const QFontMetrics fm(font());
    const QRect box = CaptionRect(size(), QSize(fm.horizontalAdvance(m_caption), fm.height()));
    // The caption is written with the face brush behind it.
    p.fillRect(box, face);
    p.setPen(ToQColor(focusCue ? m_captionOverColor : m_fontColor));
    p.drawText(QPoint(box.left(), box.top() + fm.ascent()), m_caption);
    if (focusCue) {
        p.setPen(ToQColor(clFocusFrame));
        p.setBrush(Qt::NoBrush);
        p.drawRect(FocusRect(size(), m_showBorder, m_borderHeight).adjusted(0, 0, -1, -1));
    }
    p.end();
    return pix;
}

void TPCVFadeButton::paintEvent(QPaintEvent *)
{
    QPainter(this).drawPixmap(0, 0, Draw());
}

void TPCVFadeButton::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    emit onMouseMove(this, event->modifiers(), pos.x(), pos.y());
    MouseMove(event->modifiers(), pos.x(), pos.y());
}

void TPCVFadeButton::mousePressEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton)
        m_pressed = true;
    emit onMouseDown(this, event->button(), event->modifiers(), pos.x(), pos.y());
}

void TPCVFadeButton::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    const bool click = event->button() == Qt::LeftButton && m_pressed && rect().contains(pos);
    if (event->button() == Qt::LeftButton)
        m_pressed = false;
    const QPointer<TPCVFadeButton> alive(this);
    if (click)
        emit OnClick(this);
    if (!alive) // a click handler may release the button's window
        return;
    emit onMouseUp(this, event->button(), event->modifiers(), pos.x(), pos.y());
}

bool TPCVFadeButton::IsPressKey(const QKeyEvent *event)
{
    const int key = event->key();
    return (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) &&
           !(event->modifiers() & ~Qt::KeypadModifier);
}

void TPCVFadeButton::keyPressEvent(QKeyEvent *event)
{
    if (!IsPressKey(event)) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    // A held key presses once: its repeats might reach what the press opened.
    if (!event->isAutoRepeat() && isEnabled())
        emit OnClick(this);
}

void TPCVFadeButton::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    MouseLeave();
}
