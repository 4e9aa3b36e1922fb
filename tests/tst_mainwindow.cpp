// The main window as a whole: creation, first activation, the title strip,
// closing, its look, and a file going from the list to a 3GP file.

#include "Errors.h"
#include "Fonts.h"
#include "MainWindow1.h"
#include "ProgressWindow1.h"
#include "Shell.h"
#include "TestSupport.h"

#include <QAbstractItemView>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMimeData>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <cmath>

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void missingPresetFileEndsCreation();
    void firstRunWithoutSettings();
    void formMatchesDesignValues();
    void commandLineFolderIsListed();
    void secondActivationLoadsNothing();
    void failedActivationRunsAgain();
    void titleStripAsksTheShell();
    void informationPageUrl_data();
    void informationPageUrl();
    void closingSavesOrStaysOpen();
    void secondCloseEndsAfterRefusedSave_data();
    void secondCloseEndsAfterRefusedSave();
    void pixels_data();
    void pixels();
    void shadowLabelsWithoutHighlight_data();
    void shadowLabelsWithoutHighlight();
    void thumbAndRowSizes();
    void dragHandles_data();
    void dragHandles();
    void everyHintStartsWithOneBlank();
    void deliveredPresetsApply();
    void controlsToEncoderArguments_data();
    void controlsToEncoderArguments();
    void dropToThreeGp();
    void keyboard_data();
    void keyboard();
    void keyboardConversion();
    void focusCues_data();
    void focusCues();

private:
    void act(TMainForm1 *w, const QString &action);
    QString makeAppDir(const QByteArray &profile = QByteArray());
    TMainForm1 *makeWindow(const QString &appDir);
    // The fake encoder as "ffmpeg", first on PATH, logging its runs to the
    // file returned; no thumbnail runs. cleanup() puts PATH back.
    QString useFakeEncoder();

    QScopedPointer<QTemporaryDir> m_dir;
    TMainForm1 *m_window = nullptr;
    QStringList m_opened;
    QByteArray m_path;
};

void TestMainWindow::initTestCase()
{
    InstallFontSubstitutes();
    SetShellHooks({[this](const QString &f) { m_opened << f; }, {}});
}

void TestMainWindow::init()
{
    m_dir.reset(new QTemporaryDir);
    m_opened.clear();
}

void TestMainWindow::cleanup()
{
    delete m_window;
    m_window = nullptr;
    MainForm1 = nullptr;
    if (!m_path.isNull())
        qputenv("PATH", m_path);
    m_path.clear();
    qunsetenv("FAKE_ENCODER_ACTION");
    SetShellHooks({[this](const QString &f) { m_opened << f; }, {}});
    SetFileDialogSink({});
}

QString TestMainWindow::useFakeEncoder()
{
    const QString bin = m_dir->filePath("bin");
    QDir().mkpath(bin);
    if (!QFile::link(QStringLiteral(FAKE_ENCODER_PATH), bin + "/ffmpeg"))
        qFatal("cannot link the fake encoder");
    m_path = qgetenv("PATH");
    qputenv("PATH", (bin + ':').toLocal8Bit() + m_path);
    const QString log = m_dir->filePath("encoder.log");
    qputenv("FAKE_ENCODER_LOG", log.toLocal8Bit());
    SetShellHooks(
        {[](const QString &) {}, [](const QString &, const QStringList &) { return true; }});
    return log;
}

QString TestMainWindow::makeAppDir(const QByteArray &profile)
{
    const QString dir = m_dir->filePath("app");
    QDir().mkpath(dir);
    const QByteArray rows = profile.isNull()
                                ? ReadFile(QStringLiteral(PC_SOURCE_DIR "/resources/profile.txt"))
                                : profile;
    WriteFile(dir, "profile.txt", rows);
    return dir;
}

TMainForm1 *TestMainWindow::makeWindow(const QString &appDir)
{
    m_window = new TMainForm1(appDir);
    MainForm1 = m_window;
    m_window->CommandLine.clear();
    return m_window;
}

void TestMainWindow::missingPresetFileEndsCreation()
{
    const QString dir = m_dir->filePath("empty");
    QDir().mkpath(dir);
    try {
        TMainForm1 w(dir);
        QFAIL("created without presets");
    } catch (const EFOpenError &e) {
        QCOMPARE(e.message(), QString("ファイル %1/profile.txt は開けません").arg(dir));
    }
}

void TestMainWindow::firstRunWithoutSettings()
{
    const QString dir = makeAppDir();
    TMainForm1 *w = makeWindow(dir);
    QCOMPARE(w->Tag, 0);
    QCOMPARE(w->C2_00->Count(), 10); // header row + nine presets
    QCOMPARE(w->C2_04->Count(), 3);
    w->FormActivate();
    QCOMPARE(w->Tag, 1);
    QCOMPARE(w->pos(), QPoint(21, 21));
    QCOMPARE(w->C2_00->ItemIndex(), 1);
    QCOMPARE(w->OutputExt, QString(".3gp"));
    QCOMPARE(w->C2_04->GetSelectedText(), QString("MPEG4"));
    QCOMPARE(w->DigitBar1->Position(), 15);
    QCOMPARE(w->DigitBar2->Position(), 128);
    QCOMPARE(w->DigitBar3->Position(), 32);
    QCOMPARE(w->TrackBar1->value(), 3);
    QCOMPARE(w->TrackBar2->value(), 0);
    QCOMPARE(w->C1_03->Path(), dir);
    QVERIFY(!w->CheckBox1->isChecked());
    QVERIFY(!w->CheckBox2->isChecked());
    QVERIFY(w->Panel11->isVisibleTo(w));
    QVERIFY(!w->Button10->isEnabled());
}

void TestMainWindow::formMatchesDesignValues()
{
    TMainForm1 *w = makeWindow(makeAppDir());
    QCOMPARE(w->size(), QSize(400, 591));
    QVERIFY(w->windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(w->windowTitle(), QString("Pocketclips"));
    struct Bar
    {
        TDigitBar *bar;
        int min, max, pos;
    };
    for (const Bar &b : {Bar{w->DigitBar1, 1, 60, 15}, Bar{w->DigitBar2, 8, 768, 384},
                         Bar{w->DigitBar3, 8, 320, 64}}) {
        QCOMPARE(b.bar->Min(), b.min);
        QCOMPARE(b.bar->Max(), b.max);
        QCOMPARE(b.bar->Position(), b.pos);
        QCOMPARE(b.bar->size(), QSize(40, 160));
    }
    QCOMPARE(w->TrackBar1->maximum(), 4);
    QCOMPARE(w->TrackBar1->value(), 3);
    QCOMPARE(w->TrackBar2->maximum(), 2);
    QCOMPARE(w->TrackBar2->value(), 1);
    QVERIFY(!w->C2_04->isVisibleTo(w));
    QVERIFY(!w->Button0->isVisibleTo(w));
    QVERIFY(!w->C2_00->CanEdit());
    QCOMPARE(w->C2_00->Columns()->Count(), 9);
    QCOMPARE(w->C2_00->Columns()->TotalWidth(), 690);
    QCOMPARE(w->C2_00->Columns()->At(2)->Color(), clVideoAccent);
    QCOMPARE(w->C2_00->Columns()->At(8)->Color(), clAudioAccent);
    QCOMPARE(w->C2_04->Columns()->TotalWidth(), 272);
    QCOMPARE(w->ListBox1->geometry(), QRect(6, 8, 374, 120));
    QCOMPARE(w->Panel11->geometry(), w->ListBox1->geometry());
    QCOMPARE(w->Button10->geometry(), QRect(20, 72, 348, 40));
    QCOMPARE(w->Button10->Caption(), QString("[ 変換開始 ]"));
    QCOMPARE(w->C1_03->geometry(), QRect(54, 8, 326, 19));
    QCOMPARE(w->L2_03_01->geometry(), QRect(8, 172, 75, 11));
    QCOMPARE(w->Panel11->cursor().shape(), Qt::CrossCursor);
    QCOMPARE(w->Button10->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(w->ListBox1->font().pixelSize(), 11);
    QCOMPARE(w->Panel11->font().pixelSize(), 16);
    QVERIFY(w->Panel11->font().bold());
}

void TestMainWindow::commandLineFolderIsListed()
{
    const QString tree = m_dir->filePath("clips");
    WriteFile(tree, "a.avi", "a");
    WriteFile(tree, "sub/b.avi", "b");
    TMainForm1 *w = makeWindow(makeAppDir());
    w->CommandLine = QStringList{tree};
    w->FormActivate();
    QCOMPARE(w->ListBox1->Items(),
             (QStringList{tree + "/a.avi", tree + "/sub", tree + "/sub/b.avi"}));
    QVERIFY(!w->Panel11->isVisibleTo(w));
    QVERIFY(w->Button10->isEnabled());
}

void TestMainWindow::secondActivationLoadsNothing()
{
    const QString file = WriteFile(m_dir->path(), "clip.avi", "x");
    TMainForm1 *w = makeWindow(makeAppDir());
    w->CommandLine = QStringList{file};
    w->show();
    QApplication::setActiveWindow(w);
    QTRY_COMPARE(w->Tag, 1);
    QCOMPARE(w->ListBox1->Count(), 1);
    w->DigitBar2->SetPosition(500);
    QEvent deactivate(QEvent::WindowDeactivate), activate(QEvent::WindowActivate);
    QApplication::sendEvent(w, &deactivate);
    QApplication::sendEvent(w, &activate);
    QCOMPARE(w->ListBox1->Count(), 1);
    QCOMPARE(w->DigitBar2->Position(), 500);
}

void TestMainWindow::failedActivationRunsAgain()
{
    MessageRecorder rec;
    TMainForm1 *w = makeWindow(
        makeAppDir("\"bad rate\",3gp,176x144,MPEG4,12.5fps,128kbps,AAC,16000Hz,32kbps\n"));
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(w, &activate);
    QCOMPARE(rec.errors(), QStringList{"'12.5' は整数ではありません"});
    QCOMPARE(w->Tag, 0);
    // Closing the error box gives the window the focus back: no second box.
    QApplication::sendEvent(w, &activate);
    QCOMPARE(rec.errors().size(), 1);
    // The user goes to another program and comes back: the start runs again, once.
    emit qApp->applicationStateChanged(Qt::ApplicationInactive);
    QApplication::sendEvent(w, &activate);
    QApplication::sendEvent(w, &activate);
    QCOMPARE(rec.errors().size(), 2);
}

void TestMainWindow::titleStripAsksTheShell()
{
    const QString dir = makeAppDir();
    TMainForm1 *w = makeWindow(dir);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QTest::mouseClick(w->Button3, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseClick(w->Button4, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(m_opened,
             (QStringList{dir + "/Readme.txt",
                          "https://pocketclips.example/info.php?pf=w&sn=tst_mainwindow"}));
    QTest::mouseClick(w->Button1, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(!w->isVisible());
    QVERIFY(QFile::exists(dir + "/Pocketclips.ini"));
}

void TestMainWindow::informationPageUrl_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("url");
    QTest::newRow("plain") << "pocketclips"
                           << "https://pocketclips.example/info.php?pf=w&sn=pocketclips";
    QTest::newRow("blank and ampersand")
        << "my app&x"
        << "https://pocketclips.example/info.php?pf=w&sn=my%20app%26x";
    QTest::newRow("japanese") << "変換"
                              << "https://pocketclips.example/info.php?pf=w&sn=%E5%A4%89%E6%8F%9B";
}

void TestMainWindow::informationPageUrl()
{
    QFETCH(QString, name);
    QFETCH(QString, url);
    QCOMPARE(TMainForm1::InformationPageUrl(name), url);
}

void TestMainWindow::closingSavesOrStaysOpen()
{
    MessageRecorder rec;
    const QString dir = makeAppDir();
    TMainForm1 *w = makeWindow(dir);
    w->FormActivate();
    w->DigitBar2->SetPosition(222);
    w->show();
    // A folder where the settings file belongs: the write is refused.
    QVERIFY(QDir().mkdir(dir + "/Pocketclips.ini"));
    QVERIFY(!w->close());
    QVERIFY(w->isVisible());
    QCOMPARE(rec.errors(), QStringList{QString("%1/Pocketclips.ini に書き込めません").arg(dir)});
    QVERIFY(QDir().rmdir(dir + "/Pocketclips.ini"));
    // A folder still being typed is stored as the user finishes it.
    w->C1_03->selectAll();
    QTest::keyClicks(w->C1_03, "/tmp/a b/c/");
    QVERIFY(w->close());
    const QByteArray stored = ReadFile(dir + "/Pocketclips.ini");
    QVERIFY2(stored.contains("C11=/tmp/a b/c\n"), stored);
    delete m_window;
    // The next start shows the hand-changed rate with the stored preset.
    TMainForm1 *again = makeWindow(dir);
    again->FormActivate();
    QCOMPARE(again->DigitBar2->Position(), 222);
    QCOMPARE(again->OutputExt, QString(".3gp"));
}

void TestMainWindow::secondCloseEndsAfterRefusedSave_data()
{
    QTest::addColumn<bool>("portable");
    // Beside the program: a folder where the settings file belongs. The
    // user's own settings: their folder cannot be made under a file.
    QTest::newRow("portable folder") << true;
    QTest::newRow("user's settings folder") << false;
}

void TestMainWindow::secondCloseEndsAfterRefusedSave()
{
    QFETCH(bool, portable);
    MessageRecorder rec;
    const QString dir = makeAppDir();
    AppFiles files = AppFiles::Portable(dir);
    if (portable) {
        QVERIFY(QDir().mkdir(files.SettingsFile));
    } else {
        WriteFile(dir, "config", "a file");
        files.Mode = AppFiles::Layout::Installed;
        files.SettingsFile = dir + "/config/Pocketclips/Pocketclips.ini";
    }
    m_window = new TMainForm1(files);
    MainForm1 = m_window;
    m_window->CommandLine.clear();
    m_window->FormActivate();
    m_window->show();

    // The first close says why the settings are lost and stays open...
    QVERIFY(!m_window->close());
    QVERIFY(m_window->isVisible());
    QCOMPARE(rec.errors(), QStringList{files.SettingsFile + " に書き込めません"});
    // ...the next one ends the program, without a second message.
    QVERIFY(m_window->close());
    QVERIFY(!m_window->isVisible());
    QCOMPARE(rec.count(), 1);
}

void TestMainWindow::pixels_data()
{
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<QColor>("color");
    const QColor silver(0xC0, 0xC0, 0xC0), white(Qt::white), gray(0x80, 0x80, 0x80),
        face(0xEB, 0xEB, 0xEB), black(Qt::black);
    QTest::newRow("title bar outline") << QPoint(300, 0) << black;
    QTest::newRow("title bar") << QPoint(200, 12) << silver;
    QTest::newRow("body outline") << QPoint(0, 300) << gray;
    QTest::newRow("body outline inner") << QPoint(1, 300) << gray;
    QTest::newRow("body") << QPoint(3, 300) << white;
    QTest::newRow("source panel face") << QPoint(11, 180) << face;
    QTest::newRow("settings panel face") << QPoint(30, 440) << face;
    // Drop shadows: two silver pixels right of and below each panel, nowhere else.
    for (const auto &[name, panel] : {std::pair{"source", QRect(6, 30, 386, 160)},
                                      std::pair{"settings", QRect(16, 196, 366, 260)},
                                      std::pair{"output", QRect(6, 462, 386, 120)}}) {
        const int midY = panel.center().y(), midX = panel.center().x();
        const QByteArray n(name);
        QTest::newRow(n + " shadow right 1") << QPoint(panel.right() + 1, midY) << silver;
        QTest::newRow(n + " shadow right 2") << QPoint(panel.right() + 2, midY) << silver;
        QTest::newRow(n + " beyond right") << QPoint(panel.right() + 3, midY) << white;
        QTest::newRow(n + " shadow bottom 1") << QPoint(midX, panel.bottom() + 1) << silver;
        QTest::newRow(n + " shadow bottom 2") << QPoint(midX, panel.bottom() + 2) << silver;
        QTest::newRow(n + " beyond bottom") << QPoint(midX, panel.bottom() + 3) << white;
        QTest::newRow(n + " none above right")
            << QPoint(panel.right() + 1, panel.top() + 1) << white;
        QTest::newRow(n + " none left of bottom")
            << QPoint(panel.left() + 1, panel.bottom() + 1) << white;
        QTest::newRow(n + " corner") << QPoint(panel.right() + 2, panel.bottom() + 2) << silver;
    }
    // The digit bars' buttons in the bars' own colour, the system's button face.
    const QColor buttonFace = ToQColor(clBtnFace);
    QTest::newRow("DigitBar1 up button face") << QPoint(16 + 24 + 4, 196 + 8 + 8) << buttonFace;
    QTest::newRow("DigitBar2 up button face") << QPoint(16 + 104 + 4, 196 + 8 + 8) << buttonFace;
    QTest::newRow("DigitBar3 down button face")
        << QPoint(16 + 300 + 4, 196 + 8 + 152) << buttonFace;
    QTest::newRow("convert button face") << QPoint(6 + 20 + 10, 462 + 72 + 10) << silver;
    QTest::newRow("drop panel face") << QPoint(6 + 6 + 20, 30 + 8 + 20) << face;
}

void TestMainWindow::pixels()
{
    QFETCH(QPoint, at);
    QFETCH(QColor, color);
    TMainForm1 *w = makeWindow(makeAppDir());
    const QPixmap shot = w->grab();
    SaveShot(shot, "mainwindow");
    const QImage img = shot.toImage();
    QCOMPARE(img.pixelColor(at).name(), color.name());
}

void TestMainWindow::shadowLabelsWithoutHighlight_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("L1_00") << "L1_00" << QRect(8, 138, 53, 11);
    QTest::newRow("L1_01") << "L1_01" << QRect(8, 12, 43, 11);
    QTest::newRow("L2_03_01") << "L2_03_01" << QRect(8, 172, 75, 11);
    QTest::newRow("ShadowLabel4") << "ShadowLabel4" << QRect(92, 172, 69, 11);
    QTest::newRow("ShadowLabel5") << "ShadowLabel5" << QRect(184, 172, 79, 11);
    QTest::newRow("ShadowLabel6") << "ShadowLabel6" << QRect(288, 172, 69, 11);
    QTest::newRow("ShadowLabel2") << "ShadowLabel2" << QRect(32, 184, 24, 11);
    QTest::newRow("ShadowLabel7") << "ShadowLabel7" << QRect(108, 184, 32, 11);
    QTest::newRow("ShadowLabel8") << "ShadowLabel8" << QRect(212, 184, 22, 11);
    QTest::newRow("ShadowLabel9") << "ShadowLabel9" << QRect(304, 184, 32, 11);
    QTest::newRow("ShadowLabel3") << "ShadowLabel3" << QRect(32, 236, 34, 11);
}

// Dark text with its silver shadow on the panel face, and no white copy: no
// pixel of the label is lighter than the panel it stands on.
void TestMainWindow::shadowLabelsWithoutHighlight()
{
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    TMainForm1 *w = makeWindow(makeAppDir());
    auto *label = w->findChild<TShadowLabel *>(name);
    QVERIFY(label);
    QCOMPARE(label->geometry(), rect);
    const QImage img = w->grab().toImage();
    const QColor face = ToQColor(clPanelFace);
    int lighter = 0, dark = 0;
    const QRect inWindow(label->mapTo(w, QPoint(0, 0)), rect.size());
    for (int y = inWindow.top(); y <= inWindow.bottom(); ++y)
        for (int x = inWindow.left(); x <= inWindow.right(); ++x) {
            const QColor c = img.pixelColor(x, y);
            lighter += c.lightness() > face.lightness();
            dark += c.lightness() < 0x80;
        }
    QVERIFY(dark > 0);
    QCOMPARE(lighter, 0);
}

// TrackBar1's thumb is 30 pixels across its track, inside the bar; ListBox1's
// rows are 11 pixels high.
void TestMainWindow::thumbAndRowSizes()
{
    TMainForm1 *w = makeWindow(makeAppDir());
    const QRect thumb = w->TrackBar1->ThumbRect();
    QCOMPARE(thumb.width(), 30);
    QVERIFY(QRect(QPoint(0, 0), w->TrackBar1->size()).contains(thumb));
    w->ListBox1->AddItems({"/v/a.avi", "/v/b.avi", "/v/c.avi"});
    const QAbstractItemModel *model = w->ListBox1->model();
    const QRect first = w->ListBox1->visualRect(model->index(0, 0));
    const QRect second = w->ListBox1->visualRect(model->index(1, 0));
    QCOMPARE(first.height(), 11);
    QCOMPARE(second.top() - first.top(), 11);
}

void TestMainWindow::dragHandles_data()
{
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<bool>("drags");
    QTest::newRow("title strip") << QPoint(250, 12) << true;
    QTest::newRow("title label") << QPoint(40, 12) << true;
    QTest::newRow("body frame") << QPoint(1, 300) << true;
    QTest::newRow("drop shadow") << QPoint(393, 100) << true;
    QTest::newRow("drop panel") << QPoint(100, 80) << false;
    QTest::newRow("settings panel") << QPoint(30, 440) << false;
    QTest::newRow("title button") << QPoint(380, 10) << false;
}

void TestMainWindow::dragHandles()
{
    QFETCH(QPoint, at);
    QFETCH(bool, drags);
    TMainForm1 *w = makeWindow(makeAppDir());
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QSignalSpy spy(w, &TMainForm1::DragStarted);
    QTest::mousePress(w->windowHandle(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(w->windowHandle(), Qt::LeftButton, {}, at);
    QCOMPARE(spy.count(), drags ? 1 : 0);
}

void TestMainWindow::everyHintStartsWithOneBlank()
{
    TMainForm1 *w = makeWindow(makeAppDir());
    int hints = 0;
    for (QWidget *child : w->findChildren<QWidget *>()) {
        const QString hint = child->toolTip();
        if (hint.isEmpty())
            continue;
        ++hints;
        QVERIFY2(hint.startsWith(' ') && !hint.startsWith("  "), qPrintable(child->objectName()));
    }
    QCOMPARE(hints, 18);
    QVERIFY(w->CheckBox2->toolTip().size() > 2);
}

void TestMainWindow::deliveredPresetsApply()
{
    TMainForm1 *w = makeWindow(makeAppDir());
    for (int i = 1; i < w->C2_00->Count(); ++i) {
        w->C2_00->SetItemIndex(i);
        w->C2_00Change(); // raises for a row that does not apply
        QCOMPARE(w->C2_00->ItemIndex(), i);
        QCOMPARE(w->C2_00->TargetColumn(), quint8(0));
    }
}

void TestMainWindow::controlsToEncoderArguments_data()
{
    // What the user does, one action a line:
    //   preset N            opens the chooser and clicks its row N
    //   click NAME [up|down|top|bottom|left|right]   a click on that part
    //   key NAME KEY...     keys pressed in the control
    //   type TEXT           the output folder typed anew ("@" is the test folder)
    QTest::addColumn<QStringList>("actions");
    // The encoder's arguments, one run a line; "@" is the test folder.
    QTest::addColumn<QStringList>("runs");
    const QString source = "-i @/clip.avi -y ";
    QTest::newRow("Xvid preset, changed by clicks and keys")
        << QStringList{"preset 6",
                       "click DigitBar1 up",
                       "click DigitBar1 up",
                       "key DigitBar2 Down",
                       "click DigitBar3 down",
                       "key TrackBar1 Up",
                       "key TrackBar2 Right",
                       "click CheckBox2",
                       "type @/a b/c/"}
        << QStringList{source +
                       "-flags bitexact -s 640x480 -aspect 4:3 -vcodec libxvid -b 383k "
                       "-r 17 -acodec libfaac -ab 63k -ar 44100 -ac 1 -f 3gp @/a b/c/clip.3gp"};
    QTest::newRow("VGA preset, two passes")
        << QStringList{"preset 9",
                       "key DigitBar1 Down Down Down",
                       "click DigitBar2 down",
                       "click DigitBar2 down",
                       "key DigitBar3 Up",
                       "click TrackBar1 bottom",
                       "click TrackBar1 bottom",
                       "click TrackBar2 left",
                       "key CheckBox1 Space",
                       "type @/out"}
        << QStringList{
               source + "-pass 1 -an -flags bitexact -s 320x240 -aspect 4:3 -vcodec libx264 "
                        "-b 766k -r 27 -acodec libfaac -ab 129k -ar 24000 -f 3gp @/out/clip.3gp",
               source + "-pass 2 -flags bitexact -s 320x240 -aspect 4:3 -vcodec libx264 "
                        "-b 766k -r 27 -acodec libfaac -ab 129k -ar 24000 -f 3gp @/out/clip.3gp"};
    QTest::newRow("header row: the first preset as it stands")
        << QStringList{"preset 0", "type @"}
        << QStringList{source +
                       "-flags bitexact -s 176x144 -aspect 4:3 -vcodec mpeg4 -b 128k -r 15 "
                       "-acodec libfaac -ab 32k -ar 16000 -f 3gp @/clip.3gp"};
}

void TestMainWindow::act(TMainForm1 *w, const QString &action)
{
    const QStringList words = action.split(' ');
    const QString verb = words.first();
    if (verb == "type") {
        QTest::mouseClick(w->C1_03, Qt::LeftButton, {}, QPoint(10, 8));
        QTest::keySequence(w->C1_03, QKeySequence::SelectAll);
        QTest::keyClicks(w->C1_03, action.mid(5).replace('@', m_dir->path()));
        return;
    }
    if (verb == "preset") {
        QTest::mouseClick(w->C2_00, Qt::LeftButton, {}, QPoint(20, 8));
        QAbstractItemView *list = w->C2_00->view();
        QTRY_VERIFY(list->isVisible());
        // The list takes no click as quick as a double click after it opened.
        QTest::qWait(QApplication::doubleClickInterval() + 50);
        const QModelIndex row = list->model()->index(words.at(1).toInt(), 0);
        list->scrollTo(row);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(row).center());
        QTRY_VERIFY(!list->isVisible());
        return;
    }
    QWidget *control = w->findChild<QWidget *>(words.at(1));
    QVERIFY2(control, qPrintable(action));
    if (verb == "key") {
        control->setFocus();
        for (const QString &key : words.mid(2))
            QTest::keyClick(control, QKeySequence(key)[0].key());
        return;
    }
    const QRect r = control->rect();
    const QString part = words.value(2);
    // Digit bars have their buttons at the ends; track bars are clicked a
    // quarter in from the end, on the groove.
    const QPoint at = part == "up"       ? QPoint(r.center().x(), 3)
                      : part == "down"   ? QPoint(r.center().x(), r.bottom() - 3)
                      : part == "top"    ? QPoint(r.width() / 2, r.height() / 4)
                      : part == "bottom" ? QPoint(r.width() / 2, r.height() * 3 / 4)
                      : part == "left"   ? QPoint(r.width() / 4, r.height() / 2)
                      : part == "right"  ? QPoint(r.width() * 3 / 4, r.height() / 2)
                                         : QPoint(8, r.center().y());
    QTest::mouseClick(control, Qt::LeftButton, {}, at);
}

void TestMainWindow::controlsToEncoderArguments()
{
    QFETCH(QStringList, actions);
    QFETCH(QStringList, runs);
    MessageRecorder rec;
    // The encoder is the fake one, which logs its arguments.
    const QString log = useFakeEncoder();
    const QString clip = WriteFile(m_dir->path(), "clip.avi", "x");

    TMainForm1 *w = makeWindow(makeAppDir());
    w->show();
    QApplication::setActiveWindow(w);
    QVERIFY(QTest::qWaitForWindowActive(w));
    QCOMPARE(w->Tag, 1);
    w->AddSourcePath(clip);
    for (const QString &action : actions) {
        act(w, action);
        if (QTest::currentTestFailed())
            return;
    }
    QTest::mouseClick(w->Button10, Qt::LeftButton, {}, QPoint(20, 20));

    QCOMPARE(rec.texts(), QStringList());
    QStringList logged;
    for (const LoggedRun &run : ReadEncoderLog(log))
        logged << run.args.join(' ');
    QCOMPARE(logged, runs.replaceInStrings("@", m_dir->path()));
}

void TestMainWindow::dropToThreeGp()
{
    if (QStandardPaths::findExecutable("ffmpeg").isEmpty() ||
        QStandardPaths::findExecutable("ffprobe").isEmpty())
        QSKIP("FFmpeg is not installed");
    MessageRecorder rec;
    // The adapter beside the program is found first, as in the program folder.
    qputenv("PATH", (ProgramDir() + ":" + qgetenv("PATH")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", m_dir->filePath("cache").toLocal8Bit());
    const QString clip = m_dir->filePath("素材/clip one.avi");
    QDir().mkpath(m_dir->filePath("素材"));
    QProcess make;
    make.start("ffmpeg", {"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                          "testsrc=size=320x240:rate=25:duration=2", "-f", "lavfi", "-i",
                          "sine=duration=2", "-c:v", "mpeg4", "-c:a", "pcm_s16le", clip});
    QVERIFY(make.waitForFinished(60000));
    QCOMPARE(make.exitCode(), 0);
    const QString dir = makeAppDir();
    const QString out = m_dir->filePath("出力");
    WriteFile(dir, "Pocketclips.ini", QString("[SET2]\nC11=%1\n").arg(out).toUtf8());
    TMainForm1 *w = makeWindow(dir);
    w->CommandLine = QStringList{clip};
    w->show();
    w->FormActivate();
    QVERIFY(w->Button10->isEnabled());
    QTest::mouseClick(w->Button10, Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(w->isEnabled());
    QCOMPARE(rec.texts(), QStringList());
    QProcess probe;
    probe.start("ffprobe", {"-v", "error", "-show_entries", "format=format_name:stream=codec_name",
                            "-of", "csv=p=0", out + "/clip one.3gp"});
    QVERIFY(probe.waitForFinished(30000));
    const QString info = QString::fromUtf8(probe.readAllStandardOutput());
    QVERIFY2(info.contains("3gp") && info.contains("mpeg4") && info.contains("aac"),
             qPrintable(info));
}

namespace {
// WCAG's contrast ratio of two colours, from their relative luminances.
double ContrastRatio(const QColor &a, const QColor &b)
{
    const auto luminance = [](const QColor &c) {
        const auto channel = [](int v) {
            const double s = v / 255.0;
            return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Presses keys, one after another, in whatever has the focus ("Tab",
// "Ctrl+O"...); the focus at start and each time it moves goes to the log.
void PressKeys(QWidget *window, const QStringList &keys, QStringList &log)
{
    QWidget *focus = QApplication::focusWidget();
    log << (focus ? focus->objectName() : QString("none"));
    for (const QString &key : keys) {
        const QKeyCombination k = QKeySequence(key)[0];
        QWidget *target = QApplication::focusWidget();
        QTest::keyClick(target ? target : window, k.key(), k.keyboardModifiers());
        // The window manager gives the keys back once a dialog has closed.
        if (!QApplication::activeWindow() && window->isVisible()) {
            window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(window));
        }
        if (QApplication::focusWidget() != focus) {
            focus = QApplication::focusWidget();
            log << (focus ? focus->objectName() : QString("none"));
        }
    }
}
} // namespace

void TestMainWindow::keyboard_data()
{
    // The list holds a.avi or not; the keys; what the file dialogs answer
    // and what the clipboard holds (files of the test folder); what happened
    // (the focus at start and as it moves, the dialogs, what the shell
    // opened); the list's entries at the end.
    QTest::addColumn<bool>("filled");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QStringList>("answer");
    QTest::addColumn<QStringList>("clipboard");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QStringList>("entries");
    const QStringList none;
    const QStringList titleButtons{"Button4", "Button3", "Button2", "Button1"};
    QTest::newRow("tab chain over the drop panel")
        << false << QStringList(15, "Tab") + QStringList{"Shift+Tab"} << none << none
        << QStringList{"Panel11",   "C2_00",     "C1_03",     "CheckBox1", "CheckBox2", "DigitBar1",
                       "DigitBar2", "TrackBar1", "DigitBar3", "TrackBar2", "Button5"} +
               titleButtons + QStringList{"Panel11", "Button1"}
        << none;
    QTest::newRow("tab chain over the list, backwards")
        << true << QStringList(7, "Shift+Tab") << none << none
        << QStringList{"ListBox1", "Button1", "Button2",  "Button3",
                       "Button4",  "Button5", "Button10", "TrackBar2"}
        << QStringList{"a.avi"};
    QTest::newRow("Ctrl+O adds the chosen files as a drop")
        << false << QStringList{"Ctrl+O"} << QStringList{"b.avi", "a.avi"} << none
        << QStringList{"Panel11", "files dialog", "ListBox1"} << QStringList{"a.avi", "b.avi"};
    QTest::newRow("Ctrl+Shift+O adds a folder's tree")
        << false << QStringList{"Ctrl+Shift+O"} << QStringList{"clips"} << none
        << QStringList{"Panel11", "folder dialog", "ListBox1"}
        << QStringList{"clips/c.avi", "clips/sub", "clips/sub/d.avi"};
    QTest::newRow("Space and Enter on the drop panel, dialog cancelled")
        << false << QStringList{"Space", "Return"} << none << none
        << QStringList{"Panel11", "files dialog", "files dialog"} << none;
    QTest::newRow("Ctrl+V adds files copied in a file manager")
        << false << QStringList{"Ctrl+V"} << none << QStringList{"clips", "b.avi"}
        << QStringList{"Panel11", "ListBox1"}
        << QStringList{"b.avi", "clips/c.avi", "clips/sub", "clips/sub/d.avi"};
    QTest::newRow("Ctrl+V in the folder field is the field's")
        << false << QStringList{"Tab", "Tab", "Ctrl+V"} << none << QStringList{"b.avi"}
        << QStringList{"Panel11", "C2_00", "C1_03"} << none;
    QTest::newRow("F1 opens the guide") << false << QStringList{"F1"} << none << none
                                        << QStringList{"Panel11", "open Readme.txt"} << none;
    QTest::newRow("F4 and Alt+Down in the folder field")
        << false << QStringList{"Tab", "Tab", "F4", "Alt+Down"} << none << none
        << QStringList{"Panel11", "C2_00", "C1_03", "field dialog", "field dialog"} << none;
    QTest::newRow("Space on Del: the panel takes the list's place")
        << true << QStringList(5, "Shift+Tab") + QStringList{"Space"} + QStringList(5, "Tab")
        << none << none
        << QStringList{"ListBox1", "Button1", "Button2", "Button3", "Button4", "Button5",
                       "Button4",  "Button3", "Button2", "Button1", "Panel11"}
        << none;
    QTest::newRow("Enter on info.")
        << false << QStringList{"Shift+Tab", "Shift+Tab", "Shift+Tab", "Shift+Tab", "Return"}
        << none << none << QStringList{"Panel11", "Button1", "Button2",
                                       "Button3", "Button4", "open info.php?pf=w&sn=tst_mainwindow"}
        << none;
}

void TestMainWindow::keyboard()
{
    QFETCH(bool, filled);
    QFETCH(QStringList, keys);
    QFETCH(QStringList, answer);
    QFETCH(QStringList, clipboard);
    QFETCH(QStringList, log);
    QFETCH(QStringList, entries);
    MessageRecorder rec;
    for (const char *file : {"a.avi", "b.avi", "clips/c.avi", "clips/sub/d.avi"})
        WriteFile(m_dir->path(), file, "x");
    const auto inDir = [this](QStringList names) {
        for (QString &name : names)
            name = m_dir->filePath(name);
        return names;
    };
    QStringList seen;
    SetFileDialogSink([&](FileDialogKind kind) {
        seen << (kind == FileDialogKind::Files ? "files dialog" : "folder dialog");
        // A dialog has the keys for a while.
        QDialog dialog(QApplication::activeWindow());
        QTimer::singleShot(0, &dialog, &QDialog::reject);
        dialog.exec();
        return inDir(answer);
    });
    SetShellHooks({[&](const QString &f) { seen << "open " + QFileInfo(f).fileName(); }, {}});
    auto *copied = new QMimeData;
    QList<QUrl> urls;
    for (const QString &path : inDir(clipboard))
        urls << QUrl::fromLocalFile(path);
    copied->setUrls(urls);
    QGuiApplication::clipboard()->setMimeData(copied);

    TMainForm1 *w = makeWindow(makeAppDir());
    if (filled)
        w->AddSourcePath(m_dir->filePath("a.avi"));
    w->show();
    QApplication::setActiveWindow(w);
    QVERIFY(QTest::qWaitForWindowActive(w));
    // The folder field's dialog is Qt's own: it is seen, and closed.
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [&] {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            seen << "field dialog";
            dialog->reject();
        }
    });
    closer.start(10);
    PressKeys(w, keys, seen);
    QCOMPARE(seen, log);
    QCOMPARE(w->ListBox1->Items(), inDir(entries));
    QCOMPARE(rec.texts(), QStringList());
}

// The whole job with keys only: a file added through the file dialog, values
// changed, the conversion started, cancelled from the progress window,
// started again and finished, the window closed.
void TestMainWindow::keyboardConversion()
{
    MessageRecorder rec;
    const QString log = useFakeEncoder();
    qputenv("FAKE_ENCODER_ACTION", "hang");
    const QString clip = WriteFile(m_dir->path(), "clip.avi", "x");
    SetFileDialogSink([&](FileDialogKind) { return QStringList{clip}; });
    const QString dir = makeAppDir();
    TMainForm1 *w = makeWindow(dir);
    w->show();
    QApplication::setActiveWindow(w);
    QVERIFY(QTest::qWaitForWindowActive(w));

    // Once the encoder runs, Esc in the progress window, wherever its focus is.
    QString cancelFocus;
    QTimer cancel;
    connect(&cancel, &QTimer::timeout, this, [&] {
        QWidget *focus = QApplication::focusWidget();
        if (ProgressForm1 && w->EncoderProcess && w->EncoderProcess->IsRunning() &&
            !ReadEncoderLog(log).isEmpty() && cancelFocus.isEmpty() && focus) {
            cancelFocus = focus->objectName();
            QTest::keyClick(focus, Qt::Key_Escape);
        }
    });
    cancel.start(20);
    QStringList focus;
    PressKeys(w,
              {"Ctrl+O", "Tab", "Tab", "Tab", "Tab", "Space", "Tab", "PgUp", "Tab", "End", "Tab",
               "Up", "Tab", "Home", "Tab", "Right", "Ctrl+Return"},
              focus);
    QCOMPARE(cancelFocus, QString("Button1"));
    QVERIFY(!QFile::exists(dir + "/clip.3gp"));
    QVERIFY(w->isEnabled());
    QTRY_COMPARE(QApplication::focusWidget(), w->TrackBar2);

    qputenv("FAKE_ENCODER_ACTION", "write");
    PressKeys(w, {"Tab", "Space"}, focus);
    QCOMPARE(ReadFile(dir + "/clip.3gp"), QByteArray("fake 3gp output\n"));
    QTRY_COMPARE(QApplication::focusWidget(), w->Button10);
    PressKeys(w, {"Tab", "Tab", "Tab", "Tab", "Tab", "Return"}, focus);
    QVERIFY2(!w->isVisible(), qPrintable(focus.join(' ')));
    QVERIFY(QFile::exists(dir + "/Pocketclips.ini"));
    QCOMPARE(rec.texts(), QStringList());
    const QList<LoggedRun> runs = ReadEncoderLog(log);
    QCOMPARE(runs.size(), 2);
    QCOMPARE(runs[1].args.join(' '),
             QString("-i %1 -y -flags bitexact -s 320x240 -aspect 4:3 -vcodec mpeg4 -b 768k -r 25 "
                     "-acodec libfaac -ab 8k -ar 24000 -ac 1 -f 3gp %2/clip.3gp")
                 .arg(clip, dir));
}

void TestMainWindow::focusCues_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("filled");
    QTest::newRow("drop panel") << "Panel11" << false;
    QTest::newRow("convert button") << "Button10" << true;
    QTest::newRow("clear button") << "Button5" << true;
    QTest::newRow("close button") << "Button1" << false;
    QTest::newRow("frame rate") << "DigitBar1" << false;
    QTest::newRow("audio bit rate") << "DigitBar3" << false;
    QTest::newRow("sample rate") << "TrackBar1" << false;
    QTest::newRow("picture size") << "TrackBar2" << false;
}

// The focus shows only once a key has been pressed, and then in a colour of
// at least 3:1 against every pixel its lines border.
void TestMainWindow::focusCues()
{
    QFETCH(QString, name);
    QFETCH(bool, filled);
    TMainForm1 *w = makeWindow(makeAppDir());
    if (filled)
        w->AddSourcePath(WriteFile(m_dir->path(), "a.avi", "x"));
    w->show();
    QApplication::setActiveWindow(w);
    QVERIFY(QTest::qWaitForWindowActive(w));
    auto *control = w->findChild<QWidget *>(name);
    QVERIFY(control);
    w->setFocus(); // nothing of ours
    const QImage rest = w->grab().toImage();
    control->setFocus(Qt::MouseFocusReason);
    const QImage mouse = w->grab().toImage();
    // A digit bar fills its box with its focus colour, as designed; nothing else shows.
    QCOMPARE(mouse == rest, !name.startsWith("DigitBar"));
    QTest::keyClick(control, Qt::Key_Shift);
    const QImage keys = w->grab().toImage();
    SaveShot(QPixmap::fromImage(keys), "focus_" + name);

    const QColor cue = ToQColor(clFocusFrame);
    const QRect area(control->mapTo(w, QPoint(0, 0)), control->size());
    const auto isCue = [&](QPoint p) {
        return area.contains(p) && keys.pixelColor(p) == cue && mouse.pixelColor(p) != cue;
    };
    int pixels = 0;
    double lowest = 21;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            if (!isCue({x, y}))
                continue;
            ++pixels;
            // What the control itself draws around its lines, in other
            // colours; other controls lie beyond its edge (the list's black
            // frame meets the clear button's border) or over it ("ｻｲｽﾞ-"
            // reaches into the picture-size bar).
            for (const QPoint n :
                 {QPoint(x - 1, y), QPoint(x + 1, y), QPoint(x, y - 1), QPoint(x, y + 1)})
                if (w->childAt(n) == control && keys.pixelColor(n) != cue)
                    lowest = std::min(lowest, ContrastRatio(cue, keys.pixelColor(n)));
        }
    qInfo("%s: %d cue pixels, lowest contrast %.2f:1", qPrintable(name), pixels, lowest);
    QVERIFY(pixels > 0);
    QVERIFY2(lowest >= 3.0, qPrintable(QString::number(lowest)));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
