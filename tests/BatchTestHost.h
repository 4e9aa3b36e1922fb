#pragma once

// A main window for the batch tests: the source list, the encoding settings
// and the texts the batch fills, held in plain members.

#include "BatchHost.h"
#include "ConversionBatch.h"
#include "Process.h"

#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>

class BatchTestHost : public BatchHost
{
public:
    BatchTestHost() { Window.resize(400, 591); }

    QWidget *BatchWindow() override { return &Window; }
    int SourceCount() const override { return int(Entries.size()); }
    QString SourceEntry(int index) const override { return Entries.at(index); }
    EncodingSettings ReadSettings() const override
    {
        ++SettingsReads;
        if (OnReadSettings)
            OnReadSettings();
        EncodingSettings s = Settings;
        s.OutputExt = OutputExt;
        return s;
    }
    QString &SourceFileText() override { return SourceFile; }
    QString &OutputFileText() override { return OutputFile; }
    QString &QuotedOutputFileText() override { return QuotedOutputFile; }
    QString &OutputExtText() override { return OutputExt; }
    QString ThumbnailDirText() const override { return AppDir; }
    std::unique_ptr<ChildProcess> &EncoderProcessRecord() override { return EncoderProcess; }

    // Runs the batch to its end; sample, when given, is called every 5 ms
    // while an encoder runs.
    void Run(TConversionBatch &batch, const std::function<void()> &sample = {})
    {
        QTimer sampler;
        if (sample) {
            QObject::connect(&sampler, &QTimer::timeout, [&] {
                if (EncoderProcess && EncoderProcess->IsRunning())
                    sample();
            });
            sampler.start(5);
        }
        batch.Run();
    }

    QWidget Window;
    QStringList Entries;
    EncodingSettings Settings;
    QString SourceFile, OutputFile, QuotedOutputFile;
    QString OutputExt = QStringLiteral(".3gp");
    QString AppDir;
    std::unique_ptr<ChildProcess> EncoderProcess;
    mutable int SettingsReads = 0;
    // Called whenever the batch reads the settings (it does so once per pass).
    std::function<void()> OnReadSettings;
};
