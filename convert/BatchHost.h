#pragma once

#include "EncoderCommand.h"
#include "Process.h"

#include <QString>
#include <memory>

class QWidget;

// What the conversion batch and the progress window need of the main window.
// The main window implements it; tests implement it with a plain object.
//
// Usage (in TMainForm1, which derives from QWidget and BatchHost):
//
//   QWidget *BatchWindow() override { return this; }
//   int SourceCount() const override { return ListBox1->count(); }
//   QString SourceEntry(int i) const override { return ListBox1->item(i)->text(); }
//   EncodingSettings ReadSettings() const override {
//       EncodingSettings s;
//       s.Codec = C2_04->GetSelectedText();      s.SizePosition = TrackBar2->value();
//       s.RatePosition = TrackBar1->value();     s.FrameRate = DigitBar1->Position();
//       s.VideoBitRate = DigitBar2->Position();  s.AudioBitRate = DigitBar3->Position();
//       s.TwoPass = CheckBox1->isChecked();      s.Mono = CheckBox2->isChecked();
//       s.OutputFolder = C1_03->Path();          s.OutputExt = OutputExt;
//       return s;
//   }
//   QString &SourceFileText() override { return SourceFile; }   // likewise OutputFile,
//                                            // QuotedOutputFile, OutputExt; ThumbnailDirText()
//   std::unique_ptr<ChildProcess> &EncoderProcessRecord() override { return EncoderProcess; }
//
//   void TMainForm1::Button0Click() { ::Button0Click(*this); }
//   void TMainForm1::Button10Click() { Button0Click(); }
//
// The output folder (C1_03) is held without a trailing separator, except that
// the root stays "/". Quitting the application during a batch
// (QApplication::quit()) ends the running encoder and the batch by itself; a
// close handler that does not quit can call TConversionBatch::Current()->Abort().
class BatchHost
{
public:
    virtual ~BatchHost() = default;

    // The main window: disabled while the batch runs, owner of the progress window.
    virtual QWidget *BatchWindow() = 0;

    // The source list (ListBox1): its count, read again before every entry,
    // and its entries as they stand (full paths).
    virtual int SourceCount() const = 0;
    virtual QString SourceEntry(int index) const = 0;

    // The encoding controls as they are now; called for every command line.
    virtual EncodingSettings ReadSettings() const = 0;

    // The main window's texts the batch fills and the progress window reads.
    virtual QString &SourceFileText() = 0;
    virtual QString &OutputFileText() = 0;
    virtual QString &QuotedOutputFileText() = 0;
    // "." and the preset's extension; lowercased in place before every pass.
    virtual QString &OutputExtText() = 0;
    // The folder the thumbnail run writes its picture to, in place of the
    // program's folder: the program's folder itself when that is portable.
    virtual QString ThumbnailDirText() const = 0;

    // The encoder run of the current pass; the progress window's cancel ends it.
    virtual std::unique_ptr<ChildProcess> &EncoderProcessRecord() = 0;
};
