// The main window as a whole: creation, first activation, the title strip,
// closing, its look, and a file going from the list to a 3GP file.

#include "Errors.h"
#include "Fonts.h"
#include "MainWindow1.h"
#include "Shell.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QWindow>

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
    void dragHandles_data();
    void dragHandles();
    void everyHintStartsWithOneBlank();
    void deliveredPresetsApply();
    void dropToThreeGp();

private:
    QString makeAppDir(const QByteArray &profile = QByteArray());
    TMainForm1 *makeWindow(const QString &appDir);

    QScopedPointer<QTemporaryDir> m_dir;
    TMainForm1 *m_window = nullptr;
    QStringList m_opened;
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
}

QString TestMainWindow::makeAppDir(const QByteArray &profile)
{
    const QString dir = m_dir->filePath("app");
    QDir().mkpath(dir);
    const QByteArray rows =
        profile.isNull() ? ReadFile(QStringLiteral(PC_SOURCE_DIR "/resources/profile.txt")) : profile;
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
    struct Bar { TDigitBar *bar; int min, max, pos; };
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
    QCOMPARE(w->ListBox1->Items(), (QStringList{tree + "/a.avi", tree + "/sub", tree + "/sub/b.avi"}));
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
    TMainForm1 *w = makeWindow(makeAppDir("\"bad rate\",3gp,176x144,MPEG4,12.5fps,128kbps,AAC,16000Hz,32kbps\n"));
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(w, &activate);
    QCOMPARE(rec.errors(), QStringList{"'12.5' は整数ではありません"});
    QCOMPARE(w->Tag, 0);
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
    QCOMPARE(m_opened, (QStringList{dir + "/Readme.txt",
                                    "https://pocketclips.example/info.php?pf=w&sn=tst_mainwindow"}));
    QTest::mouseClick(w->Button1, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(!w->isVisible());
    QVERIFY(QFile::exists(dir + "/Pocketclips.ini"));
}

void TestMainWindow::informationPageUrl_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("url");
    QTest::newRow("plain") << "pocketclips" << "https://pocketclips.example/info.php?pf=w&sn=pocketclips";
    QTest::newRow("blank and ampersand") << "my app&x"
                                        << "https://pocketclips.example/info.php?pf=w&sn=my%20app%26x";
    QTest::newRow("japanese") << "変換" << "https://pocketclips.example/info.php?pf=w&sn=%E5%A4%89%E6%8F%9B";
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
    QVERIFY(w->close());
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
        QTest::newRow(n + " none above right") << QPoint(panel.right() + 1, panel.top() + 1) << white;
        QTest::newRow(n + " none left of bottom") << QPoint(panel.left() + 1, panel.bottom() + 1) << white;
        QTest::newRow(n + " corner") << QPoint(panel.right() + 2, panel.bottom() + 2) << silver;
    }
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
    QVERIFY2(info.contains("3gp") && info.contains("mpeg4") && info.contains("aac"), qPrintable(info));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
