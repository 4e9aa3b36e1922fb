#pragma once

#include <QFont>
#include <QString>

// The windows are drawn with "ＭＳ Ｐゴシック" and "Tahoma". Neither is a system
// font here: Tahoma comes from Wine's font folder and the Japanese face is
// replaced by IPAPGothic. Call once after the application object exists;
// later calls do nothing.
void InstallDesignFonts();

// A font as the windows give it: face, character height in pixels, bold or not.
// Text is drawn without anti-aliasing, as the original screens show it.
QFont DesignFont(const QString &face, int pixelHeight, bool bold = false);
