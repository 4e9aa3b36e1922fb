#include "ConversionBatch.h"

#include "AppFiles.h"
#include "BatchHost.h"
#include "Dialogs.h"
#include "Errors.h"
#include "Files.h"
#include "Jpeg.h"
#include "Misc.h"
#include "ProgressWindow1.h"
#include "Shell.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <QTimer>

namespace {
TConversionBatch *s_current = nullptr;

// The longest the batch waits for an encoder before it looks at it again when
// nothing else wakes it.
constexpr int WaitSliceMs = 60;

// Removes what a failed conversion wrote at the output path: a file that is
// not `before` unchanged.
void removeUnfinished(const QString &output, const std::optional<FileEntry> &before)
{
    const std::optional<FileEntry> now = LookUpPath(output);
    if (now && !(before && now->device == before->device && now->inode == before->inode &&
                 now->size == before->size && now->lastWriteTime == before->lastWriteTime))
        DeleteFile(output);
}
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
    m_written.clear();
    QCoreApplication::instance()->installEventFilter(this);
    struct Restore
    {
        TConversionBatch *self, *outer;
        ~Restore()
        {
            QCoreApplication::instance()->removeEventFilter(self);
            s_current = outer;
        }
    } restore{this, outer};

    QWidget *const mainWindow = m_host.BatchWindow();
    TProgressForm1 *form = nullptr;
    enum class End { Finished, NotStarted, Failed } end = End::Finished;
    bool error = false;
    try {
        form = new TProgressForm1(mainWindow, m_host);
        ProgressForm1 = form;
        form->ProgressBar1->SetMax(m_host.SourceCount());
        form->ProgressBar1->SetPosition(0);
        form->show();
        form->Timer1->start();
        if (mainWindow)
            mainWindow->setEnabled(false);

        const EncodingSettings atStart = m_host.ReadSettings();
        const int passes = atStart.TwoPass ? 2 : 1;
        if (atStart.OutputFolder.isEmpty())
            throw Exception(QStringLiteral("Cannot create the folder \"\""));
        // Whether the folder could be made shows in the encoder's result.
        ForceDirectories(atStart.OutputFolder);

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
                form->Label1->setText(FileNamePart(m_host.SourceFileText()) +
                                      QStringLiteral(" -> ") +
                                      FileNamePart(m_host.OutputFileText()));
                form->Label1->adjustSize();
                form->repaint();

                const PassResult result = runPass(*form, pass, now);
                if (result == PassResult::NotStarted) {
                    end = End::NotStarted;
                    break;
                }
                if (result == PassResult::Failed)
                    error = true;
            }
        }
    } catch (...) {
        end = End::Failed;
    }

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
            ShowMessage(UnsupportedFilesMessage());
        }
        MessageBeep();
    }
    release(form);
    if (mainWindow)
        mainWindow->setEnabled(true);
}

TConversionBatch::PassResult TConversionBatch::runPass(TProgressForm1 &form, int pass,
                                                       const EncodingSettings &settings)
{
    const QString source = m_host.SourceFileText();
    const QString output = m_host.OutputFileText();
    const EncoderCommand command = BuildConversionCommand(pass, source, output, settings);
    // What lay at the output path before this file's first pass: a failed
    // pass removes what the encoder wrote (pass 1's file too), not an older
    // file it never touched nor the source itself.
    if (pass == 1)
        m_outputBefore = LookUpPath(output);
    try {
        // No file name for the output, or the encoder would overwrite the
        // very file it reads.
        if (output.isEmpty() || SameFile(source, output))
            return PassResult::Failed;
        // An earlier entry of this batch (clip.avi beside clip.mp4, say) has
        // made this output already; this one would overwrite it.
        const auto earlier = m_written.constFind(output);
        if (earlier != m_written.constEnd() && *earlier != source && !SameFile(*earlier, source))
            return PassResult::Failed;

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
                throw;
            }
            form.Image1->setPixmap(QPixmap::fromImage(picture));
            DeleteFile(thumbnail);
        }

        form.Button1->SetTag(1);
        std::unique_ptr<ChildProcess> &encoder = m_host.EncoderProcessRecord();
        encoder = std::make_unique<ChildProcess>();
        if (!encoder->Start(EncoderProgram, command.Arguments))
            return PassResult::NotStarted;
        waitForEncoder(*encoder);

        const bool cancelled = form.Button1->Tag() == 0;
        if (cancelled || m_abort) {
            DeleteFile(output);
            return PassResult::Done;
        }
        if (!encoder->Succeeded()) {
            // A failed or killed encoder leaves no usable file, only one that
            // would look like a result.
            removeUnfinished(output, m_outputBefore);
            // 127: the adapter found no FFmpeg to run; that is a missing
            // encoder, not a file it could not convert.
            return encoder->Exited() && encoder->ExitCode() == 127 ? PassResult::NotStarted
                                                                   : PassResult::Failed;
        }
        m_written.insert(output, source);
        return PassResult::Done;
    } catch (...) {
        // Pass 2 not run: pass 1's file, without sound, is no result either.
        removeUnfinished(output, m_outputBefore);
        return PassResult::Failed;
    }
}

void TConversionBatch::waitForEncoder(ChildProcess &encoder)
{
    // Events are handled as they come while the encoder runs; its end wakes
    // the wait at once instead of at the next slice.
    QSocketNotifier *ended = nullptr;
    if (encoder.EndNotifier() >= 0)
        ended = new QSocketNotifier(encoder.EndNotifier(), QSocketNotifier::Read, this);
    QTimer slice;
    slice.start(WaitSliceMs);
    while (encoder.Wait(0) == ChildProcess::WaitResult::Timeout) {
        if (m_abort)
            encoder.Terminate();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    delete ended;
}
