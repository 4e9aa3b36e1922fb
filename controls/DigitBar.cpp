#include "DigitBar.h"

#include "FocusCues.h"
#include "Guard.h"

#include <QAccessible>
#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cmath>
#include <initializer_list>

namespace {
constexpr int FirstRepeatMs = 400;
constexpr int NextRepeatMs = 100;
// Page Up and Page Down step this many increments at once.
constexpr int PageSteps = 10;

QImage LoadGlyph(const QString &path)
{
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

// A line of pixels from a up to, not including, b (horizontal or vertical),
// as the platform's line drawing leaves out the end point.
void Segment(QPainter &p, QPoint a, QPoint b, const QColor &c)
{
    if (a.y() == b.y()) {
        if (b.x() > a.x())
            p.fillRect(QRect(a.x(), a.y(), b.x() - a.x(), 1), c);
        else if (b.x() < a.x())
            p.fillRect(QRect(b.x() + 1, a.y(), a.x() - b.x(), 1), c);
    } else if (a.x() == b.x()) {
        if (b.y() > a.y())
            p.fillRect(QRect(a.x(), a.y(), 1, b.y() - a.y()), c);
        else
            p.fillRect(QRect(a.x(), b.y() + 1, 1, a.y() - b.y()), c);
    }
}

// A polyline of axis-parallel segments; its last point is left out.
void Polyline(QPainter &p, std::initializer_list<QPoint> points, TColor color)
{
    const QColor c = ToQColor(color);
    const QPoint *prev = nullptr;
    for (const QPoint &pt : points) {
        if (prev)
            Segment(p, *prev, pt, c);
        prev = &pt;
    }
}
} // namespace

TDigitBar::TDigitBar(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setFocusPolicy(Qt::StrongFocus);
    TFocusCues::Watch();
    m_upGlyph = LoadGlyph(QStringLiteral(":/DigitBarUp.bmp"));
    m_downGlyph = LoadGlyph(QStringLiteral(":/DigitBarDn.bmp"));
    resize(24, 100);
}

TDigitBar::~TDigitBar()
{
    delete m_timer;
    m_timer = nullptr;
}

void TDigitBar::SetAutoSize(bool value)
{
    if (value == m_autoSize)
        return;
    m_autoSize = value;
    if (value)
        AdjustBounds();
}

void TDigitBar::SetBtnHeight(int value)
{
    if (value == m_btnHeight)
        return;
    m_btnHeight = value;
    AdjustBounds();
}

void TDigitBar::SetMax(int value)
{
    if (value < m_min)
        value = m_min;
    if (value == m_max)
        return;
    m_max = value;
    if (value < m_position)
        SetPosition(value);
    AdjustBounds();
}

void TDigitBar::SetMin(int value)
{
    if (value > m_max)
        value = m_max;
    if (value == m_min)
        return;
    m_min = value;
    if (m_position < value)
        SetPosition(value);
    AdjustBounds();
}

void TDigitBar::SetModes(TDigitBarModes value)
{
    if (value == m_modes)
        return;
    m_modes = value;
    AdjustBounds();
}

void TDigitBar::SetPosition(int value)
{
    if (value > m_max)
        value = m_max;
    else if (value < m_min)
        value = m_min;
    if (value == m_position)
        return;
    m_position = value;
    update();
    QAccessibleValueChangeEvent event(this, m_position);
    QAccessible::updateAccessibility(&event);
    Change();
}

void TDigitBar::SetColor(TColor value)
{
    if (value == m_color)
        return;
    m_color = value;
    update();
}

void TDigitBar::SetFontColor(TColor value)
{
    if (value == m_fontColor)
        return;
    m_fontColor = value;
    update();
}

void TDigitBar::SetBarColor(TColor value)
{
    if (value == m_barColor)
        return;
    m_barColor = value;
    update();
}

void TDigitBar::SetBevelWidth(int value)
{
    if (value <= 0)
        value = 1;
    if (value == m_bevelWidth)
        return;
    m_bevelWidth = value;
    AdjustBounds();
}

void TDigitBar::SetSpacing(int value)
{
    if (value < 0)
        value = 0;
    if (value == m_spacing)
        return;
    m_spacing = value;
    AdjustBounds();
}

void TDigitBar::Loaded()
{
    m_loading = false;
    AdjustBounds();
}

void TDigitBar::AdjustBounds()
{
    if (m_loading || !m_autoSize) {
        update();
        return;
    }
    const QSize s = AutoSizeExtent();
    if (s == size()) {
        update();
        return;
    }
    setGeometry(x(), y(), s.width(), s.height());
}

QSize TDigitBar::AutoSizeExtent() const
{
    const QFontMetrics fm(font());
    const int tw = fm.horizontalAdvance(PositionToStr(ptsMaxStr));
    const int th = fm.height();
    const int w = tw + 2 * (m_bevelWidth + m_spacing);
    const int h = th + 2 * (m_btnHeight + m_bevelWidth + m_spacing);
    return QSize(w, std::max(h, height()));
}

void TDigitBar::Change()
{
    emit OnChange(this);
}

// Bounds arithmetic in 64 bits: Max - Increment or Min + Increment may lie
// outside the int range.
void TDigitBar::UpClick()
{
    const qint64 p = m_position;
    qint64 v;
    if ((m_modes & dbmArrowWrap) && p == m_max)
        v = m_min;
    else if (qint64(m_max) - m_increment < p)
        v = m_max;
    else
        v = p + m_increment;
    SetPosition(int(std::clamp<qint64>(v, m_min, m_max)));
}

void TDigitBar::DownClick()
{
    const qint64 p = m_position;
    qint64 v;
    if ((m_modes & dbmArrowWrap) && p == m_min)
        v = m_max;
    else if (qint64(m_min) + m_increment > p)
        v = m_min;
    else
        v = p - m_increment;
    SetPosition(int(std::clamp<qint64>(v, m_min, m_max)));
}

void TDigitBar::ClickToPosition(int Y, int TopY, int BottomY)
{
    int v;
    if (Y >= BottomY) {
        v = m_min;
    } else if (Y <= TopY) {
        v = m_max;
    } else {
        const double d = m_min + double(qint64(m_max) - m_min) * double(qint64(BottomY) - Y) /
                                     double(qint64(BottomY) - TopY);
        v = int(d >= 0 ? std::trunc(d + 0.5) : std::trunc(d - 0.5));
    }
    SetPosition(v);
}

int TDigitBar::PositionToClick(int Extent) const
{
    if (m_max <= m_min)
        return -1;
    const double f = double(qint64(m_position) - m_min) / double(qint64(m_max) - m_min);
    return int(std::trunc(f * Extent + 0.5));
}

QString TDigitBar::NumberToStr(int n) const
{
    if (!(m_modes & dbmThousands))
        return QString::number(n);
    QLocale loc;
    loc.setNumberOptions(loc.numberOptions() & ~QLocale::OmitGroupSeparator);
    return loc.toString(qlonglong(n));
}

QString TDigitBar::PositionToStr(TPositionToStr kind) const
{
    if (kind == ptsPosition)
        return NumberToStr(m_position);
    QString s = NumberToStr(m_max);
    const QString m = NumberToStr(m_min);
    if (m.size() > s.size())
        s = m;
    return s;
}

void TDigitBar::DoUpClick()
{
    UpClick();
    emit OnClick(this, bctUp);
}

void TDigitBar::DoDownClick()
{
    DownClick();
    emit OnClick(this, bctDown);
}

void TDigitBar::DoPositionClick(int X, int Y, TBarClickType ClickType)
{
    const QRect bar = BarRect();
    const int l = bar.x(), t = bar.y(), r = bar.x() + bar.width(), b = bar.y() + bar.height();
    if (X < l || X > r || Y < t || Y > b)
        return;
    const int h = ClickMargin();
    ClickToPosition(Y, t + h, b - h);
    emit OnClick(this, ClickType);
}

void TDigitBar::TimerExpired()
{
    if (m_inTick)
        return;
    if (m_timer)
        m_timer->setInterval(NextRepeatMs);
    // A modal box (an error shown by a handler of the last step) has taken the
    // mouse; the release will never come here, so the repeat ends now.
    const QWidget *modal = QApplication::activeModalWidget();
    if (modal && modal != window()) {
        m_captured = false;
        StopRepeat();
        return;
    }
    if (m_clickState == bcsNone || !m_captured)
        return;
    m_inTick = true;
    try {
        if (m_clickState == bcsUp)
            DoUpClick();
        else
            DoDownClick();
    } catch (...) {
        m_inTick = false;
        throw;
    }
    m_inTick = false;
}

QRect TDigitBar::UpButtonRect() const
{
    return QRect(0, 0, width(), m_btnHeight);
}

QRect TDigitBar::BarRect() const
{
    return QRect(0, m_btnHeight, width(), height() - 2 * m_btnHeight);
}

QRect TDigitBar::DownButtonRect() const
{
    return QRect(0, height() - m_btnHeight, width(), m_btnHeight);
}

int TDigitBar::TextHeight() const
{
    return QFontMetrics(font()).height();
}

int TDigitBar::ClickMargin() const
{
    return TextHeight() / 2 + m_bevelWidth + m_spacing;
}

QRect TDigitBar::ValueBoxRect() const
{
    const QRect bar = BarRect();
    const int boxHeight = TextHeight() + 2 * (m_bevelWidth + m_spacing);
    const int room = bar.height() - boxHeight;
    int offset = PositionToClick(room);
    if (offset < 0)
        offset = room / 2;
    if (offset < 0)
        offset = 0;
    const int centre = bar.y() + bar.height() - boxHeight / 2 - offset;
    return QRect(bar.x(), centre - boxHeight / 2, bar.width(), 2 * (boxHeight / 2));
}

QPoint TDigitBar::GlyphPos(const QRect &button, const QSize &glyph)
{
    return QPoint(button.x() + (button.width() - glyph.width()) / 2,
                  button.y() + (button.height() - glyph.height()) / 2);
}

TColor TDigitBar::Lighten(TColor color, int amount)
{
    const TColor c = ColorToRGB(color);
    return RgbColor(std::min(255, RedOf(c) + amount), std::min(255, GreenOf(c) + amount),
                    std::min(255, BlueOf(c) + amount));
}

TColor TDigitBar::Darken(TColor color, int amount)
{
    const TColor c = ColorToRGB(color);
    return RgbColor(std::max(0, RedOf(c) - amount), std::max(0, GreenOf(c) - amount),
                    std::max(0, BlueOf(c) - amount));
}

TColor TDigitBar::HighlightColor() const
{
    return m_barColor == clBtnFace ? clBtnHighlight : Lighten(m_barColor, 128);
}

TColor TDigitBar::ShadowColor() const
{
    return m_barColor == clBtnFace ? clBtnShadow : Darken(m_barColor, 128);
}

QRect TDigitBar::DrawBevel(QPainter &p, const QRect &rect, TColor topColor, TColor bottomColor,
                           int width, bool pressed)
{
    const int L = rect.x(), T = rect.y(), R = rect.x() + rect.width(), B = rect.y() + rect.height(),
              W = width;
    // The rings, outermost first; the bottom-right lines end one pixel past the
    // left edge, so the bottom-left corner takes the bottom colour.
    int l = L, t = T, r = R - 1, b = B - 1;
    for (int i = 0; i < W; ++i) {
        Polyline(p, {QPoint(l, b), QPoint(l, t), QPoint(r, t)}, topColor);
        Polyline(p, {QPoint(r, t), QPoint(r, b), QPoint(l - 1, b)}, bottomColor);
        ++l, ++t, --r, --b;
    }
    if (pressed) {
        Polyline(p,
                 {QPoint(L + W - 1, B - W), QPoint(L + W - 1, T + W - 1), QPoint(R - W, T + W - 1)},
                 Darken(topColor, 128));
        Polyline(p, {QPoint(R - W, T + W - 1), QPoint(R - W, B - W), QPoint(L, B - W)},
                 Darken(bottomColor, 128));
    } else {
        Polyline(p, {QPoint(R - 1, T), QPoint(R - 1, B - 1), QPoint(L, B - 1)},
                 Darken(bottomColor, 128));
    }
    return QRect(L + W, T + W, rect.width() - 2 * W, rect.height() - 2 * W);
}

QImage TDigitBar::Render() const
{
    if (width() <= 0 || height() <= 0)
        return QImage();
    QImage img(size(), QImage::Format_RGB32);
    QPainter p(&img);
    Draw(p);
    return img;
}

void TDigitBar::Draw(QPainter &p) const
{
    const int W = m_bevelWidth;
    const int CW = width();
    const TColor hi = HighlightColor();
    const TColor sh = ShadowColor();
    const QString text = PositionToStr(ptsPosition);
    const QRect up = UpButtonRect();
    const QRect bar = BarRect();
    const QRect down = DownButtonRect();

    p.setFont(font());
    p.fillRect(rect(), ToQColor(m_barColor));

    // Black glyph pixels print and white ones leave the face when enabled;
    // when disabled the triangle comes out white.
    p.setCompositionMode(isEnabled() ? QPainter::RasterOp_SourceAndDestination
                                     : QPainter::RasterOp_NotSourceOrDestination);
    p.drawImage(GlyphPos(up, m_upGlyph.size()), m_upGlyph);
    p.drawImage(GlyphPos(down, m_downGlyph.size()), m_downGlyph);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);

    const bool upPressed = m_clickState == bcsUp;
    const bool downPressed = m_clickState == bcsDown;
    DrawBevel(p, up, upPressed ? sh : hi, upPressed ? hi : sh, W, upPressed);
    DrawBevel(p, down, downPressed ? sh : hi, downPressed ? hi : sh, W, downPressed);

    const int barRight = bar.x() + bar.width();
    const int barBottom = bar.y() + bar.height();
    Polyline(p, {QPoint(bar.x(), bar.y()), QPoint(bar.x(), barBottom)}, sh);
    Polyline(p, {QPoint(barRight - 1, bar.y()), QPoint(barRight - 1, barBottom)}, hi);

    const QFontMetrics fm(font());
    const int textX = std::max(0, (CW - fm.horizontalAdvance(text)) / 2) + bar.x();
    // Once keys are in use the focused box is framed in the focus colour
    // instead of its sunken bevel, the fill and the digits where they were.
    const QRect inner = TFocusCues::Visible(this)
                            ? DrawFocusFrame(p, ValueBoxRect(), W)
                            : DrawBevel(p, ValueBoxRect(), clBtnShadow, clBtnHighlight, W, true);
    if (inner.width() > 0 && inner.height() > 0) {
        p.fillRect(inner, ToQColor(hasFocus() ? m_focusColor : m_color));
        p.setClipRect(inner);
        p.setPen(ToQColor(m_fontColor));
        p.drawText(textX, inner.y() + m_spacing + fm.ascent(), text);
        p.setClipping(false);
    }
}

void TDigitBar::paintEvent(QPaintEvent *)
{
    const QImage img = Render();
    QPainter p(this);
    p.drawImage(0, 0, img);
}

void TDigitBar::SetClickState(TBarClickState state)
{
    if (state == m_clickState)
        return;
    m_clickState = state;
    update();
}

void TDigitBar::StopRepeat()
{
    if (m_timer)
        m_timer->stop();
    m_clickState = bcsNone;
    update();
}

void TDigitBar::PostFocusMove(bool next)
{
    if (isWindow())
        return;
    QMetaObject::invokeMethod(
        this, [this, next] { focusNextPrevChild(next); }, Qt::QueuedConnection);
}

bool TDigitBar::event(QEvent *e)
{
    // Claim the arrow keys before any shortcut of the window sees them.
    if (e->type() == QEvent::ShortcutOverride && (m_modes & dbmArrowKeys)) {
        switch (static_cast<QKeyEvent *>(e)->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Left:
        case Qt::Key_Right:
            e->accept();
            return true;
        default:
            break;
        }
    }
    return QWidget::event(e);
}

QRect TDigitBar::DrawFocusFrame(QPainter &p, const QRect &rect, int width)
{
    // An outer ring in the focus colour, white rings inside it up to the
    // width of the bevel it stands for.
    QRect r = rect;
    for (int i = 0; i < width && r.width() > 0 && r.height() > 0; ++i) {
        p.setPen(ToQColor(i == 0 ? clFocusFrame : clWhite));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        r.adjust(1, 1, -1, -1);
    }
    return r;
}

bool TDigitBar::HandlePageKey(QKeyEvent *e)
{
    const int key = e->key();
    if (key != Qt::Key_PageUp && key != Qt::Key_PageDown && key != Qt::Key_Home &&
        key != Qt::Key_End)
        return false;
    e->accept();
    if (key == Qt::Key_Home || key == Qt::Key_End) {
        SetPosition(key == Qt::Key_Home ? m_min : m_max);
        return true;
    }
    // A page is a step of ten increments, with the wrap and limits of a step.
    const QScopedValueRollback<int> page(
        m_increment, int(std::clamp<qint64>(qint64(m_increment) * PageSteps, INT_MIN, INT_MAX)));
    if (key == Qt::Key_PageUp) {
        SetClickState(bcsUp);
        DoUpClick();
    } else {
        SetClickState(bcsDown);
        DoDownClick();
    }
    return true;
}

bool TDigitBar::HandleArrowKey(QKeyEvent *e)
{
    const int key = e->key();
    if (key != Qt::Key_Up && key != Qt::Key_Down && key != Qt::Key_Left && key != Qt::Key_Right)
        return HandlePageKey(e);
    e->accept();
    if (!(m_modes & dbmArrowKeys)) {
        // Without the arrows the form moves the focus with them.
        if (!isWindow())
            focusNextPrevChild(key == Qt::Key_Right || key == Qt::Key_Down);
        return true;
    }
    switch (key) {
    case Qt::Key_Up:
        SetClickState(bcsUp);
        DoUpClick();
        break;
    case Qt::Key_Down:
        SetClickState(bcsDown);
        DoDownClick();
        break;
    case Qt::Key_Left:
        PostFocusMove(false);
        break;
    default:
        PostFocusMove(true);
        break;
    }
    return true;
}

void TDigitBar::keyPressEvent(QKeyEvent *e)
{
    bool handled = false;
    RunGuarded([&] { handled = HandleArrowKey(e); });
    if (handled)
        return;
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        if (m_modes & dbmEnterNext)
            PostFocusMove(true);
        e->ignore(); // the key goes on to the form
        return;
    }
    QWidget::keyPressEvent(e);
}

void TDigitBar::keyReleaseEvent(QKeyEvent *e)
{
    // Auto-repeated keys arrive as release/press pairs; only the real release counts.
    if (!e->isAutoRepeat()) {
        m_clickState = bcsNone;
        update();
    }
    QWidget::keyReleaseEvent(e);
}

void TDigitBar::mousePressEvent(QMouseEvent *e)
{
    m_captured = true;
    m_outside = false;
    RunGuarded([&] {
        if (m_modes & dbmAllowTimer) {
            if (!m_timer) {
                m_timer = new QTimer(this);
                m_timer->setTimerType(Qt::PreciseTimer);
                connect(m_timer, &QTimer::timeout, this, [this] {
                    RunGuarded([this] {
                        try {
                            TimerExpired();
                        } catch (...) {
                            m_timer->stop();
                            throw;
                        }
                    });
                });
            }
            m_timer->setInterval(FirstRepeatMs);
            m_timer->start();
        }
        if (e->button() != Qt::LeftButton)
            return;
        if (isEnabled() && (focusPolicy() & Qt::ClickFocus))
            setFocus(Qt::MouseFocusReason);
        const QPoint pos = e->position().toPoint();
        if (pos.y() < m_btnHeight) {
            SetClickState(bcsUp);
            DoUpClick();
        } else if (pos.y() >= height() - m_btnHeight) {
            SetClickState(bcsDown);
            DoDownClick();
        } else if (m_modes & dbmPosClick) {
            DoPositionClick(pos.x(), pos.y(), bctPosition);
        }
    });
}

void TDigitBar::mouseMoveEvent(QMouseEvent *e)
{
    const QPoint pos = e->position().toPoint();
    // While a button is held Qt keeps sending moves here and reports the leave
    // only at the release; the repeat must stop as soon as the pointer is off.
    if (m_captured) {
        const bool inside = rect().contains(pos);
        if (!inside && !m_outside) {
            m_outside = true;
            StopRepeat();
        } else if (inside) {
            m_outside = false;
        }
    }
    if ((e->buttons() & Qt::LeftButton) && (m_modes & dbmPosMove))
        RunGuarded([&] { DoPositionClick(pos.x(), pos.y(), bctMove); });
}

void TDigitBar::mouseReleaseEvent(QMouseEvent *)
{
    m_captured = false;
    StopRepeat();
}

void TDigitBar::leaveEvent(QEvent *e)
{
    StopRepeat();
    QWidget::leaveEvent(e);
}

void TDigitBar::focusInEvent(QFocusEvent *e)
{
    update();
    QWidget::focusInEvent(e);
}

void TDigitBar::focusOutEvent(QFocusEvent *e)
{
    update();
    QWidget::focusOutEvent(e);
}

void TDigitBar::changeEvent(QEvent *e)
{
    if (e->type() == QEvent::EnabledChange)
        update();
    else if (e->type() == QEvent::FontChange)
        AdjustBounds();
    QWidget::changeEvent(e);
}

void TDigitBar::resizeEvent(QResizeEvent *e)
{
    if (m_loading)
        update();
    else
        AdjustBounds();
    QWidget::resizeEvent(e);
}
