#include "ConversionBatch.h"

#include "AppFiles.h"
#include "BatchDesktop.h"
#include "BatchHost.h"
#include "Dialogs.h"
#include "ErrorLines.h"
#include "Errors.h"
#include "FileNames.h"
#include "Files.h"
#include "Jpeg.h"
#include "Misc.h"
#include "ProgramEnd.h"
#include "ProgressWindow1.h"
#include "Shell.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <QTimer>
#include <optional>

namespace {
TConversionBatch *s_current = nullptr;

// The longest the batch waits for an encoder before it looks at it again when
// nothing else wakes it.
constexpr int WaitSliceMs = 60;
} // namespace

TConversionBatch::TConversionBatch(BatchHost &host, QObject *parent) : QObject(parent), m_host(host)
{
}

TConversionBatch::~TConversionBatch()
{
    if (s_current == this)
        s_current = nullptr;
}

TConversionBatch *TConversionBatch::Current()
{
    return s_current;
}

QString TConversionBatch::UnsupportedFilesMessage()
{
    return QStringLiteral("変換できない非対応ファイルが含まれていました。"
                          "保存先に指定したフォルダで変換結果をご確認下さい。");
}

QString TConversionBatch::UnknownErrorMessage()
{
    return QStringLiteral("原因が特定できないエラーが生じました。処理を中止します。");
}

QString TConversionBatch::EncoderNotStartedMessage()
{
    return QStringLiteral("ffmpeg を起動できませんでした。");
}

QString TConversionBatch::OlderFilesKeptMessage(const QStringList &paths)
{
    QStringList shown;
    for (const QString &p : paths)
        shown << ReadableFileName(p);
    return QStringLiteral("変換が途中で終わったため、元のファイルを次の名前で残してあります。\n") +
           shown.join(QLatin1Char('\n'));
}

void TConversionBatch::SettleEarlierRuns(const QString &journalFolder)
{
    const QStringList kept = OutputJournal::SettleLeftovers(journalFolder);
    if (kept.isEmpty())
        return;
    MessageBeep();
    ShowMessage(OlderFilesKeptMessage(kept));
}

void Button0Click(BatchHost &host)
{
    TConversionBatch batch(host);
    batch.EncoderProgram = AppFiles::Current().EncoderProgram;
    // The thumbnail run goes through the adapter too, which lists the
    // source's streams meanwhile for the conversion run.
    if (const QString adapter = ChildProcess::FindProgram(batch.EncoderProgram); !adapter.isEmpty())
        batch.ThumbnailProgram = adapter;
    batch.Run();
}

void TConversionBatch::Abort()
{
    m_abort = true;
    if (const std::unique_ptr<ChildProcess> &encoder = m_host.EncoderProcessRecord())
        encoder->Terminate();
}

void TConversionBatch::endNow()
{
    // The process is ending through exit() (the display went away): the
    // batch's stack never unwinds, so the encoder is ended and the output
    // settled here.
    m_abort = true;
    if (const std::unique_ptr<ChildProcess> &encoder = m_host.EncoderProcessRecord()) {
        encoder->Terminate();
        encoder->Wait(5000);
    }
    abandonOutput();
    m_journal.reset();
}

bool TConversionBatch::abandonOutput()
{
    const bool active = m_pending.Active();
    if (m_pending.Abandon())
        return true;
    m_keptAside = true;
    if (active) {
        BatchReport::FailedPass kept = m_pendingPass;
        kept.kind = BatchReport::Failure::OlderNotBack;
        kept.encoderLines.clear();
        m_report.Failed(kept);
    }
    return false;
}

TConversionBatch::PassResult TConversionBatch::fail(BatchReport::Failure kind, int code)
{
    m_pass.kind = kind;
    m_pass.code = code;
    return PassResult::Failed;
}

std::optional<BatchReport::Failure> TConversionBatch::clashes(const std::optional<FileId> &source,
                                                              const QString &output) const
{
    const std::optional<FileId> out = IdentityOf(output);
    if (!out)
        return std::nullopt;
    // The very file the encoder reads, or another file of the list (clip.3gp
    // beside clip.mp4 in a phone's folder).
    if (out == source)
        return BatchReport::Failure::OwnSource;
    if (m_sources.count(*out))
        return BatchReport::Failure::ListedFile;
    // Made by this batch from another file (Clip.avi and clip.mp4 on a
    // memory card that ignores case); a source listed twice may redo its own.
    const auto made = m_made.find(*out);
    if (made != m_made.end() && source != made->second)
        return BatchReport::Failure::MadeByBatch;
    return std::nullopt;
}

bool TConversionBatch::eventFilter(QObject *watched, QEvent *event)
{
    // The application is quitting: no encoder may outlive it, and the event
    // loop it returns to is about to end.
    if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit)
        Abort();
    return QObject::eventFilter(watched, event);
}

void TConversionBatch::release(TProgressForm1 *form)
{
    if (!form)
        return;
    form->Timer1->stop();
    form->hide();
    form->deleteLater();
}

void TConversionBatch::Run()
{
    if (m_host.SourceCount() <= 0)
        return;
    TConversionBatch *const outer = s_current;
    s_current = this;
    m_abort = false;
    m_keptAside = false;
    m_made.clear();
    m_sources.clear();
    m_report = BatchReport();
    QCoreApplication::instance()->installEventFilter(this);
    struct Restore
    {
        TConversionBatch *self, *outer;
        int atExit;
        ~Restore()
        {
            self->abandonOutput();
            self->m_journal.reset();
            ProgramEnd::Remove(atExit);
            QCoreApplication::instance()->removeEventFilter(self);
            s_current = outer;
        }
    } restore{this, outer, ProgramEnd::AtExit([this] { endNow(); })};

    QWidget *const mainWindow = m_host.BatchWindow();
    TProgressForm1 *form = nullptr;
    std::optional<BatchDesktop> desktop;
    enum class End { Finished, NotStarted, Failed } end = End::Finished;
    bool error = false;
    QString outputFolder;
    try {
        form = new TProgressForm1(mainWindow, m_host);
        ProgressForm1 = form;
        form->ProgressBar1->SetMax(m_host.SourceCount());
        form->ProgressBar1->SetPosition(0);
        form->show();
        form->Timer1->start();
        if (mainWindow)
            mainWindow->setEnabled(false);
        desktop.emplace(mainWindow, m_host.SourceCount());

        const EncodingSettings atStart = m_host.ReadSettings();
        outputFolder = atStart.OutputFolder;
        const int passes = atStart.TwoPass ? 2 : 1;
        if (atStart.OutputFolder.isEmpty())
            throw Exception(QStringLiteral("Cannot create the folder \"\""));
        // Whether the folder could be made shows in the encoder's result.
        ForceDirectories(atStart.OutputFolder);
        // No output may land on a file of the list: their identities, once.
        m_sources.reserve(size_t(m_host.SourceCount()));
        for (int i = 0; i < m_host.SourceCount(); ++i)
            if (const std::optional<FileId> id = IdentityOf(m_host.SourceEntry(i)))
                m_sources.insert(*id);

        for (int i = 0; i < m_host.SourceCount() && end == End::Finished && !m_abort; ++i) {
            for (int pass = 1; pass <= passes && !m_abort; ++pass) {
                m_host.SourceFileText() = m_host.SourceEntry(i);
                m_host.OutputExtText() = LowerAscii(m_host.OutputExtText());
                const EncodingSettings now = m_host.ReadSettings();
                m_host.OutputFileText() = BuildOutputPath(m_host.SourceFileText(), now.OutputFolder,
                                                          m_host.OutputExtText());
                m_host.QuotedOutputFileText() =
                    QLatin1Char('"') + m_host.OutputFileText() + QLatin1Char('"');
                form->ProgressBar1->SetPosition(i);
                desktop->Progress(i);
                form->Label1->setText(ReadableFileName(FileNamePart(m_host.SourceFileText())) +
                                      QStringLiteral(" -> ") +
                                      ReadableFileName(FileNamePart(m_host.OutputFileText())));
                form->Label1->adjustSize();
                form->repaint();

                m_pass = BatchReport::FailedPass();
                m_pass.entry = i;
                m_pass.pass = pass;
                m_pass.passes = passes;
                m_pass.source = m_host.SourceFileText();
                m_pass.output = m_host.OutputFileText();
                const PassResult result = runPass(*form, pass, passes, now);
                if (result == PassResult::NotStarted) {
                    end = End::NotStarted;
                    break;
                }
                if (result == PassResult::Failed) {
                    error = true;
                    m_report.Failed(m_pass);
                }
            }
        }
    } catch (...) {
        end = End::Failed;
    }
    // A file whose passes did not all run (quitting between two) is no result.
    if (!abandonOutput())
        error = true;
    if (m_keptAside)
        error = true;
    // Beside the designed end: the desktop learns of it before any box waits
    // for the user.
    if (desktop && !m_abort)
        desktop->Finished(m_report, outputFolder, end != End::Finished);

    if (m_abort) {
        // Quitting: no messages, just give everything back.
    } else if (end == End::Failed) {
        MessageBeep();
        ShowMessage(UnknownErrorMessage());
    } else if (end == End::NotStarted) {
        MessageBeep();
        ShowMessage(EncoderNotStartedMessage());
    } else {
        if (error) {
            MessageBeep();
            ShowMessageWithDetails(UnsupportedFilesMessage(), m_report.Details());
        }
        MessageBeep();
    }
    release(form);
    if (mainWindow)
        mainWindow->setEnabled(true);
}

TConversionBatch::PassResult TConversionBatch::runPass(TProgressForm1 &form, int pass, int passes,
                                                       const EncodingSettings &settings)
{
    const QString source = m_host.SourceFileText();
    const QString output = m_host.OutputFileText();
    const EncoderCommand command = BuildConversionCommand(pass, source, output, settings);
    const std::optional<FileId> from = IdentityOf(source);
    // A file's passes share one output; an earlier file's is settled.
    if (m_pending.Active() && m_pending.Output() != output)
        abandonOutput();
    try {
        // No file name for the output, or the encoder would overwrite the
        // very file it reads, another file of the list, or what another
        // entry of this batch has made.
        if (output.isEmpty()) {
            abandonOutput();
            return fail(BatchReport::Failure::NoOutputName);
        }
        if (const std::optional<BatchReport::Failure> clash = clashes(from, output)) {
            abandonOutput();
            return fail(*clash);
        }
        // Before the file's first pass (and again after a pass that did not
        // finish): an older file at the output path waits aside.
        if (!m_pending.Active()) {
            if (!m_journal)
                m_journal = std::make_unique<OutputJournal>(JournalFolder);
            if (m_pending.Begin(output, m_journal.get()) == PendingOutput::Start::Refused)
                return fail(BatchReport::Failure::OlderFile);
            m_pendingPass = m_pass;
        }

        form.Image1->clear();
        const QString thumbnailDir = m_host.ThumbnailDirText();
        // A pipe or a device gives its data once: a thumbnail run would take
        // it from the conversion run, or wait for it and never end.
        const std::optional<FileEntry> entry = LookUpPath(source);
        if (!entry || !entry->isSystem)
            ShellRun(ThumbnailProgram, BuildThumbnailArguments(source, thumbnailDir));
        Sleep(PauseMs);
        const QString thumbnail = ThumbnailPath(thumbnailDir);
        if (FileExists(thumbnail)) {
            QImage picture;
            try {
                picture = LoadJpeg(thumbnail);
            } catch (...) {
                // Gone also when it is broken: the thumbnail run never
                // overwrites, so it would spoil every later pass.
                DeleteFile(thumbnail);
                m_pass.kind = BatchReport::Failure::Thumbnail;
                throw;
            }
            form.Image1->setPixmap(QPixmap::fromImage(picture));
            DeleteFile(thumbnail);
        }

        form.Button1->SetTag(1);
        std::unique_ptr<ChildProcess> &encoder = m_host.EncoderProcessRecord();
        encoder = std::make_unique<ChildProcess>();
        encoder->KeepErrorOutput();
        if (!encoder->Start(EncoderProgram, command.Arguments)) {
            abandonOutput();
            return PassResult::NotStarted;
        }
        waitForEncoder(*encoder);

        const bool cancelled = form.Button1->Tag() == 0;
        if (cancelled || m_abort) {
            // The output is deleted, and the older file is back (an older
            // file that cannot go back is noted by abandonOutput, and counts
            // as an error at the end).
            abandonOutput();
            return PassResult::Done;
        }
        if (!encoder->Succeeded()) {
            // A failed or killed encoder leaves no usable file, only one that
            // would look like a result.
            abandonOutput();
            // 127: the adapter found no FFmpeg to run; that is a missing
            // encoder, not a file it could not convert.
            if (encoder->Exited() && encoder->ExitCode() == 127)
                return PassResult::NotStarted;
            m_pass.encoderLines = ReadableErrorLines(encoder->ErrorOutput());
            return encoder->Exited() ? fail(BatchReport::Failure::EncoderExit, encoder->ExitCode())
                                     : fail(BatchReport::Failure::EncoderSignal,
                                            encoder->TermSignal());
        }
        // Pass 1 of two is no result yet.
        if (pass < passes)
            return PassResult::Done;
        const FileId made = m_pending.Made();
        m_pending.Finish();
        m_report.Converted(output);
        const std::optional<FileId> out =
            made != FileId() ? std::optional<FileId>(made) : IdentityOf(output);
        if (out && from)
            m_made[*out] = *from;
        return PassResult::Done;
    } catch (...) {
        // Pass 2 not run: pass 1's file, without sound, is no result either.
        abandonOutput();
        return m_pass.kind == BatchReport::Failure::Thumbnail
                   ? PassResult::Failed
                   : fail(BatchReport::Failure::Other);
    }
}

void TConversionBatch::waitForEncoder(ChildProcess &encoder)
{
    // Events are handled as they come while the encoder runs; its end wakes
    // the wait at once instead of at the next slice.
    QSocketNotifier *ended = nullptr;
    if (encoder.EndNotifier() >= 0)
        ended = new QSocketNotifier(encoder.EndNotifier(), QSocketNotifier::Read, this);
    // Its error output is taken as it comes, so that the encoder never waits
    // on a full pipe; only the end is kept.
    QSocketNotifier *errors = nullptr;
    if (encoder.ErrorOutputNotifier() >= 0) {
        errors = new QSocketNotifier(encoder.ErrorOutputNotifier(), QSocketNotifier::Read, this);
        connect(errors, &QSocketNotifier::activated, this, [&encoder, errors] {
            encoder.ReadErrorOutput();
            if (encoder.ErrorOutputNotifier() < 0)
                errors->setEnabled(false);
        });
    }
    QTimer slice;
    slice.start(WaitSliceMs);
    while (encoder.Wait(0) == ChildProcess::WaitResult::Timeout) {
        if (m_abort)
            encoder.Terminate();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    delete errors;
    encoder.ReadErrorOutput();
    delete ended;
}
