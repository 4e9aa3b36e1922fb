#include "Bevel.h"

#include "Colors.h"
#include "Panel.h"

#include <QPainter>

TBevel::TBevel(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TBevel::SetLowered(bool lowered)
{
    if (lowered != m_lowered) {
        m_lowered = lowered;
        update();
    }
}

void TBevel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QRect r = rect();
    const TColor light = ColorToRGB(clBtnHighlight);
    const TColor dark = ColorToRGB(clBtnShadow);
    TPanel::Frame3D(painter, r, m_lowered ? dark : light, m_lowered ? light : dark, 1);
}
