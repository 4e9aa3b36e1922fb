#include "Panel.h"

#include "FocusCues.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

TPanel::TPanel(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    TFocusCues::Watch();
}

void TPanel::SetColor(TColor color)
{
    if (color != m_color) {
        m_color = color;
        update();
    }
}

void TPanel::SetBevelOuter(TPanelBevel bevel)
{
    if (bevel != m_bevelOuter) {
        m_bevelOuter = bevel;
        update();
    }
}

void TPanel::SetBevelInner(TPanelBevel bevel)
{
    if (bevel != m_bevelInner) {
        m_bevelInner = bevel;
        update();
    }
}

void TPanel::SetCaption(const QString &caption)
{
    if (caption != m_caption) {
        m_caption = caption;
        update();
    }
}

void TPanel::SetFontColor(TColor color)
{
    if (color != m_fontColor) {
        m_fontColor = color;
        update();
    }
}

void TPanel::Frame3D(QPainter &painter, QRect &rect, TColor top, TColor bottom, int width)
{
    const QColor t = ToQColor(top);
    const QColor b = ToQColor(bottom);
    for (int i = 0; i < width && rect.width() > 0 && rect.height() > 0; ++i) {
        painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), t);
        painter.fillRect(QRect(rect.left(), rect.top(), 1, rect.height()), t);
        painter.fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), b);
        painter.fillRect(QRect(rect.right(), rect.top(), 1, rect.height()), b);
        rect.adjust(1, 1, -1, -1);
    }
}

QRect TPanel::FaceRect() const
{
    const int inset = (m_bevelOuter != bvNone ? 1 : 0) + (m_bevelInner != bvNone ? 1 : 0);
    return rect().adjusted(inset, inset, -inset, -inset);
}

void TPanel::draw(QPainter &painter) const
{
    const TColor light = ColorToRGB(clBtnHighlight);
    const TColor dark = ColorToRGB(clBtnShadow);
    QRect r = rect();
    painter.fillRect(r, ToQColor(m_color));
    if (m_bevelOuter != bvNone)
        Frame3D(painter, r, m_bevelOuter == bvRaised ? light : dark,
                m_bevelOuter == bvRaised ? dark : light, 1);
    if (m_bevelInner != bvNone)
        Frame3D(painter, r, m_bevelInner == bvRaised ? light : dark,
                m_bevelInner == bvRaised ? dark : light, 1);
    if (!m_caption.isEmpty()) {
        painter.setFont(font());
        painter.setPen(ToQColor(m_fontColor));
        painter.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, m_caption);
    }
    // A panel that takes the focus shows it, once keys are in use.
    if (TFocusCues::Visible(this)) {
        painter.setPen(ToQColor(clFocusFrame));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(FocusRect().adjusted(0, 0, -1, -1));
    }
}

QRect TPanel::FocusRect() const
{
    return FaceRect().adjusted(FocusInset, FocusInset, -FocusInset, -FocusInset);
}

void TPanel::paintEvent(QPaintEvent *)
{
    QPixmap buffer(size() * devicePixelRatioF());
    buffer.setDevicePixelRatio(devicePixelRatioF());
    QPainter off(&buffer);
    draw(off);
    off.end();
    QPainter painter(this);
    painter.drawPixmap(0, 0, buffer);
}

void TPanel::mousePressEvent(QMouseEvent *event)
{
    event->accept();
}
