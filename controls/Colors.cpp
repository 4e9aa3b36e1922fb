#include "Colors.h"

#include <QGuiApplication>
#include <QPalette>

namespace {
// The one place where the framework's system colours meet Qt's palette.
QColor systemColor(TColor c)
{
    const QPalette pal = QGuiApplication::palette();
    switch (c & 0xFF) {
    case 0x05: return pal.color(QPalette::Base);            // clWindow
    case 0x08: return pal.color(QPalette::Text);            // clWindowText
    case 0x0D: return pal.color(QPalette::Highlight);       // clHighlight
    case 0x0E: return pal.color(QPalette::HighlightedText); // clHighlightText
    case 0x0F: return pal.color(QPalette::Button);          // clBtnFace
    case 0x10: return pal.color(QPalette::Dark);            // clBtnShadow
    case 0x11: return pal.color(QPalette::Disabled, QPalette::Text); // clGrayText
    case 0x12: return pal.color(QPalette::ButtonText);      // clBtnText
    case 0x14: return pal.color(QPalette::Light);           // clBtnHighlight
    case 0x15: return pal.color(QPalette::Shadow);          // cl3DDkShadow
    case 0x16: return pal.color(QPalette::Midlight);        // cl3DLight
    case 0x17: return pal.color(QPalette::ToolTipText);     // clInfoText
    case 0x18: return pal.color(QPalette::ToolTipBase);     // clInfoBk
    default: return pal.color(QPalette::Window);
    }
}
} // namespace

TColor ColorToRGB(TColor color)
{
    if (!IsSystemColor(color))
        return color & 0x00FFFFFFu;
    const QColor q = systemColor(color);
    return RgbColor(q.red(), q.green(), q.blue());
}

QColor ToQColor(TColor color)
{
    const TColor rgb = ColorToRGB(color);
    return QColor(RedOf(rgb), GreenOf(rgb), BlueOf(rgb));
}

TColor FromQColor(const QColor &color)
{
    return RgbColor(color.red(), color.green(), color.blue());
}
