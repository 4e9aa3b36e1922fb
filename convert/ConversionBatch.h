#pragma once

#include "EncoderCommand.h"
#include "Files.h"

#include <QHash>
#include <QObject>
#include <QString>

class BatchHost;
class ChildProcess;
class TProgressForm1;

// The conversion batch: what "[ 変換開始 ]" does. Converts every entry of the
// host's source list, in one or two passes each, by running the encoder once
// per pass, with the progress window showing the way. Runs on the GUI thread
// and returns when the batch is over; events are handled only while an
// encoder runs. A pass that would overwrite its own source, or an output this
// batch has made from another source, is not run and counts as failed; a pipe
// or a device gets no thumbnail run (it would take the conversion's data).
//
// The main window's handlers:
//   void TMainForm1::Button0Click() { ::Button0Click(*this); }
//   void TMainForm1::Button10Click() { Button0Click(); }
// (see BatchHost.h for what the main window provides).
class TConversionBatch : public QObject
{
    Q_OBJECT

public:
    explicit TConversionBatch(BatchHost &host, QObject *parent = nullptr);
    ~TConversionBatch() override;

    // The batch itself.
    void Run();

    // Ends the running encoder (its output, being incomplete, is deleted) and
    // stops the batch without further passes or messages. Quitting the
    // application (QApplication::quit()) during a batch does this by itself.
    void Abort();
    bool Aborted() const { return m_abort; }

    // The batch now running, if any.
    static TConversionBatch *Current();

    // The encoder of the conversion runs: a bare name is looked for in the
    // program's folder first, then on PATH; a path is used as it stands.
    QString EncoderProgram = QLatin1String(EncoderName);
    // The encoder of the thumbnail runs: a bare name is looked up on PATH by
    // the shell. Button0Click gives it the adapter's path.
    QString ThumbnailProgram = QLatin1String(EncoderName);
    // The pause between the thumbnail run and the conversion run of a pass.
    int PauseMs = 1000;

    // The texts the batch shows in case of trouble.
    static QString UnsupportedFilesMessage();
    static QString UnknownErrorMessage();
    static QString EncoderNotStartedMessage();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class PassResult { Done, Failed, NotStarted };

    PassResult runPass(TProgressForm1 &form, int pass, const EncodingSettings &settings);
    void waitForEncoder(ChildProcess &encoder);
    void release(TProgressForm1 *form);

    BatchHost &m_host;
    bool m_abort = false;
    // The outputs this batch has made, each with its source.
    QHash<QString, QString> m_written;
    // The output path's file before the running file's first pass.
    std::optional<FileEntry> m_outputBefore;
};

// The batch with its usual settings, for the main window's Button0Click.
void Button0Click(BatchHost &host);
