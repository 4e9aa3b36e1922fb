#pragma once

#include <QColor>
#include <QtGlobal>

// A colour as the forms give it: red in the low byte, then green, then blue.
// A value with the top bit set names a system colour.
using TColor = quint32;

constexpr TColor RgbColor(int r, int g, int b)
{
    return TColor(r & 0xFF) | (TColor(g & 0xFF) << 8) | (TColor(b & 0xFF) << 16);
}
constexpr bool IsSystemColor(TColor c)
{
    return (c & 0x80000000u) != 0;
}
constexpr int RedOf(TColor c)
{
    return int(c & 0xFF);
}
constexpr int GreenOf(TColor c)
{
    return int((c >> 8) & 0xFF);
}
constexpr int BlueOf(TColor c)
{
    return int((c >> 16) & 0xFF);
}

constexpr TColor clBlack = RgbColor(0x00, 0x00, 0x00);
constexpr TColor clWhite = RgbColor(0xFF, 0xFF, 0xFF);
constexpr TColor clSilver = RgbColor(0xC0, 0xC0, 0xC0);
constexpr TColor clGray = RgbColor(0x80, 0x80, 0x80);
constexpr TColor clYellow = RgbColor(0xFF, 0xFF, 0x00);
constexpr TColor clLime = RgbColor(0x00, 0xFF, 0x00);
constexpr TColor clGreen = RgbColor(0x00, 0x80, 0x00);
constexpr TColor clRed = RgbColor(0xFF, 0x00, 0x00);
constexpr TColor clBlue = RgbColor(0x00, 0x00, 0xFF);
constexpr TColor clNavy = RgbColor(0x00, 0x00, 0x80);
constexpr TColor clMaroon = RgbColor(0x80, 0x00, 0x00);

// The program's own colours.
constexpr TColor clPanelFace = RgbColor(0xEB, 0xEB, 0xEB);
constexpr TColor clTextGrey = RgbColor(0x46, 0x46, 0x46);
constexpr TColor clTitleButtonGrey = RgbColor(0x9D, 0x9D, 0x9D);
constexpr TColor clLightGrey = RgbColor(0xF0, 0xF0, 0xF0);
constexpr TColor clVideoAccent = RgbColor(0xFF, 0xC4, 0xFF);
constexpr TColor clAudioAccent = RgbColor(0xC4, 0xFF, 0xFF);
constexpr TColor clLabelBlue = RgbColor(0x00, 0x80, 0xFF);
// The line that shows the keyboard focus on the custom controls: dark against
// their light faces and fills.
constexpr TColor clFocusFrame = clBlack;

// System colours (the framework's names and numbers).
constexpr TColor clScrollBar = 0x80000000u;
constexpr TColor clBackground = 0x80000001u;
constexpr TColor clActiveCaption = 0x80000002u;
constexpr TColor clWindow = 0x80000005u;
constexpr TColor clWindowText = 0x80000008u;
constexpr TColor clHighlight = 0x8000000Du;
constexpr TColor clHighlightText = 0x8000000Eu;
constexpr TColor clBtnFace = 0x8000000Fu;
constexpr TColor clBtnShadow = 0x80000010u;
constexpr TColor clGrayText = 0x80000011u;
constexpr TColor clBtnText = 0x80000012u;
constexpr TColor clBtnHighlight = 0x80000014u;
constexpr TColor cl3DDkShadow = 0x80000015u;
constexpr TColor cl3DLight = 0x80000016u;
constexpr TColor clInfoText = 0x80000017u;
constexpr TColor clInfoBk = 0x80000018u;
constexpr TColor clNone = 0x1FFFFFFFu;

// Resolves a system colour to RGB through the application palette; an RGB
// value comes back unchanged.
TColor ColorToRGB(TColor color);

// The QColor of a colour value (system colours resolved).
QColor ToQColor(TColor color);
TColor FromQColor(const QColor &color);
