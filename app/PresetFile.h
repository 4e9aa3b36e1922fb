#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class TMultiColComboBox;

// The presets of profile.txt beside the program: one row per line, nine
// comma-text fields each (name, extension, size, video codec, frame rate,
// video bit rate, audio codec, sample rate, audio bit rate).

// Item 0 of the preset chooser: the column headings over the presets.
QString PresetHeaderRow();

// The names of the codec chooser, in item order.
QStringList CodecNames();

// Longest part of a line that is read, in bytes of the file's encoding.
constexpr int MaxPresetLineBytes = 4096;

// profile.txt in the program folder appDir.
QString PresetFilePath(const QString &appDir);

// The rows of a preset file's contents: CR LF, LF and CR each end a line, a
// break at the very end adds no row, each line keeps at most its first 4096
// bytes (whole characters only). UTF-8 when the whole file is valid UTF-8,
// CP932 otherwise.
QStringList PresetRows(const QByteArray &bytes);

// Reads the rows of a preset file; raises EFOpenError naming the path.
QStringList ReadPresetFile(const QString &path);

// The header row, then the rows, as items of the preset chooser.
void FillPresetChooser(TMultiColComboBox *chooser, const QStringList &rows);
// Reads profile.txt of appDir into the preset chooser (raises as ReadPresetFile).
void LoadPresets(TMultiColComboBox *chooser, const QString &appDir);

// "LIBX264", "MPEG4", "LIBXVID" as the items of the codec chooser.
void FillCodecChooser(TMultiColComboBox *chooser);
