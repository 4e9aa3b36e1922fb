#pragma once

#include <QString>
#include <QStringList>

// Splits a text into fields by the comma-text rule of the preset rows:
// characters 1 to 32 before a field are skipped; a field in double quotes runs
// to its closing quote ("" stands for one quote); any other field ends at a
// comma or at a character 1 to 32; a trailing comma adds one empty field; an
// empty text gives no fields. Characters above 127 never end a field. A NUL
// ends the text.
QStringList CommaTextFields(const QString &text);

// Field `index` of the text, or empty text when it has fewer fields.
QString CommaTextField(const QString &text, int index);
