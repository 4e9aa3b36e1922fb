#include "Shape.h"

#include <QPainter>

TShape::TShape(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TShape::SetBrushColor(TColor color)
{
    if (color != m_brushColor) {
        m_brushColor = color;
        update();
    }
}

void TShape::SetPenColor(TColor color)
{
    if (color != m_penColor) {
        m_penColor = color;
        update();
    }
}

void TShape::SetPenWidth(int width)
{
    width = qMax(0, width);
    if (width != m_penWidth) {
        m_penWidth = width;
        update();
    }
}

void TShape::Draw(QPainter &painter, const QSize &size, TColor brush, TColor pen, int penWidth)
{
    const QRect all(QPoint(0, 0), size);
    painter.fillRect(all, ToQColor(pen));
    painter.fillRect(all.adjusted(penWidth, penWidth, -penWidth, -penWidth), ToQColor(brush));
}

void TShape::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    Draw(painter, size(), m_brushColor, m_penColor, m_penWidth);
}
