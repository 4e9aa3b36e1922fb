#pragma once

// Makes the forms' face names work here: "ＭＳ Ｐゴシック" is drawn with
// IPAPGothic and "Tahoma" with Wine's Tahoma, whose files are loaded when
// present. Without those fonts the system's fallbacks are used.
void InstallFontSubstitutes();

class QWidget;

// Forms give font heights in pixels (a widget's "pixelSize" property, as the
// form file cannot store pixel sizes); applies them to the form and every
// widget in it.
void ApplyFormFonts(QWidget *form);
