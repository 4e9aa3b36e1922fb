#include "EncodingFixture.h"
#include "Errors.h"
#include "Settings.h"
#include "TestSupport.h"
#include "VisiblePosition.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QScreen>
#include <QTest>

namespace {
const QString P1 = "a,3gp,176x144,MPEG4,15fps,128kbps,AAC,16000Hz,32kbps";
const QString P2 = "b,mp4,640x480,LIBXVID,30fps,512kbps,AAC,48000Hz,128kbps";
const QString Bad = "c,3gp,176x144,MPEG4,15,128kbps,AAC,16000Hz,32kbps";
const QStringList Presets = {P1, P2, Bad};

// Lets a close go ahead only when the settings were saved, as the main window does.
class SaveOnClose : public QObject
{
public:
    SaveOnClose(EncodingFixture &f, const QString &appDir) : m_f(f), m_appDir(appDir) {}
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::Close)
            return false;
        if (!Settings::SaveForClose(&m_f.window, m_f.c, m_appDir))
            event->ignore();
        return true;
    }

private:
    EncodingFixture &m_f;
    QString m_appDir;
};
} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void filePath();
    void load_data();
    void load();
    void badPresetEndsTheLoad();
    void restartKeepsHandChanges();
    void saveKeepsWhatTheUserAdded();
    void refusedWrite_data();
    void refusedWrite();
    void visiblePosition_data();
    void visiblePosition();
    void offScreenComesBack_data();
    void offScreenComesBack();
};

void TestSettings::filePath()
{
    QCOMPARE(Settings::FilePath("/opt/Pocketclips"), QString("/opt/Pocketclips/Pocketclips.ini"));
    QCOMPARE(Settings::FilePath("/"), QString("/Pocketclips.ini"));
}

void TestSettings::load_data()
{
    QTest::addColumn<QByteArray>("ini"); // null: no file
    QTest::addColumn<QPoint>("position");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QList<int>>("values"); // DigitBar1, DigitBar2, TrackBar1, DigitBar3, TrackBar2
    QTest::addColumn<QString>("path");      // "@" stands for the program folder
    QTest::addColumn<bool>("twoPass");
    QTest::addColumn<bool>("mono");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QString>("codec");

    const QList<int> first = {15, 128, 3, 32, 0};
    const QList<int> second = {30, 512, 0, 128, 2};
    const QPoint design(21, 21);
    QTest::newRow("first run without a file")
        << QByteArray() << design << 1 << first << "@" << false << false << ".3gp"
        << "MPEG4";
    QTest::newRow("C0 0: first preset")
        << QByteArray("[SET1]\nC0=0\n") << design << 1 << first << "@" << false << false << ".3gp"
        << "MPEG4";
    QTest::newRow("C0 past the last preset")
        << QByteArray("[SET1]\nC0=9\n") << design << 1 << first << "@" << false << false << ".3gp"
        << "MPEG4";
    QTest::newRow("C0 2: second preset")
        << QByteArray("[SET1]\nC0=2\n") << design << 2 << second << "@" << false << false << ".mp4"
        << "LIBXVID";
    QTest::newRow("C1 999 gives 60, C3 9 gives 4")
        << QByteArray("[SET1]\nC1=999\nC3=9\n") << design << 1 << QList<int>{60, 128, 4, 32, 0}
        << "@" << false << false << ".3gp"
        << "MPEG4";
    QTest::newRow("every control stored")
        << QByteArray("[SET1]\nC0=1\nC1=24\nC2=0x100\nC3=1\nC4=96\nC5=1\n") << design << 1
        << QList<int>{24, 256, 1, 96, 1} << "@" << false << false << ".3gp"
        << "MPEG4";
    QTest::newRow("M_LEFT 0x20 is 32")
        << QByteArray("[SET]\nM_LEFT=0x20\nM_TOP=$10\n") << QPoint(32, 16) << 1 << first << "@"
        << false << false << ".3gp"
        << "MPEG4";
    QTest::newRow("M_LEFT abc keeps the design left")
        << QByteArray("[SET]\nM_LEFT=abc\nM_TOP=300\n") << QPoint(21, 300) << 1 << first << "@"
        << false << false << ".3gp"
        << "MPEG4";
    QTest::newRow("C11 empty gives the program folder")
        << QByteArray("[SET2]\nC11=\n") << design << 1 << first << "@" << false << false << ".3gp"
        << "MPEG4";
    QTest::newRow("C11 with a trailing separator")
        << QByteArray("[SET2]\nC11=/srv/out/\n") << design << 1 << first << "/srv/out" << false
        << false << ".3gp"
        << "MPEG4";
    QTest::newRow("C11 the root") << QByteArray("[SET2]\nC11=/\n") << design << 1 << first << "/"
                                  << false << false << ".3gp"
                                  << "MPEG4";
    QTest::newRow("C12 on, C13 off") << QByteArray("[SET2]\nC12=1\nC13=0\n") << design << 1 << first
                                     << "@" << true << false << ".3gp"
                                     << "MPEG4";
    QTest::newRow("C12 off, C13 on") << QByteArray("[SET2]\nC12=0\nC13=1\n") << design << 1 << first
                                     << "@" << false << true << ".3gp"
                                     << "MPEG4";
    QTest::newRow("C12 5 is on, C13 x keeps off") << QByteArray("[SET2]\nC12=5\nC13=x\n") << design
                                                  << 1 << first << "@" << true << false << ".3gp"
                                                  << "MPEG4";
    // [set] m_left=50 ... c11=/動画 in Shift-JIS with CR LF
    QTest::newRow("CP932, CR LF, lower-case names")
        << QByteArray("[set]\r\nm_left=50\r\nm_top=60\r\n[set1]\r\nc0=2\r\nc2=300\r\n"
                      "[set2]\r\nc11=/\x93\xae\x89\xe6\r\nc13=1\r\n")
        << QPoint(50, 60) << 2 << QList<int>{30, 300, 0, 128, 2} << QString::fromUtf8("/動画")
        << false << true << ".mp4"
        << "LIBXVID";
    QTest::newRow("garbage file") << QByteArray("\x01\xff\x93[[[=\n=\n[SET1\nC0") << design << 1
                                  << first << "@" << false << false << ".3gp"
                                  << "MPEG4";
}

void TestSettings::load()
{
    QFETCH(QByteArray, ini);
    QFETCH(QPoint, position);
    QFETCH(int, selected);
    QFETCH(QList<int>, values);
    QFETCH(QString, path);
    QFETCH(bool, twoPass);
    QFETCH(bool, mono);
    QFETCH(QString, ext);
    QFETCH(QString, codec);

    QTemporaryDir dir;
    const QString appDir = dir.path();
    if (!ini.isNull())
        WriteFile(appDir, "Pocketclips.ini", ini);
    EncodingFixture f(Presets);
    Settings::Load(&f.window, f.c, appDir);

    QCOMPARE(f.window.pos(), position);
    QCOMPARE(f.c.C2_00->ItemIndex(), selected);
    QCOMPARE(
        (QList<int>{f.c.DigitBar1->Position(), f.c.DigitBar2->Position(), f.c.TrackBar1->value(),
                    f.c.DigitBar3->Position(), f.c.TrackBar2->value()}),
        values);
    const QString expectedPath = path == "@" ? appDir : path;
    QCOMPARE(f.c.C1_03->Path(), expectedPath);
    QCOMPARE(f.c.C1_03->toolTip(), expectedPath);
    QCOMPARE(f.c.CheckBox1->isChecked(), twoPass);
    QCOMPARE(f.c.CheckBox2->isChecked(), mono);
    QCOMPARE(f.outputExt, ext);
    QCOMPARE(f.c.C2_04->GetSelectedText(), codec);
    // loading writes nothing
    QCOMPARE(QFile::exists(Settings::FilePath(appDir)), !ini.isNull());
}

void TestSettings::badPresetEndsTheLoad()
{
    QTemporaryDir dir;
    WriteFile(dir.path(), "Pocketclips.ini",
              "[SET]\nM_LEFT=40\n[SET1]\nC0=3\nC1=40\n[SET2]\nC11=/srv\nC12=1\n");
    EncodingFixture f(Presets);
    try {
        Settings::Load(&f.window, f.c, dir.path());
        QFAIL("no error");
    } catch (const EConvertError &e) {
        QCOMPARE(e.message(), QString::fromUtf8("'' は整数ではありません"));
    }
    QCOMPARE(f.window.x(), 40);              // before the preset
    QCOMPARE(f.c.DigitBar1->Position(), 15); // after it: not restored
    QCOMPARE(f.c.C1_03->Path(), QString());
    QVERIFY(!f.c.CheckBox1->isChecked());
}

void TestSettings::restartKeepsHandChanges()
{
    QTemporaryDir dir;
    const QString appDir = dir.path();
    {
        EncodingFixture f(Presets);
        Settings::Load(&f.window, f.c, appDir);
        f.c.C2_00->SetItemIndex(2); // the user picks the second preset...
        f.c.C2_00Change();
        f.c.DigitBar2->SetPosition(200); // ...and changes some controls by hand
        f.c.TrackBar1->setValue(1);
        f.c.CheckBox2->setChecked(true);
        f.c.C1_03->SetPath("/srv/clips/");
        f.window.move(100, 120);
        Settings::Save(&f.window, f.c, appDir);
    }
    // every key, in order, each on its own
    QCOMPARE(ReadFile(Settings::FilePath(appDir)),
             QByteArray("[SET]\nM_LEFT=100\nM_TOP=120\n"
                        "[SET1]\nC0=2\nC1=30\nC2=200\nC3=1\nC4=128\nC5=2\n"
                        "[SET2]\nC11=/srv/clips\nC12=0\nC13=1\n"));

    EncodingFixture f(Presets);
    Settings::Load(&f.window, f.c, appDir);
    QCOMPARE(f.window.pos(), QPoint(100, 120));
    QCOMPARE(f.c.C2_00->ItemIndex(), 2);
    QCOMPARE(f.c.DigitBar1->Position(), 30);
    QCOMPARE(f.c.DigitBar2->Position(), 200);
    QCOMPARE(f.c.TrackBar1->value(), 1);
    QCOMPARE(f.c.DigitBar3->Position(), 128);
    QCOMPARE(f.c.TrackBar2->value(), 2);
    QCOMPARE(f.c.C1_03->Path(), QString("/srv/clips"));
    QVERIFY(!f.c.CheckBox1->isChecked());
    QVERIFY(f.c.CheckBox2->isChecked());
    // these come from the stored preset, not from the file
    QCOMPARE(f.outputExt, QString(".mp4"));
    QCOMPARE(f.c.C2_04->GetSelectedText(), QString("LIBXVID"));
}

void TestSettings::saveKeepsWhatTheUserAdded()
{
    QTemporaryDir dir;
    const QString path = WriteFile(dir.path(), "Pocketclips.ini",
                                   "; notes\n[User]\nnote=keep me\n[SET]\nextra=1\nM_LEFT=5\n");
    EncodingFixture f(Presets);
    Settings::Load(&f.window, f.c, dir.path());
    QCOMPARE(f.window.x(), 5);
    Settings::Save(&f.window, f.c, dir.path());
    const QString text = QString::fromUtf8(ReadFile(path));
    QVERIFY(text.startsWith("; notes\n[User]\nnote=keep me\n[SET]\nextra=1\nM_LEFT=5\nM_TOP=21\n"));
    QVERIFY(text.contains("\n[SET2]\nC11=" + dir.path() + "\nC12=0\nC13=0\n"));
}

void TestSettings::refusedWrite_data()
{
    QTest::addColumn<bool>("folderInItsPlace");
    // Permission bits do not stop root, so the refusals here hold for every user.
    QTest::newRow("read-only settings file") << false;
    QTest::newRow("a folder where the file should be") << true;
}

void TestSettings::refusedWrite()
{
    QFETCH(bool, folderInItsPlace);
    MessageRecorder messages;
    QTemporaryDir dir;
    const QString path = Settings::FilePath(dir.path());
    const QByteArray before = "[SET]\nM_LEFT=3\n";
    if (folderInItsPlace) {
        QVERIFY(QDir().mkdir(path));
    } else {
        WriteFile(dir.path(), "Pocketclips.ini", before);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    const QString refused = QString::fromUtf8("%1 に書き込めません").arg(path);

    EncodingFixture f(Presets);
    Settings::Load(&f.window, f.c, dir.path());
    f.window.move(300, 300);
    try {
        Settings::Save(&f.window, f.c, dir.path());
        QFAIL("no error");
    } catch (const EIniFileException &e) {
        QCOMPARE(e.message(), refused);
    }
    if (!folderInItsPlace)
        QCOMPARE(ReadFile(path), before);

    // closing: the error box, and the window stays open
    SaveOnClose closing(f, dir.path());
    f.window.installEventFilter(&closing);
    f.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    QVERIFY(!f.window.close());
    QVERIFY(f.window.isVisible());
    QCOMPARE(messages.errors(), QStringList{refused});

    // once the file may be written, the close goes ahead
    if (!folderInItsPlace) {
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(f.window.close());
        QVERIFY(ReadFile(path).contains("M_LEFT=300"));
    }
}

void TestSettings::visiblePosition_data()
{
    QTest::addColumn<QPoint>("stored");
    QTest::addColumn<QList<QRect>>("screens");
    QTest::addColumn<QPoint>("placed"); // the window is 400 x 591, its title strip 25 high

    const QList<QRect> one{{0, 0, 1920, 1080}};
    QTest::newRow("design position") << QPoint(21, 21) << one << QPoint(21, 21);
    QTest::newRow("40 px of the strip at the right edge")
        << QPoint(1880, 300) << one << QPoint(1880, 300);
    QTest::newRow("39 px at the right edge") << QPoint(1881, 300) << one << QPoint(1520, 300);
    QTest::newRow("40 px at the left edge") << QPoint(-360, 300) << one << QPoint(-360, 300);
    QTest::newRow("39 px at the left edge") << QPoint(-361, 300) << one << QPoint(0, 300);
    QTest::newRow("10 rows of the strip at the top") << QPoint(50, -15) << one << QPoint(50, -15);
    QTest::newRow("9 rows at the top") << QPoint(50, -16) << one << QPoint(50, 0);
    QTest::newRow("10 rows at the bottom") << QPoint(50, 1070) << one << QPoint(50, 1070);
    QTest::newRow("9 rows at the bottom") << QPoint(50, 1071) << one << QPoint(50, 489);
    QTest::newRow("a monitor that is gone") << QPoint(5000, -3000) << one << QPoint(1520, 0);
    QTest::newRow("+2^31") << QPoint(INT_MAX, INT_MAX) << one << QPoint(1520, 489);
    QTest::newRow("-2^31") << QPoint(INT_MIN, INT_MIN) << one << QPoint(0, 0);
    QTest::newRow("no screen known")
        << QPoint(5000, -3000) << QList<QRect>() << QPoint(5000, -3000);

    const QList<QRect> small{{0, 0, 320, 240}};
    QTest::newRow("smaller screen, strip showing") << QPoint(21, 21) << small << QPoint(21, 21);
    QTest::newRow("smaller screen, off it") << QPoint(-500, -500) << small << QPoint(-80, 0);
    QTest::newRow("smaller screen, below it") << QPoint(500, 700) << small << QPoint(0, 0);

    // A taskbar below the left monitor; the right one is shorter; one above.
    const QList<QRect> three{{0, 0, 1920, 1040}, {1920, 0, 1280, 984}, {0, -1080, 1920, 1080}};
    QTest::newRow("on the right monitor") << QPoint(2500, 100) << three << QPoint(2500, 100);
    QTest::newRow("on the monitor above") << QPoint(100, -900) << three << QPoint(100, -900);
    QTest::newRow("across two, strip on the left")
        << QPoint(1800, 1000) << three << QPoint(1800, 1000);
    QTest::newRow("strip behind the taskbar") << QPoint(1800, 1035) << three << QPoint(1520, 449);
    QTest::newRow("right of the right monitor") << QPoint(3300, 100) << three << QPoint(2800, 100);
    QTest::newRow("below the right monitor") << QPoint(2500, 990) << three << QPoint(2500, 393);
}

void TestSettings::visiblePosition()
{
    QFETCH(QPoint, stored);
    QFETCH(QList<QRect>, screens);
    QFETCH(QPoint, placed);
    QCOMPARE(VisiblePosition(stored, QSize(400, 591), screens), placed);
}

void TestSettings::offScreenComesBack_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::newRow("left by a monitor that is gone")
        << QByteArray("[SET]\nM_LEFT=5000\nM_TOP=-3000\n");
    QTest::newRow("the ends of int") << QByteArray("[SET]\nM_LEFT=-2147483648\nM_TOP=2147483647\n");
    // One past the ends of int.
    QTest::newRow("2^31") << QByteArray("[SET]\nM_LEFT=2147483648\nM_TOP=-2147483649\n");
}

void TestSettings::offScreenComesBack()
{
    QFETCH(QByteArray, ini);
    QTemporaryDir dir;
    WriteFile(dir.path(), "Pocketclips.ini", ini);
    EncodingFixture f(Presets);
    Settings::Load(&f.window, f.c, dir.path());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY2(screen.contains(f.window.geometry()),
             qPrintable(QString("%1,%2").arg(f.window.x()).arg(f.window.y())));
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
