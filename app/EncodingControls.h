#pragma once

#include <QString>
#include <QStringList>

class QCheckBox;
class QSlider;
class TDigitBar;
class TFolderBrowseEdit;
class TMultiColComboBox;

// The main window's encoding settings: the controls the conversion reads and
// the settings file stores, and the two handlers that keep them in step. The
// controls are the only store of the settings; this only points at them.
struct EncodingControls
{
    TMultiColComboBox *C2_00 = nullptr; // preset chooser
    TMultiColComboBox *C2_04 = nullptr; // hidden codec chooser
    TDigitBar *DigitBar1 = nullptr;     // frame rate, 1..60
    TDigitBar *DigitBar2 = nullptr;     // video bit rate, 8..768 kbit/s
    TDigitBar *DigitBar3 = nullptr;     // audio bit rate, 8..320 kbit/s
    QSlider *TrackBar1 = nullptr;       // sample-rate index, 0 = 48000 Hz (top) .. 4 = 8000 Hz
    QSlider *TrackBar2 = nullptr;       // size index, 0 = 176x144 (left) .. 2 = 640x480
    QCheckBox *CheckBox1 = nullptr;     // two passes
    QCheckBox *CheckBox2 = nullptr;     // mono audio
    TFolderBrowseEdit *C1_03 = nullptr; // output folder
    QString *OutputExt = nullptr;       // "." and the extension of the preset last applied

    // Ranges and the values in force before any preset or stored setting.
    void SetDesignValues() const;

    // Applies the selected row of C2_00 (the first preset when the header row
    // or nothing is selected). A number that does not convert raises
    // EConvertError; the controls set before it keep their new values.
    void C2_00Change() const;

    // Drops a trailing separator from the output folder (the root "/" stays),
    // once the user has finished typing it, and shows the folder without
    // trailing separators as the field's hint.
    void C1_03Change() const;
};

// The output folder field's hint until the path first changes.
QString OutputFolderHint();

// Size index of a size field: 0, 1, 2 for "176x144", "320x240", "640x480"; -1 otherwise.
int SizeIndex(const QString &field);
// Index of the first item containing the (non-empty) field; 0 when none does.
int CodecIndex(const QString &field, const QStringList &items);
// The number in front of the unit ("15" of "15fps"), by the strict integer
// conversion; raises EConvertError with the converted text (empty when the
// unit is missing or stands first).
int NumberBeforeUnit(const QString &field, const QString &unit);
// Slider position of a sample rate: 48000 -> 0 .. 8000 -> 4; -1 for any other rate.
int SampleRateIndex(int hertz);
// The path without one trailing "/"; the root "/" stays as it is.
QString WithoutTrailingSeparator(const QString &path);
