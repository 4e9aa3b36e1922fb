// The program on a real X display with a window manager (Xvfb and openbox),
// driven by xdotool as a user would: what the offscreen platform cannot show,
// such as a message box whose closing gives the main window the focus again.

#include "Application.h"
#include "Guard.h"
#include "MainWindow1.h"
#include "TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {
// How long anything on the display may take.
constexpr int Ceiling = 30000;

// The first preset cannot be applied: its frame rate has no "fps".
const QByteArray FailingFirstPreset =
    "\"壊れた行\",3gp,176x144,MPEG4,15,128kbps,AAC,16000Hz,32kbps\n"
    "\"携帯高画質 QCIF H.264\",3gp,176x144,LIBX264,12fps,192kbps,AAC,24000Hz,48kbps\n";

// Appends one line to a log file shared with the test.
void logLine(const QString &file, const QString &line)
{
    QFile f(file);
    if (f.open(QIODevice::Append))
        f.write(line.toUtf8() + '\n');
}

// Logs every top-level window shown or hidden ("show <name> <id> <text>",
// a message box by the name "box"), the application's state ("state 4" is
// active), and the end of the first activation ("ready").
class WindowLog : public QObject
{
public:
    explicit WindowLog(const QString &file) : m_file(file) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *w = qobject_cast<QWidget *>(watched);
        if (w && w->isWindow() &&
            (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
            const auto *box = qobject_cast<QMessageBox *>(w);
            logLine(m_file, QStringLiteral("%1 %2 %3 %4")
                                .arg(event->type() == QEvent::Show ? "show" : "hide",
                                     box ? QStringLiteral("box") : w->objectName())
                                .arg(w->winId())
                                .arg(box ? box->text() : QString()));
        }
        if (event->type() == QEvent::ApplicationStateChange)
            logLine(m_file, QStringLiteral("state %1").arg(int(qApp->applicationState())));
        return false;
    }

private:
    QString m_file;
};

// The program as its entry runs it, on the display it is given.
int programChild(char *argv[], int argc)
{
    const QString app = QString::fromLocal8Bit(argv[2]);
    const QString log = QString::fromLocal8Bit(argv[3]);
    QStringList files;
    for (int i = 4; i < argc; ++i)
        files << QString::fromLocal8Bit(argv[i]);
    TApplication application(argc, argv);
    WindowLog windows(log);
    qApp->installEventFilter(&windows);
    QTimer ready;
    RunGuarded([&] {
        application.SetTitle(QStringLiteral("Pocketclips"));
        MainForm1 = new TMainForm1(app);
        MainForm1->CommandLine = files;
        application.SetMainForm(MainForm1);
        QObject::connect(&ready, &QTimer::timeout, [&] {
            if (MainForm1->Tag != 0) {
                ready.stop();
                logLine(log, QStringLiteral("ready"));
            }
        });
        ready.start(20);
        application.Run();
    });
    delete MainForm1;
    MainForm1 = nullptr;
    return 0;
}

// Another program's window, to switch to and back from.
int otherChild(char *argv[], int argc)
{
    QApplication application(argc, argv);
    QWidget other;
    other.setObjectName(QStringLiteral("Other"));
    other.setWindowTitle(QStringLiteral("Another program"));
    other.resize(300, 200);
    WindowLog windows(QString::fromLocal8Bit(argv[2]));
    application.installEventFilter(&windows);
    other.show();
    return application.exec();
}
} // namespace

class TestDesktop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void failingFirstPresetShowsItsBoxOnce();

private:
    QString xdo(const QStringList &args);
    QProcess *startChild(const QStringList &args);
    QString focus() { return xdo({"getwindowfocus"}); }
    QStringList logLines(const QString &file) const;
    // How many lines of the log begin with start.
    int count(const QString &file, const QString &start) const;
    QString windowOf(const QString &file, const QString &kind) const;
    void click(const QString &window, const QPoint &at);

    QScopedPointer<TestXServer> m_x;
    QProcess m_wm;
    QString m_display;
    QList<QProcess *> m_children;
    QScopedPointer<QTemporaryDir> m_dir;
};

void TestDesktop::initTestCase()
{
    for (const char *tool : {"Xvfb", "openbox", "xdotool"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(tool)));
    m_x.reset(new TestXServer);
    m_display = m_x->Display();
    QVERIFY2(!m_display.isEmpty(), "Xvfb gave no display");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", m_display);
    m_wm.setProcessEnvironment(env);
    m_wm.setProcessChannelMode(QProcess::MergedChannels);
    EndWithTest(m_wm);
    m_wm.start("openbox", {"--sm-disable"});
    QVERIFY(m_wm.waitForStarted());
    // The window manager is up once it has set the desktops; without one
    // xdotool says 0.
    QTRY_VERIFY_WITH_TIMEOUT(
        m_wm.state() != QProcess::Running || xdo({"get_num_desktops"}).toInt() > 0, Ceiling);
    QVERIFY2(m_wm.state() == QProcess::Running, m_wm.readAll().constData());
}

void TestDesktop::cleanupTestCase()
{
    m_wm.terminate();
    if (!m_wm.waitForFinished(5000))
        m_wm.kill();
    m_wm.waitForFinished(5000);
    m_x.reset();
}

void TestDesktop::cleanup()
{
    for (QProcess *child : std::as_const(m_children)) {
        child->kill();
        child->waitForFinished(5000);
        delete child;
    }
    m_children.clear();
}

QString TestDesktop::xdo(const QStringList &args)
{
    return m_x->Xdotool(args);
}

QProcess *TestDesktop::startChild(const QStringList &args)
{
    auto *p = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", m_display);
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("PATH", m_dir->filePath("bin") + ':' + env.value("PATH"));
    env.insert("FAKE_ENCODER_LOG", m_dir->filePath("encoder.log"));
    env.insert("FAKE_ENCODER_RULES", m_dir->filePath("rules.txt"));
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    EndWithTest(*p);
    p->start(QCoreApplication::applicationFilePath(), args);
    m_children << p;
    return p;
}

QStringList TestDesktop::logLines(const QString &file) const
{
    return QString::fromUtf8(ReadFile(file)).split('\n', Qt::SkipEmptyParts);
}

int TestDesktop::count(const QString &file, const QString &start) const
{
    return int(logLines(file).filter(QRegularExpression('^' + start)).size());
}

// The id of the last window of a kind ("box", "MainForm1") the log shows.
QString TestDesktop::windowOf(const QString &file, const QString &kind) const
{
    const QStringList shown = logLines(file).filter(QRegularExpression("^show " + kind + ' '));
    return shown.isEmpty() ? QString() : shown.last().section(' ', 2, 2);
}

void TestDesktop::click(const QString &window, const QPoint &at)
{
    // The window's place on the screen, as the window manager has put it.
    const QString where = xdo({"getwindowgeometry", "--shell", window});
    const int x = QRegularExpression("X=(-?\\d+)").match(where).captured(1).toInt();
    const int y = QRegularExpression("Y=(-?\\d+)").match(where).captured(1).toInt();
    xdo({"mousemove", "--sync", QString::number(x + at.x()), QString::number(y + at.y())});
    xdo({"click", "1"});
}

void TestDesktop::failingFirstPresetShowsItsBoxOnce()
{
    m_dir.reset(new QTemporaryDir);
    const QString app = m_dir->filePath("app");
    WriteFile(app, "profile.txt", FailingFirstPreset);
    const QString clip = WriteFile(m_dir->path(), "clips/clip.avi", "not a video");
    // The encoder is the fake one; the thumbnail run writes nothing.
    QDir().mkpath(m_dir->filePath("bin"));
    QVERIFY(QFile::link(QStringLiteral(FAKE_ENCODER_PATH), m_dir->filePath("bin/ffmpeg")));
    WriteFile(m_dir->path(), "rules.txt", "_thumb.jpg\tnowrite\n");
    const QString log = m_dir->filePath("windows.log");
    const QString otherLog = m_dir->filePath("other.log");

    // Where the controls are in the window.
    TMainForm1 layout(app);
    const auto centre = [&](QWidget *w) { return w->mapTo(&layout, w->rect().center()); };

    QProcess *program = startChild({"--program", app, log, clip});
    QTRY_COMPARE_WITH_TIMEOUT(count(log, "show box "), 1, Ceiling);
    QCOMPARE(logLines(log).filter("show box ").first().section(' ', 3), "'' は整数ではありません");
    const QString main = windowOf(log, "MainForm1");
    QVERIFY(!main.isEmpty());

    // OK closes the box; the main window gets the focus back and no box comes again.
    QTRY_COMPARE_WITH_TIMEOUT(focus(), windowOf(log, "box"), Ceiling);
    xdo({"key", "Return"});
    QTRY_COMPARE_WITH_TIMEOUT(focus(), main, Ceiling);
    QTest::qWait(2000);
    QCOMPARE(count(log, "show box "), 1);

    // Coming back from another program runs the start again: one box, once more.
    startChild({"--other", otherLog});
    QTRY_COMPARE_WITH_TIMEOUT(count(otherLog, "show Other "), 1, Ceiling);
    const QString other = windowOf(otherLog, "Other");
    QTRY_COMPARE_WITH_TIMEOUT(focus(), other, Ceiling);
    QTRY_COMPARE_WITH_TIMEOUT(count(log, "state 2"), 1, Ceiling); // inactive
    xdo({"windowactivate", main});
    QTRY_COMPARE_WITH_TIMEOUT(count(log, "show box "), 2, Ceiling);
    QTRY_COMPARE_WITH_TIMEOUT(focus(), windowOf(log, "box"), Ceiling);
    xdo({"key", "Return"});
    QTRY_COMPARE_WITH_TIMEOUT(focus(), main, Ceiling);
    QTest::qWait(2000);
    QCOMPARE(count(log, "show box "), 2);

    // The window is usable: the user picks the second preset...
    click(main, centre(layout.C2_00));
    xdo({"key", "--delay", "100", "Down", "Return"});
    // ...goes away and comes back, and the start now runs to its end.
    xdo({"windowactivate", other});
    QTRY_COMPARE_WITH_TIMEOUT(count(log, "state 2"), 2, Ceiling);
    xdo({"windowactivate", main});
    QTRY_COMPARE_WITH_TIMEOUT(count(log, "ready"), 1, Ceiling);
    QCOMPARE(count(log, "show box "), 2);

    // The conversion runs with that preset, and × closes the program.
    click(main, centre(layout.Button10));
    QTRY_COMPARE_WITH_TIMEOUT(count(log, "hide ProgressForm1 "), 1, Ceiling);
    QStringList conversions;
    for (const LoggedRun &run : ReadEncoderLog(m_dir->filePath("encoder.log")))
        if (run.args.last().endsWith("clip.3gp"))
            conversions << run.args.join(' ');
    QCOMPARE(conversions.size(), 1);
    QVERIFY2(conversions.first().contains("-vcodec libx264 -b 192k -r 12 "),
             qPrintable(conversions.first()));
    QVERIFY(QFile::exists(m_dir->filePath("app/clip.3gp")));
    QTRY_COMPARE_WITH_TIMEOUT(focus(), main, Ceiling);
    click(main, centre(layout.Button1));
    QVERIFY(program->waitForFinished(Ceiling));
    QCOMPARE(program->exitCode(), 0);
    QCOMPARE(count(log, "show box "), 2);
    QVERIFY(ReadFile(app + "/Pocketclips.ini").contains("C0=2"));
}

int main(int argc, char *argv[])
{
    if (argc >= 4 && qstrcmp(argv[1], "--program") == 0)
        return programChild(argv, argc);
    if (argc == 3 && qstrcmp(argv[1], "--other") == 0)
        return otherChild(argv, argc);
    QApplication app(argc, argv);
    TestDesktop test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_desktop.moc"
