#pragma once

#include "AppFiles.h"
#include "BatchReport.h"
#include "EncoderCommand.h"
#include "Files.h"
#include "OutputJournal.h"
#include "PendingOutput.h"

#include <QObject>
#include <QString>
#include <memory>
#include <unordered_map>
#include <unordered_set>

class BatchHost;
class ChildProcess;
class TProgressForm1;

// The conversion batch: what "[ 変換開始 ]" does. Converts every entry of the
// host's source list, in one or two passes each, by running the encoder once
// per pass, with the progress window showing the way. Runs on the GUI thread
// and returns when the batch is over; events are handled only while an
// encoder runs. A pass that would overwrite its own source, another file of
// the list, or an output this batch has made from another source (files
// compared by identity, so a case-insensitive memory card or a link changes
// nothing) is not run and counts as failed; a pipe or a device gets no
// thumbnail run (it would take the conversion's data). A file that lay at an
// output path before is replaced only by a finished output (see
// PendingOutput); the journal of outputs under way lets the next start tidy up
// after a crash (SettleEarlierRuns).
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

    // Where the journal of outputs under way is kept.
    QString JournalFolder = AppFiles::StateFolder();

    // The texts the batch shows in case of trouble.
    static QString UnsupportedFilesMessage();
    static QString UnknownErrorMessage();
    static QString EncoderNotStartedMessage();
    static QString OlderFilesKeptMessage(const QStringList &paths);

    // At start: tidies up after runs that ended in the middle of a
    // conversion (the partial output removed, the older file put back), and
    // names in a message any older file that could not be put back.
    static void SettleEarlierRuns(const QString &journalFolder);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class PassResult { Done, Failed, NotStarted };

    struct IdHash
    {
        size_t operator()(const FileId &id) const
        {
            return std::hash<quint64>()(id.inode * 31 + id.device);
        }
    };

    PassResult runPass(TProgressForm1 &form, int pass, int passes,
                       const EncodingSettings &settings);
    // Notes why the running pass failed, for the end's details.
    PassResult fail(BatchReport::Failure kind, int code = 0);
    std::optional<BatchReport::Failure> clashes(const std::optional<FileId> &source,
                                                const QString &output) const;
    bool abandonOutput();
    void waitForEncoder(ChildProcess &encoder);
    void release(TProgressForm1 *form);
    void endNow();

    BatchHost &m_host;
    bool m_abort = false;
    // The files of the list, as the batch starts.
    std::unordered_set<FileId, IdHash> m_sources;
    // The outputs this batch has made, each with its source.
    std::unordered_map<FileId, FileId, IdHash> m_made;
    // The running file's output and its older file (it records into the
    // journal, so it goes first).
    std::unique_ptr<OutputJournal> m_journal;
    PendingOutput m_pending;
    // An older file could not be put back.
    bool m_keptAside = false;
    // The failed passes and the finished files; the pass under way and its
    // entry.
    BatchReport m_report;
    BatchReport::FailedPass m_pass;
    BatchReport::FailedPass m_pendingPass;
};

// The batch with its usual settings, for the main window's Button0Click.
void Button0Click(BatchHost &host);
