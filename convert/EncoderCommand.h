#pragma once

#include <QString>
#include <QStringList>

// The encoding settings one command line is built from, copied from the main
// window's controls at the moment the command is built.
struct EncodingSettings
{
    QString Codec;          // selected text of C2_04: "LIBX264", "MPEG4" or "LIBXVID"
    int SizePosition = 1;   // TrackBar2: 0 = 176x144, 1 = 320x240, 2 = 640x480
    int RatePosition = 3;   // TrackBar1: 0 = 48000 Hz ... 4 = 8000 Hz
    int FrameRate = 15;     // DigitBar1, frames per second
    int VideoBitRate = 384; // DigitBar2, kbit/s
    int AudioBitRate = 64;  // DigitBar3, kbit/s
    bool TwoPass = false;   // CheckBox1
    bool Mono = false;      // CheckBox2
    QString OutputFolder;   // C1_03, without a trailing separator ("/" for the root)
    QString OutputExt;      // ".3gp": "." and the preset's extension
};

// One encoder run: the program and its arguments, each argument one whole
// piece (a path with blanks or quotes stays one argument).
struct EncoderCommand
{
    QString Program;
    QStringList Arguments;
};

// The encoder's file name, for the conversion run and the thumbnail run.
inline constexpr const char *EncoderName = "ffmpeg";

// A-Z become a-z; every other character stays.
QString LowerAscii(const QString &text);

// The file-name part of a path: everything behind the last "/".
QString FileNamePart(const QString &path);

// The output path of one list entry: the entry's file name with its extension
// replaced by outputExt, in outputFolder. The name keeps its own case.
// Empty when that name would be "", "." or "..", which name no file in the folder.
QString BuildOutputPath(const QString &source, const QString &outputFolder,
                        const QString &outputExt);

// A path as the encoder is to get it: FFmpeg takes an argument that begins
// with "-" for an option, and a first part with a ":" (clip:1.avi) or a name
// that begins "subfile," and has a ":" further on for a protocol, so such a
// relative path gets "./" in front; every other path stays as it is.
QString EncoderPathArgument(const QString &path);

// The conversion run of one pass (1 or 2; written only for two passes).
EncoderCommand BuildConversionCommand(int pass, const QString &sourceFile,
                                      const QString &outputFile, const EncodingSettings &settings);

// The arguments of the thumbnail run: one 80 x 60 picture 5 s into the source,
// written to _thumb.jpg in thumbnailDir.
QStringList BuildThumbnailArguments(const QString &sourceFile, const QString &thumbnailDir);

// The picture the thumbnail run writes.
QString ThumbnailPath(const QString &thumbnailDir);

// The text form of a command: the program, then the arguments joined by one
// blank, every path (the source, the output, the thumbnail) between double
// quotes. For display and comparison only; processes start from the list.
QString CommandText(const EncoderCommand &command);
// The thumbnail run's parameter text in the same form.
QString BuildThumbnailParameters(const QString &sourceFile, const QString &thumbnailDir);
