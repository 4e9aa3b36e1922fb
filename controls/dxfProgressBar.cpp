#include "dxfProgressBar.h"

#include "Panel.h"

#include <QAccessible>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

TdxfProgressBar::TdxfProgressBar(QWidget *parent) : QWidget(parent)
{
    resize(150, 16);
    // Paint covers every pixel, so nothing needs erasing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TdxfProgressBar::SetBarBevelOuter(TdxfBevelOuter value)
{
    if (value == m_barBevelOuter)
        return;
    m_barBevelOuter = value;
    update();
}

void TdxfProgressBar::SetBeginColor(TColor value)
{
    if (value == m_beginColor)
        return;
    m_beginColor = value;
    if (m_style != sPictures)
        update();
}

void TdxfProgressBar::SetBevelOuter(TdxfBevelOuter value)
{
    if (value == m_bevelOuter)
        return;
    m_bevelOuter = value;
    update();
}

void TdxfProgressBar::SetEndColor(TColor value)
{
    if (value == m_endColor)
        return;
    m_endColor = value;
    if (m_style == sExSolid || m_style == sExRectangles)
        update();
}

void TdxfProgressBar::SetGlyph(const QPixmap &value)
{
    m_glyph = value;
    if (!m_glyph.isNull()) {
        if (Horizontal())
            resize(width(), m_glyph.height() + 4);
        else
            resize(m_glyph.width() + 4, height());
    }
    if (m_style == sPictures)
        update();
}

void TdxfProgressBar::SetMax(int value)
{
    if (value == m_max || value < m_min)
        return;
    m_max = value;
    update();
}

void TdxfProgressBar::SetMin(int value)
{
    if (value == m_min || value > m_max)
        return;
    m_min = value;
    update();
}

void TdxfProgressBar::SetOrientation(TdxfPBOrientation value)
{
    if (value == m_orientation)
        return;
    m_orientation = value;
    update();
}

void TdxfProgressBar::SetPosition(int value)
{
    if (value == m_position)
        return;
    const int old = m_position;
    m_position = value;
    InvalidatePosition(old);
    if (m_showText)
        InvalidateText();
    QAccessibleValueChangeEvent event(this, m_position);
    QAccessible::updateAccessibility(&event);
}

void TdxfProgressBar::SetShowText(bool value)
{
    if (value == m_showText)
        return;
    m_showText = value;
    update();
}

void TdxfProgressBar::SetShowTextStyle(TdxfShowTextStyle value)
{
    if (value == m_showTextStyle)
        return;
    m_showTextStyle = value;
    if (m_showText)
        update();
}

void TdxfProgressBar::SetStyle(TdxfPBStyle value)
{
    if (value == m_style)
        return;
    m_style = value;
    update();
}

void TdxfProgressBar::SetTransparentGlyph(bool value)
{
    if (value == m_transparentGlyph)
        return;
    m_transparentGlyph = value;
    update();
}

void TdxfProgressBar::SetFontColor(TColor value)
{
    if (value == m_fontColor)
        return;
    m_fontColor = value;
    update();
}

void TdxfProgressBar::StepIt()
{
    SetPosition(m_position + m_step);
}

void TdxfProgressBar::StepBy(int n)
{
    SetPosition(m_position + n);
}

void TdxfProgressBar::Loaded()
{
    update();
}

QRect TdxfProgressBar::PositionStrip(int oldPosition) const
{
    const QRect c = rect();
    const bool horizontal = Horizontal();
    const qint64 length = horizontal ? c.width() : c.height();
    const qint64 a = BarLength(oldPosition, m_min, m_max, length);
    const qint64 b = BarLength(m_position, m_min, m_max, length);
    qint64 from = std::min(a, b) - 2;
    qint64 to = std::max(a, b) + 2;
    const qint64 cross = horizontal ? c.height() : c.width();
    if (m_style == sRectangles || m_style == sExRectangles) {
        const qint64 widen = 2 * cross / 3 + 2;
        from -= widen;
        to += widen;
    } else if (m_style == sPictures) {
        const qint64 widen = horizontal ? m_glyph.width() : m_glyph.height();
        from -= widen;
        to += widen;
    }
    // Only the part inside the widget matters; this also keeps huge positions in range.
    from = std::clamp<qint64>(from, 0, length);
    to = std::clamp<qint64>(to, 0, length);
    if (horizontal)
        return QRect(int(from), 0, int(to - from), c.height());
    return QRect(0, int(c.height() - to), c.width(), int(to - from));
}

void TdxfProgressBar::InvalidatePosition(int oldPosition)
{
    const QRect strip = PositionStrip(oldPosition);
    if (!strip.isEmpty())
        repaint(strip);
}

QRect TdxfProgressBar::TextRect() const
{
    const QString sample =
        m_showTextStyle == stsPercent ? QStringLiteral("100 %") : QString::number(m_max);
    const QFontMetrics fm(font());
    const int tw = fm.horizontalAdvance(sample);
    const int th = fm.height();
    if (Horizontal())
        return QRect((width() - tw) / 2, (height() - th) / 2, tw, th);
    return QRect((width() - th) / 2, (height() - tw) / 2, th, tw);
}

void TdxfProgressBar::InvalidateText()
{
    update(TextRect());
}

QRect TdxfProgressBar::InnerRect(QSize size, TdxfBevelOuter bevel)
{
    const QRect r(QPoint(0, 0), size);
    return bevel == bvNone ? r : r.adjusted(2, 2, -2, -2);
}

qint64 TdxfProgressBar::BarLength(qint64 position, qint64 min, qint64 max, qint64 length)
{
    if (max == min) // left open by the bar's callers; never divide by zero
        return position > min ? length : position < min ? -length : 0;
    return (position - min) * length / (max - min);
}

QRect TdxfProgressBar::BarRect(const QRect &inner, int position, int min, int max,
                               TdxfPBOrientation orientation)
{
    if (position <= min)
        return QRect();
    const int left = inner.x();
    const int top = inner.y();
    const int right = inner.x() + inner.width();
    const int bottom = inner.y() + inner.height();
    if (orientation == orHorizontal) {
        const qint64 end = left + BarLength(position, min, max, right - left);
        return QRect(left, top, int(std::min<qint64>(end, right) - left), bottom - top);
    }
    const qint64 start = bottom - BarLength(position, min, max, bottom - top);
    const int barTop = int(std::max<qint64>(start, top));
    return QRect(left, barTop, right - left, bottom - barTop);
}

QRect TdxfProgressBar::BarRect() const
{
    return BarRect(InnerRect(size(), m_bevelOuter), m_position, m_min, m_max, m_orientation);
}

TColor TdxfProgressBar::GradientColor(TColor begin, TColor end, int offset, int span)
{
    // The gradient works on RGB values; system colours are resolved first.
    begin = ColorToRGB(begin);
    end = ColorToRGB(end);
    if (span == 0)
        return begin;
    auto channel = [&](int b, int e) {
        return int((qint64(e - b) * offset + qint64(b) * span) / span);
    };
    return RgbColor(channel(RedOf(begin), RedOf(end)), channel(GreenOf(begin), GreenOf(end)),
                    channel(BlueOf(begin), BlueOf(end)));
}

QString TdxfProgressBar::PercentText(int position, int min, int max)
{
    const qint64 n = qint64(position) * 100;
    const qint64 d = qint64(max) - min;
    qint64 q;
    if (d == 0) {
        q = position > min ? 100 : 0;
    } else {
        q = n / d;
        const qint64 r2 = 2 * std::abs(n % d);
        const qint64 sign = (n < 0) != (d < 0) ? -1 : 1;
        if (r2 > std::abs(d) || (r2 == std::abs(d) && q % 2 != 0))
            q += sign;
    }
    return QString::number(q) + QStringLiteral(" %");
}

QString TdxfProgressBar::Text() const
{
    if (m_showTextStyle == stsPosition)
        return QString::number(m_position);
    return PercentText(m_position, m_min, m_max);
}

QFont TdxfProgressBar::RotatedTextFont(const QFont &font)
{
    QFont rotated(font);
    const QFontInfo info(font);
    if (!QFontDatabase::isScalable(info.family(), info.styleName()))
        rotated.setFamily(QStringLiteral("Arial"));
    return rotated;
}

void TdxfProgressBar::DrawEdge(QPainter &p, const QRect &r, TdxfBevelOuter kind)
{
    if (kind == bvNone)
        return;
    QRect ring = r;
    TPanel::Frame3D(p, ring, kind == bvLowered ? clBtnShadow : clBtnHighlight,
                    kind == bvLowered ? clBtnHighlight : clBtnShadow, 1);
}

void TdxfProgressBar::FillLTRB(QPainter &p, int left, int top, int right, int bottom,
                               TColor color) const
{
    if (right <= left || bottom <= top)
        return;
    const QRect r(left, top, right - left, bottom - top);
    p.fillRect(r, ToQColor(color));
    DrawEdge(p, r, m_barBevelOuter);
}

void TdxfProgressBar::DrawBlocks(QPainter &p, const QRect &r, const QRect &b, bool gradient) const
{
    const int bl = b.x(), bt = b.y(), br = b.x() + b.width(), bb = b.y() + b.height();
    const bool full = m_position >= m_max;
    if (Horizontal()) {
        const int span = r.width();
        const int pitch = 2 * r.height() / 3 + 2;
        // Where no whole block fits, the remainder starts at the bar's own
        // start rather than at the widget's edge, over the bevel.
        int last = bl;
        for (int x = bl + pitch; x < br; x += pitch) {
            const TColor c =
                gradient ? GradientColor(m_beginColor, m_endColor, x - bl, span) : m_beginColor;
            FillLTRB(p, x - pitch, bt, x - 2, bb, c);
            last = x;
        }
        if (full)
            FillLTRB(p, last, bt, br, bb,
                     gradient ? GradientColor(m_beginColor, m_endColor, last - bl, span)
                              : m_beginColor);
    } else {
        const int span = r.height();
        const int pitch = 2 * r.width() / 3 + 2;
        int last = bb;
        for (int y = bb - 1 - pitch; y >= bt; y -= pitch) {
            const TColor c =
                gradient ? GradientColor(m_beginColor, m_endColor, bb - y, span) : m_beginColor;
            FillLTRB(p, bl, y + 2, br, y + pitch, c);
            last = y;
        }
        if (full)
            FillLTRB(p, bl, bt, br, last,
                     gradient ? GradientColor(m_beginColor, m_endColor, bb - last, span)
                              : m_beginColor);
    }
}

QPixmap TdxfProgressBar::GlyphToDraw() const
{
    if (!m_transparentGlyph || m_glyph.isNull())
        return m_glyph;
    // The colour of the bottom-left pixel is the transparent one.
    QPixmap glyph = m_glyph;
    const QColor key = m_glyph.toImage().pixelColor(0, m_glyph.height() - 1);
    glyph.setMask(m_glyph.createMaskFromColor(key, Qt::MaskInColor));
    return glyph;
}

void TdxfProgressBar::DrawPictures(QPainter &p, const QRect &b) const
{
    const int gw = m_glyph.width(), gh = m_glyph.height();
    if (gw <= 0 || gh <= 0)
        return;
    const QPixmap glyph = GlyphToDraw();
    const int bl = b.x(), bt = b.y(), br = b.x() + b.width(), bb = b.y() + b.height();
    if (Horizontal()) {
        int last = bl;
        for (int x = bl + gw; x < br; x += gw) {
            p.drawPixmap(x - gw, bt, glyph);
            last = x;
        }
        if (m_position == m_max)
            p.drawPixmap(last, bt, glyph);
    } else {
        int last = bb - 1;
        for (int y = bb - 1 - gh; y >= bt; y -= gh) {
            p.drawPixmap(bl, y, glyph);
            last = y;
        }
        if (m_position == m_max)
            p.drawPixmap(bl, last - gh, glyph);
    }
}

void TdxfProgressBar::DrawBar(QPainter &p, const QRect &r, const QRect &b) const
{
    switch (m_style) {
    case sSolid:
        p.fillRect(b, ToQColor(m_beginColor));
        DrawEdge(p, b, m_barBevelOuter);
        break;
    case sExSolid:
        if (Horizontal()) {
            for (int x = b.x(); x < b.x() + b.width(); ++x)
                p.fillRect(QRect(x, b.y(), 1, b.height()),
                           ToQColor(GradientColor(m_beginColor, m_endColor, x - b.x(), r.width())));
        } else {
            const int bottom = b.y() + b.height();
            for (int y = bottom - 1; y >= b.y(); --y)
                p.fillRect(
                    QRect(b.x(), y, b.width(), 1),
                    ToQColor(GradientColor(m_beginColor, m_endColor, bottom - y, r.height())));
        }
        DrawEdge(p, b, m_barBevelOuter);
        break;
    case sRectangles:
        DrawBlocks(p, r, b, false);
        break;
    case sExRectangles:
        DrawBlocks(p, r, b, true);
        break;
    case sPictures:
        DrawPictures(p, b);
        break;
    }
}

QPixmap TdxfProgressBar::Draw() const
{
    QPixmap pix(size());
    QPainter p(&pix);
    p.fillRect(rect(), palette().color(backgroundRole()));
    DrawEdge(p, rect(), m_bevelOuter);
    const QRect r = InnerRect(size(), m_bevelOuter);
    const QRect b = BarRect(r, m_position, m_min, m_max, m_orientation);
    if (!b.isEmpty())
        DrawBar(p, r, b);

    if (m_showText) {
        const QString text = Text();
        const QFontMetrics fm(font());
        const int tw = fm.horizontalAdvance(text);
        const int th = fm.height();
        p.setPen(ToQColor(m_fontColor));
        if (Horizontal()) {
            p.setFont(font());
            p.drawText((width() - tw) / 2, (height() - th) / 2 + fm.ascent(), text);
        } else {
            const QFont rotated = RotatedTextFont(font());
            p.setFont(rotated);
            p.translate(th + (width() - th) / 2, (height() - tw) / 2);
            p.rotate(90); // the platform's escapement of 270 degrees
            p.drawText(0, QFontMetrics(rotated).ascent(), text);
        }
    }
    p.end();
    return pix;
}

void TdxfProgressBar::paintEvent(QPaintEvent *)
{
    QPainter(this).drawPixmap(0, 0, Draw());
}
