#pragma once

#include "AppFiles.h"
#include "BatchHost.h"
#include "EncodingControls.h"
#include "ui_MainWindow1.h"

#include <QString>
#include <QWidget>
#include <memory>

class TAppHint;
class TSearchFile;
class TSourceList;

// The main window: a borderless 400 x 591 window with a home-made title strip
// and three framed areas (source list and presets, encoding settings, output).
// The controls of its form are members of their own names (ListBox1, C2_00...).
class TMainForm1 : public QWidget, public Ui::TMainForm1, public BatchHost
{
    Q_OBJECT

public:
    // Builds the window from its form and reads the presets; raises
    // EFOpenError when they cannot be read. Without appDir the program's files
    // are where AppFiles::Current() has them; with it, all in that portable folder.
    explicit TMainForm1(const QString &appDir = QString());
    explicit TMainForm1(const AppFiles &files);
    ~TMainForm1() override;

    // Where the presets, the settings, the guide and the thumbnail are.
    const AppFiles Files;
    // The program's folder, without a trailing separator (the root keeps its "/").
    QString AppDir;
    // "." and the extension of the preset last applied.
    QString OutputExt;
    // What the conversion batch works on; the progress window reads them.
    QString SourceFile;
    QString OutputFile;
    QString QuotedOutputFile;
    std::unique_ptr<ChildProcess> EncoderProcess;
    // 1 once the first activation has run to its end.
    int Tag = 0;
    // The files and folders named on the command line, added at the first activation.
    QStringList CommandLine;

    TSearchFile *SearchFile1 = nullptr;
    TAppHint *AppHint1 = nullptr;
    // Fills ListBox1 from drops and named paths, keeping Panel11 and Button10 in step.
    TSourceList *SourceList = nullptr;

    // The encoding controls as one group.
    EncodingControls Encoding();

    // Handlers.
    void FormActivate();
    bool FormClose();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button10Click();
    void Button0Click();
    void C2_00Change();
    void C1_03Change();
    void AddSourcePath(const QString &path);

    // The keyboard's ways to what the mouse does: Ctrl+O (files), Ctrl+Shift+O
    // (a folder) and Ctrl+V (files copied in a file manager) add as a drop
    // does; Ctrl+Return starts the conversion as "[ 変換開始 ]" does.
    void AddFilesByDialog();
    void AddFolderByDialog();
    void PasteFiles();
    void StartByKey();

    // The maker's information page for a program file name (no folder, no extension).
    static QString InformationPageUrl(const QString &programName);

    // BatchHost
    QWidget *BatchWindow() override { return this; }
    int SourceCount() const override;
    QString SourceEntry(int index) const override;
    EncodingSettings ReadSettings() const override;
    QString &SourceFileText() override { return SourceFile; }
    QString &OutputFileText() override { return OutputFile; }
    QString &QuotedOutputFileText() override { return QuotedOutputFile; }
    QString &OutputExtText() override { return OutputExt; }
    QString ThumbnailDirText() const override { return Files.ThumbnailDir; }
    std::unique_ptr<ChildProcess> &EncoderProcessRecord() override { return EncoderProcess; }

signals:
    // A press on the window's own surface, which then moves the window.
    void DragStarted();

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // Set when a close could not save the settings: the next close ends the
    // program whatever its own save gives.
    bool m_saveRefused = false;

    void setUpForm();
    void setTabChain();
    void createComponents();
    void connectHandlers();
    void connectKeys();
    void activated();

    // The first activation is under way (its error box may be open).
    bool m_activating = false;
    // It failed, and is not tried again before the user comes back from
    // another program.
    bool m_awaitingReturn = false;
    QMetaObject::Connection m_returnWatch;
};

extern TMainForm1 *MainForm1;
