#include "MainWindow1.h"

#include "AccessibleNames.h"
#include "Application.h"
#include "ConversionBatch.h"
#include "Fonts.h"
#include "Guard.h"
#include "NewHint.h"
#include "PresetFile.h"
#include "ProgramEnd.h"
#include "SearchFile.h"
#include "Settings.h"
#include "Shell.h"
#include "SourceList.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QPointer>
#include <QShortcut>
#include <QUrl>
#include <QWindow>

#include <iterator>

TMainForm1 *MainForm1 = nullptr;

namespace {
// The maker's information page; the query names the program file.
constexpr const char *InformationPage = "https://pocketclips.example/info.php";

// The columns of a chooser: width and background each; fonts follow the chooser.
void SetColumns(TMultiColComboBox *box, std::initializer_list<std::pair<int, TColor>> columns)
{
    TCBColumns *c = box->Columns();
    c->Clear();
    for (const auto &[width, color] : columns) {
        TCBColumn *column = c->Add();
        column->SetWidth(width);
        column->SetColor(color);
        column->SetParentColor(false);
    }
}

// Labels size themselves to their text, as the form's labels do: a
// right-justified one keeps its right edge, the others their left edge.
void FitLabels(QWidget *form)
{
    for (QLabel *label : form->findChildren<QLabel *>()) {
        const int width = label->fontMetrics().horizontalAdvance(label->text());
        if (width <= label->width())
            continue;
        QRect r = label->geometry();
        if (label->alignment() & Qt::AlignRight)
            r.setLeft(r.right() + 1 - width);
        else
            r.setWidth(width);
        label->setGeometry(r);
    }
}
} // namespace

TMainForm1::TMainForm1(const QString &appDir)
    : TMainForm1(appDir.isEmpty() ? AppFiles::Current() : AppFiles::Portable(appDir))
{
}

TMainForm1::TMainForm1(const AppFiles &files)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), Files(files),
      CommandLine(TApplication::Parameters())
{
    setUpForm();
    createComponents();
    connectHandlers();
    connectKeys();

    // 1. The texts start empty (members); 2. files may be dropped anywhere.
    setAcceptDrops(true);
    // 3. The program's folder.
    AppDir = Files.ProgramDir;
    // 4. The presets under their header row, 5. the codecs.
    FillPresetChooser(C2_00, ReadPresetFile(Files.PresetFile));
    FillCodecChooser(C2_04);
}

TMainForm1::~TMainForm1() = default;

void TMainForm1::setUpForm()
{
    setupUi(this);
    setObjectName(QStringLiteral("MainForm1"));
    setFixedSize(400, 591);
    move(21, 21); // the form's design position (the form file gives only the size)
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ToQColor(clBlack));
    setPalette(pal);
    setAutoFillBackground(true);
    ApplyFormFonts(this);
    FitLabels(this);
    NameForScreenReaders(*this);
    // The track bars show a plain groove, not a filled part up to the thumb.
    for (QSlider *bar : {TrackBar1, TrackBar2}) {
        QPalette p = bar->palette();
        p.setColor(QPalette::Highlight, p.color(QPalette::Button));
        bar->setPalette(p);
    }
    SetColumns(C2_00, {{200, clWhite},
                       {60, clLightGrey},
                       {60, clVideoAccent},
                       {70, clVideoAccent},
                       {60, clVideoAccent},
                       {60, clVideoAccent},
                       {60, clAudioAccent},
                       {60, clAudioAccent},
                       {60, clAudioAccent}});
    SetColumns(C2_04, {{112, clWhite}, {160, clLightGrey}});
    // Drops are the window's, wherever they land.
    for (QWidget *w : findChildren<QWidget *>())
        w->setAcceptDrops(false);
    setTabChain();
}

void TMainForm1::setTabChain()
{
    // The form's order (source, output, settings area), then the buttons:
    // convert, clear, and the title strip from left to right. The drop panel
    // stands in for the list it covers (the source list makes one of the two
    // unreachable). Qt leaves out of the order what cannot take the focus, so
    // both can while it is set.
    Panel11->setFocusPolicy(Qt::TabFocus);
    QWidget *const chain[] = {ListBox1,  Panel11,   C2_00,     C1_03,     CheckBox1, CheckBox2,
                              DigitBar1, DigitBar2, TrackBar1, DigitBar3, TrackBar2, Button10,
                              Button5,   Button4,   Button3,   Button2,   Button1};
    for (size_t i = 1; i < std::size(chain); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

void TMainForm1::createComponents()
{
    SearchFile1 = new TSearchFile(this);
    SearchFile1->setObjectName(QStringLiteral("SearchFile1"));
    SourceList = new TSourceList(ListBox1, Panel11, Button10, SearchFile1, this);

    AppHint1 = new TAppHint(this);
    AppHint1->setObjectName(QStringLiteral("AppHint1"));
    AppHint1->setBGColor(clBlack);
    AppHint1->setBrushColor(clSilver);
    QFont hintFont(QStringLiteral("ＭＳ Ｐゴシック"));
    hintFont.setPixelSize(16);
    hintFont.setBold(true);
    AppHint1->setFont(hintFont);
    AppHint1->setFontColor(clWhite);
    AppHint1->setHintPause(500);
    AppHint1->setHintHidePause(2500);
    AppHint1->setHintShortPause(0);
    AppHint1->setHintStyle(hsRoundRect);
    AppHint1->setShadowColor(clGray);
    AppHint1->setShadowVisible(true);
}

void TMainForm1::connectHandlers()
{
    connect(Button1, &TPCVFadeButton::OnClick, this, Guarded(this, &TMainForm1::Button1Click));
    connect(Button2, &TPCVFadeButton::OnClick, this, Guarded(this, &TMainForm1::Button2Click));
    connect(Button3, &TPCVFadeButton::OnClick, this, Guarded(this, &TMainForm1::Button3Click));
    connect(Button4, &TPCVFadeButton::OnClick, this, Guarded(this, &TMainForm1::Button4Click));
    connect(Button5, &TPCVFadeButton::OnClick, this, Guarded(this, &TMainForm1::Button5Click));
    connect(Button10, &TPCVFadeButton::OnClick, this, Guarded(this, &TMainForm1::Button10Click));
    connect(Button0, &QPushButton::clicked, this, Guarded(this, &TMainForm1::Button0Click));
    connect(C2_00, &TMultiColComboBox::OnChange, this, Guarded(this, &TMainForm1::C2_00Change));
    connect(C1_03, &TFolderBrowseEdit::OnChange, this, Guarded(this, &TMainForm1::C1_03Change));
}

void TMainForm1::connectKeys()
{
    // Keys of the whole window (F1 as "?"); a field that takes a key for
    // itself (Ctrl+V in the folder field) keeps it.
    const std::pair<QList<QKeySequence>, void (TMainForm1::*)()> keys[] = {
        {{QKeySequence(Qt::CTRL | Qt::Key_O)}, &TMainForm1::AddFilesByDialog},
        {{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O)}, &TMainForm1::AddFolderByDialog},
        {QKeySequence::keyBindings(QKeySequence::Paste), &TMainForm1::PasteFiles},
        {{QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)},
         &TMainForm1::StartByKey},
        {{QKeySequence(Qt::Key_F1)}, &TMainForm1::Button3Click},
    };
    for (const auto &[sequences, handler] : keys) {
        auto *shortcut = new QShortcut(this);
        shortcut->setKeys(sequences);
        // A held key acts once: its repeats would reach the dialog or the
        // progress window it opened.
        shortcut->setAutoRepeat(false);
        connect(shortcut, &QShortcut::activated, this, Guarded(this, handler));
    }
}

void TMainForm1::AddFilesByDialog()
{
    SourceList->ChooseFiles();
}

void TMainForm1::AddFolderByDialog()
{
    SourceList->ChooseFolder();
}

void TMainForm1::PasteFiles()
{
    SourceList->PasteFiles();
}

void TMainForm1::StartByKey()
{
    if (Button10->isEnabled())
        Button10Click();
}

EncodingControls TMainForm1::Encoding()
{
    EncodingControls c;
    c.C2_00 = C2_00;
    c.C2_04 = C2_04;
    c.DigitBar1 = DigitBar1;
    c.DigitBar2 = DigitBar2;
    c.DigitBar3 = DigitBar3;
    c.TrackBar1 = TrackBar1;
    c.TrackBar2 = TrackBar2;
    c.CheckBox1 = CheckBox1;
    c.CheckBox2 = CheckBox2;
    c.C1_03 = C1_03;
    c.OutputExt = &OutputExt;
    return c;
}

void TMainForm1::FormActivate()
{
    if (Tag != 0)
        return;
    Settings::Load(this, Encoding(), Files);
    SourceList->AddSourcePaths(CommandLine);
    Tag = 1;
}

bool TMainForm1::FormClose()
{
    // Until the first activation has run to its end the controls do not hold
    // the stored settings (a preset row that cannot be applied stops it):
    // saving them would replace the user's settings with the design values.
    if (Tag == 0)
        return true;
    // Ending because the session ends or the display went away: whatever
    // can be saved is, and nothing keeps the program alive.
    if (ProgramEnd::Requested()) {
        try {
            Settings::Save(this, Encoding(), Files);
        } catch (...) {
        }
        return true;
    }
    // A second close after a refused save ends the program: the user has been
    // told that the settings could not be kept, and a window that cannot be
    // closed is worse. It still saves quietly if it now can.
    if (m_saveRefused) {
        try {
            Settings::Save(this, Encoding(), Files);
        } catch (...) {
        }
        return true;
    }
    m_saveRefused = !Settings::SaveForClose(this, Encoding(), Files);
    return !m_saveRefused;
}

void TMainForm1::Button1Click()
{
    close();
}

void TMainForm1::Button2Click()
{
    if (Application)
        Application->Minimize();
    else
        showMinimized();
}

void TMainForm1::Button3Click()
{
    ShellOpen(Files.GuideFile);
}

void TMainForm1::Button4Click()
{
    ShellOpen(InformationPageUrl(QFileInfo(TApplication::ExeName()).completeBaseName()));
}

QString TMainForm1::InformationPageUrl(const QString &programName)
{
    QUrl url(QString::fromLatin1(InformationPage));
    url.setQuery(QStringLiteral("pf=w&sn=") +
                     QString::fromLatin1(QUrl::toPercentEncoding(programName)),
                 QUrl::StrictMode);
    return url.toString(QUrl::FullyEncoded);
}

void TMainForm1::Button5Click()
{
    SourceList->Button5Click();
}

void TMainForm1::AddSourcePath(const QString &path)
{
    SourceList->AddSourcePath(path);
}

void TMainForm1::Button10Click()
{
    // Disabled while the batch runs, the window loses its focus; the user of
    // the keys finds it again where it was.
    const QPointer<QWidget> focus = focusWidget();
    Button0Click();
    if (focus && focus->isVisible() && focus->isEnabled())
        focus->setFocus(Qt::OtherFocusReason);
    // The progress window, which had the keys, is gone: they come back here.
    if (!QApplication::activeWindow())
        activateWindow();
}

void TMainForm1::Button0Click()
{
    ::Button0Click(*this);
}

void TMainForm1::C2_00Change()
{
    Encoding().C2_00Change();
}

void TMainForm1::C1_03Change()
{
    Encoding().C1_03Change();
}

bool TMainForm1::event(QEvent *e)
{
    if (e->type() == QEvent::WindowActivate)
        activated();
    return QWidget::event(e);
}

void TMainForm1::activated()
{
    // Closing the error box of a failed first activation gives this window
    // the focus back; that is no new activation by the user, and running the
    // sequence again would bring the box back for ever. It is tried again
    // once the user has been in another program and returns.
    if (Tag != 0 || m_activating || m_awaitingReturn)
        return;
    m_activating = true;
    RunGuarded([this] { FormActivate(); });
    m_activating = false;
    if (Tag != 0)
        return;
    m_awaitingReturn = true;
    if (!m_returnWatch)
        m_returnWatch = connect(qApp, &QGuiApplication::applicationStateChanged, this,
                                [this](Qt::ApplicationState state) {
                                    if (state != Qt::ApplicationActive)
                                        m_awaitingReturn = false;
                                });
}

void TMainForm1::closeEvent(QCloseEvent *e)
{
    // Closing saves the output folder: a path still being typed is finished first.
    C1_03->FinishTyping();
    bool saved = false;
    RunGuarded([&] { saved = FormClose(); });
    if (!saved) {
        e->ignore();
        return;
    }
    // Quitting never leaves an encoder running.
    if (TConversionBatch::Current())
        TConversionBatch::Current()->Abort();
    e->accept();
}

void TMainForm1::mousePressEvent(QMouseEvent *e)
{
    // Only presses on the window's own surface (title strip, frame, shapes,
    // labels) arrive here: the window is dragged by them.
    if (e->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(e);
        return;
    }
    emit DragStarted();
    if (QWindow *w = windowHandle())
        w->startSystemMove();
    e->accept();
}

void TMainForm1::dragEnterEvent(QDragEnterEvent *e)
{
    if (TSourceList::AcceptsDrop(e->mimeData()))
        e->acceptProposedAction();
}

void TMainForm1::dropEvent(QDropEvent *e)
{
    e->acceptProposedAction();
    RunGuarded([&] { SourceList->DropFiles(e->mimeData()); });
}

int TMainForm1::SourceCount() const
{
    return ListBox1->Count();
}

QString TMainForm1::SourceEntry(int index) const
{
    return ListBox1->Item(index);
}

EncodingSettings TMainForm1::ReadSettings() const
{
    // The batch takes the output folder as finished, even while it is being typed.
    C1_03->FinishTyping();
    EncodingSettings s;
    s.Codec = C2_04->GetSelectedText();
    s.SizePosition = TrackBar2->value();
    s.RatePosition = TrackBar1->value();
    s.FrameRate = DigitBar1->Position();
    s.VideoBitRate = DigitBar2->Position();
    s.AudioBitRate = DigitBar3->Position();
    s.TwoPass = CheckBox1->isChecked();
    s.Mono = CheckBox2->isChecked();
    s.OutputFolder = C1_03->Path();
    s.OutputExt = OutputExt;
    return s;
}
