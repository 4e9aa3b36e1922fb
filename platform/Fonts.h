#pragma once

// Makes the forms' face names work here: "ＭＳ Ｐゴシック" is drawn with
// IPAPGothic and "Tahoma" with Wine's Tahoma, whose files are loaded when
// present. Without those fonts the system's fallbacks are used.
void InstallFontSubstitutes();
