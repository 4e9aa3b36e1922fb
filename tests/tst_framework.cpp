#include "Application.h"
#include "DisplayPlatform.h"
#include "Errors.h"
#include "FileNames.h"
#include "Guard.h"
#include "Misc.h"
#include "Process.h"
#include "Shell.h"
#include "TestSupport.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

using ShowBox = std::function<void(const QString &)>;
Q_DECLARE_METATYPE(ShowBox)

class Handlers : public QObject
{
    Q_OBJECT

public:
    int calls = 0;
    void Ok() { ++calls; }
    void Fails() { throw EConvertError::notInteger("12.5"); }
    void FailsSilently() { throw EAbort(); }
    void FailsPlain() { throw 42; }
    void WithArg(bool checked) { calls += checked ? 10 : 1; }
};

class TestFramework : public QObject
{
    Q_OBJECT

private slots:
    void messages();
    void guardShowsErrorBox();
    void realBoxes_data();
    void realBoxes();
    void beepIsCounted();
    void shellHooks();
    void displayPlatform_data();
    void displayPlatform();
    void parametersKeepTheirBytes();
};

void TestFramework::messages()
{
    const QString notInt = EConvertError::notInteger("x").message();
    QCOMPARE(notInt, QString::fromUtf8("'x' は整数ではありません"));
    QCOMPARE(EFOpenError("/a/profile.txt").message(),
             QString::fromUtf8("ファイル /a/profile.txt は開けません"));
    QCOMPARE(EIniFileException("/a/Pocketclips.ini").message(),
             QString::fromUtf8("/a/Pocketclips.ini に書き込めません"));
    QCOMPARE(EListError(5).message(),
             QString::fromUtf8("リストのインデックスが範囲を超えています (5)"));
    QCOMPARE(QString::fromUtf8(EFOpenError("/x").what()),
             QString::fromUtf8("ファイル /x は開けません"));
}

void TestFramework::guardShowsErrorBox()
{
    MessageRecorder rec;
    Handlers h;
    QPushButton button;
    connect(&button, &QPushButton::clicked, &h, Guarded(&h, &Handlers::Ok));
    connect(&button, &QPushButton::clicked, &h, Guarded(&h, &Handlers::Fails));
    connect(&button, &QPushButton::clicked, &h, Guarded(&h, &Handlers::FailsSilently));
    connect(&button, &QPushButton::clicked, &h, Guarded(&h, &Handlers::FailsPlain));
    connect(&button, &QPushButton::clicked, &h, Guarded(&h, &Handlers::WithArg));
    button.click();
    QCOMPARE(h.calls, 2); // Ok, then WithArg(false): every handler ran
    QCOMPARE(rec.errors(),
             (QStringList{QString::fromUtf8("'12.5' は整数ではありません"), QString()}));
}

void TestFramework::realBoxes_data()
{
    QTest::addColumn<ShowBox>("show");
    QTest::addColumn<int>("icon");
    // A window of ours staying on top (the progress window) is shown: the box
    // must not open behind it.
    QTest::addColumn<bool>("onTopWindow");
    QTest::newRow("plain message: text and OK only")
        << ShowBox(ShowMessage) << int(QMessageBox::NoIcon) << false;
    QTest::newRow("error box") << ShowBox(ShowErrorBox) << int(QMessageBox::Critical) << false;
    QTest::newRow("plain message over a window that stays on top")
        << ShowBox(ShowMessage) << int(QMessageBox::NoIcon) << true;
}

// The boxes as the user gets them, with no sink installed.
void TestFramework::realBoxes()
{
    QFETCH(ShowBox, show);
    QFETCH(int, icon);
    QFETCH(bool, onTopWindow);
    QWidget progress(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    if (onTopWindow)
        progress.show();
    QMessageBox *seen = nullptr;
    bool onTop = false;
    int shownIcon = -1;
    QString text;
    QMessageBox::StandardButtons buttons;
    QTimer::singleShot(0, [&] {
        seen = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!seen)
            return;
        shownIcon = int(seen->icon());
        onTop = seen->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        text = seen->text();
        buttons = seen->standardButtons();
        seen->done(QMessageBox::Ok);
    });
    show(QString::fromUtf8("変換を中止できませんでした。"));
    QVERIFY(seen);
    QCOMPARE(shownIcon, icon);
    QCOMPARE(text, QString::fromUtf8("変換を中止できませんでした。"));
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(onTop, onTopWindow);
}

void TestFramework::beepIsCounted()
{
    const int before = BeepCount();
    MessageBeep();
    MessageBeep();
    QCOMPARE(BeepCount(), before + 2);
}

void TestFramework::shellHooks()
{
    QStringList opened;
    QList<QStringList> ran;
    SetShellHooks({[&](const QString &f) { opened << f; },
                   [&](const QString &p, const QStringList &a) {
                       ran << (QStringList{p} + a);
                       return true;
                   }});
    ShellOpen("/opt/Pocketclips/Readme.txt");
    QVERIFY(ShellRun("ffmpeg", {"-i", "a b.avi"}));
    SetShellHooks({});
    QCOMPARE(opened, QStringList{"/opt/Pocketclips/Readme.txt"});
    QCOMPARE(ran, (QList<QStringList>{{"ffmpeg", "-i", "a b.avi"}}));
}

void TestFramework::displayPlatform_data()
{
    // QT_QPA_PLATFORM, XDG_SESSION_TYPE, WAYLAND_DISPLAY, DISPLAY; the choice.
    QTest::addColumn<QByteArrayList>("environment");
    QTest::addColumn<QByteArray>("chosen");
    QTest::newRow("X session") << QByteArrayList{"", "x11", "", ":0"} << QByteArray();
    QTest::newRow("Wayland with XWayland")
        << QByteArrayList{"", "wayland", "wayland-0", ":0"} << QByteArray("xcb");
    QTest::newRow("Wayland without X")
        << QByteArrayList{"", "wayland", "wayland-0", ""} << QByteArray("wayland");
    QTest::newRow("Wayland display, no session type")
        << QByteArrayList{"", "", "wayland-1", ":1"} << QByteArray("xcb");
    QTest::newRow("the user's choice stands")
        << QByteArrayList{"wayland", "wayland", "wayland-0", ":0"} << QByteArray();
    QTest::newRow("no display at all") << QByteArrayList{"", "tty", "", ""} << QByteArray();
}

void TestFramework::displayPlatform()
{
    QFETCH(QByteArrayList, environment);
    QFETCH(QByteArray, chosen);
    const DisplayEnvironment env{environment[0], environment[1], environment[2], environment[3]};
    QCOMPARE(ChooseDisplayPlatform(env), chosen);
}


// A program's parameters reach it with their bytes, file names that are not
// UTF-8 included, and it reads them so.
void TestFramework::parametersKeepTheirBytes()
{
    QTemporaryDir dir;
    const QString report = dir.filePath("parameters");
    ChildProcess child;
    QVERIFY(child.Start(QCoreApplication::applicationFilePath(),
                        {"--parameters", report, DecodeFileName("caf\xE9.avi"),
                         DecodeFileName("\x93\xFA\x96\x7B.avi"), "plain"}));
    QCOMPARE(child.Wait(30000), ChildProcess::WaitResult::Ended);
    QVERIFY(child.Succeeded());
    QCOMPARE(ReadFile(report), "--parameters\n" + EncodeFileName(report) +
                                   "\ncaf\xE9.avi\n\x93\xFA\x96\x7B.avi\nplain");
}

int main(int argc, char *argv[])
{
    if (argc >= 3 && qstrcmp(argv[1], "--parameters") == 0) {
        TApplication application(argc, argv);
        QByteArray bytes;
        for (const QString &p : TApplication::Parameters())
            bytes += (bytes.isEmpty() ? "" : "\n") + EncodeFileName(p);
        QFile f(QString::fromLocal8Bit(argv[2]));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() ? 0 : 1;
    }
    QApplication app(argc, argv);
    TestFramework test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_framework.moc"
