// The program on a desktop's services, as a long batch meets them: the real
// program on its own X display (Xvfb and openbox), its own session and
// system bus, and python3-dbusmock's logind, notification daemon and a file
// manager as the services. Stays awake while converting, tells the user who
// is not at the window how the batch ended, and shows progress on its dock
// entry.

#include "TestSupport.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <csignal>

namespace {
constexpr int Ceiling = 30000;
const QString Python = QStringLiteral("/usr/bin/python3");

// Another program's window, to be at instead of the main window.
int otherChild(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QWidget other;
    other.setWindowTitle(QStringLiteral("Another program"));
    other.resize(300, 200);
    other.show();
    return application.exec();
}

// A process of the test that ends with it.
void start(QProcess &p, const QString &program, const QStringList &args,
           const QProcessEnvironment &env)
{
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    EndWithTest(p);
    p.start(program, args);
}

void stop(QProcess &p)
{
    if (p.state() == QProcess::NotRunning)
        return;
    p.terminate();
    if (!p.waitForFinished(5000))
        p.kill();
    p.waitForFinished(5000);
}
} // namespace

class TestDesktopServices : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void batchOnTheDesktop();

public slots:
    void launcherUpdate(const QString &app, const QVariantMap &properties);

private:
    // A private bus; its address, empty when it did not come up.
    QString startBus(QProcess &daemon);
    // A python3-dbusmock service on a bus, logging its calls to log.
    bool startMock(QProcess &mock, const QString &address, const QString &name,
                   const QStringList &args, const QString &log);
    QString xdo(const QStringList &args) { return m_x->Xdotool(args); }
    QStringList visibleWindows(qint64 pid);
    QStringList calls(const QString &log, const QString &method) const;
    int inhibitors();

    QTemporaryDir m_dir;
    QScopedPointer<TestXServer> m_x;
    QProcess m_wm, m_session, m_system, m_logind, m_notifications, m_files, m_program, m_other;
    QString m_sessionAddress, m_systemAddress;
    QList<QPair<double, bool>> m_launcher;
};

void TestDesktopServices::initTestCase()
{
    for (const char *tool : {"Xvfb", "openbox", "xdotool", "dbus-daemon"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(tool)));
    if (QProcess::execute(Python, {"-c", "import dbusmock"}) != 0)
        QSKIP("python3-dbusmock is not installed");
    m_x.reset(new TestXServer);
    QVERIFY2(!m_x->Display().isEmpty(), "Xvfb gave no display");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", m_x->Display());
    start(m_wm, "openbox", {"--sm-disable"}, env);
    QTRY_VERIFY_WITH_TIMEOUT(xdo({"get_num_desktops"}).toInt() > 0, Ceiling);

    // A session bus and a bus that stands in for the system's.
    m_sessionAddress = startBus(m_session);
    m_systemAddress = startBus(m_system);
    QVERIFY(!m_sessionAddress.isEmpty() && !m_systemAddress.isEmpty());
    QVERIFY(startMock(m_logind, m_systemAddress, "org.freedesktop.login1",
                      {"--system", "--template", "logind"}, m_dir.filePath("logind.log")));
    QVERIFY(startMock(m_notifications, m_sessionAddress, "org.freedesktop.Notifications",
                      {"--template", "notification_daemon"}, m_dir.filePath("notifications.log")));
    QVERIFY(startMock(m_files, m_sessionAddress, "org.freedesktop.FileManager1",
                      {"--session", "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                       "org.freedesktop.FileManager1"},
                      m_dir.filePath("files.log")));
    QDBusConnection session = QDBusConnection::connectToBus(m_sessionAddress, "session");
    QDBusMessage add = QDBusMessage::createMethodCall("org.freedesktop.FileManager1",
                                                      "/org/freedesktop/FileManager1",
                                                      "org.freedesktop.DBus.Mock", "AddMethod");
    add << QString("org.freedesktop.FileManager1") << QString("ShowItems") << QString("ass")
        << QString() << QString();
    QCOMPARE(session.call(add).type(), QDBusMessage::ReplyMessage);
    QVERIFY(session.connect(QString(), QString(), "com.canonical.Unity.LauncherEntry", "Update",
                            this, SLOT(launcherUpdate(QString, QVariantMap))));
}

void TestDesktopServices::cleanupTestCase()
{
    for (QProcess *p : {&m_program, &m_other, &m_files, &m_notifications, &m_logind, &m_session,
                        &m_system, &m_wm})
        stop(*p);
    QDBusConnection::disconnectFromBus("session");
    QDBusConnection::disconnectFromBus("system");
    m_x.reset();
}

QString TestDesktopServices::startBus(QProcess &daemon)
{
    start(daemon, "dbus-daemon", {"--session", "--nofork", "--print-address=1"},
          QProcessEnvironment::systemEnvironment());
    for (int i = 0; i < 40 && !daemon.canReadLine(); ++i)
        daemon.waitForReadyRead(500);
    return QString::fromLatin1(daemon.readLine()).trimmed();
}

bool TestDesktopServices::startMock(QProcess &mock, const QString &address, const QString &name,
                                    const QStringList &args, const QString &log)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", address);
    env.insert("DBUS_SYSTEM_BUS_ADDRESS", address);
    start(mock, Python, QStringList{"-m", "dbusmock", "-l", log} + args, env);
    const QString connection = name + "-watch";
    QDBusConnection bus = QDBusConnection::connectToBus(address, connection);
    bool up = false;
    for (int i = 0; i < 100 && !up && mock.state() != QProcess::NotRunning; ++i) {
        up = bus.interface()->isServiceRegistered(name);
        if (!up)
            QTest::qWait(100);
    }
    QDBusConnection::disconnectFromBus(connection);
    return up;
}

void TestDesktopServices::launcherUpdate(const QString &app, const QVariantMap &properties)
{
    if (app == QLatin1String("application://pocketclips.desktop"))
        m_launcher << qMakePair(properties.value("progress").toDouble(),
                                properties.value("progress-visible").toBool());
}

QStringList TestDesktopServices::visibleWindows(qint64 pid)
{
    return xdo({"search", "--onlyvisible", "--pid", QString::number(pid)})
        .split('\n', Qt::SkipEmptyParts);
}

QStringList TestDesktopServices::calls(const QString &log, const QString &method) const
{
    QStringList found;
    // One record a call, from its time stamp on (a text argument may hold
    // line breaks).
    const QStringList records =
        QString::fromUtf8(ReadFile(log)).split(QRegularExpression("\n(?=\\d+\\.\\d+ )"));
    for (const QString &record : records)
        if (record.section(' ', 1, 1) == method)
            found << record;
    return found;
}

int TestDesktopServices::inhibitors()
{
    QDBusConnection system = QDBusConnection::connectToBus(m_systemAddress, "system");
    const QDBusMessage reply = system.call(
        QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                       "org.freedesktop.login1.Manager", "ListInhibitors"));
    if (reply.type() != QDBusMessage::ReplyMessage)
        return -1;
    // a(ssssuu): the program's own.
    const QDBusArgument list = reply.arguments().value(0).value<QDBusArgument>();
    int count = 0;
    list.beginArray();
    while (!list.atEnd()) {
        QString what, who, why, mode;
        uint user = 0, pid = 0;
        list.beginStructure();
        list >> what >> who >> why >> mode >> user >> pid;
        list.endStructure();
        if (what == "sleep:idle" && who == "Pocketclips" && mode == "block")
            ++count;
    }
    list.endArray();
    return count;
}

void TestDesktopServices::batchOnTheDesktop()
{
    // A portable program folder: the program, its presets, the fake encoder as
    // its ffmpeg; the outputs go beside them.
    const QString app = m_dir.filePath("app");
    QVERIFY(QDir().mkpath(app));
    QVERIFY(QFile::copy(ProgramDir() + "/pocketclips", app + "/pocketclips"));
    QVERIFY(QFile::copy(ProgramDir() + "/profile.txt", app + "/profile.txt"));
    QVERIFY(QFile::link(QStringLiteral(FAKE_ENCODER_PATH), app + "/ffmpeg"));
    const QString rules = m_dir.filePath("rules.txt");
    WriteFile(m_dir.path(), "rules.txt", "_thumb.jpg\tnowrite\na.avi\tslow 3000\nb.avi\tfail 1\n");
    WriteFile(m_dir.path(), "errors.txt", "b.avi: Invalid data found when processing input\n");
    const QString a = WriteFile(m_dir.path(), "clips/a.avi", "a");
    const QString b = WriteFile(m_dir.path(), "clips/b.avi", "b");
    const QString encoderLog = m_dir.filePath("encoder.log");

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", m_x->Display());
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("DBUS_SESSION_BUS_ADDRESS", m_sessionAddress);
    env.insert("DBUS_SYSTEM_BUS_ADDRESS", m_systemAddress);
    env.insert("FAKE_ENCODER_LOG", encoderLog);
    env.insert("FAKE_ENCODER_RULES", rules);
    env.insert("FAKE_ENCODER_STDERR", m_dir.filePath("errors.txt"));
    for (const char *variable : {"AT_SPI_BUS_ADDRESS", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON"})
        env.remove(variable);
    start(m_program, app + "/pocketclips", {a, b}, env);
    QVERIFY(m_program.waitForStarted());
    QStringList windows;
    QTRY_VERIFY_WITH_TIMEOUT(!(windows = visibleWindows(m_program.processId())).isEmpty(), Ceiling);
    const QString main = windows.first();
    start(m_other, QCoreApplication::applicationFilePath(), {"--other"}, env);
    QString other;
    QTRY_VERIFY_WITH_TIMEOUT(!(other = visibleWindows(m_other.processId()).value(0)).isEmpty(),
                             Ceiling);
    const auto conversions = [&] {
        int n = 0;
        for (const LoggedRun &run : ReadEncoderLog(encoderLog))
            n += run.args.contains("-vcodec");
        return n;
    };

    // 1. The user starts the batch and goes to another program.
    QTest::qWait(1000); // the first activation adds the two files
    xdo({"windowactivate", "--sync", main});
    xdo({"key", "ctrl+Return"});
    QTRY_COMPARE_WITH_TIMEOUT(conversions(), 1, Ceiling);
    // The progress window takes the focus as it comes up; on a busy machine
    // that can be late, so the user leaves only once it has.
    QTRY_VERIFY_WITH_TIMEOUT(visibleWindows(m_program.processId()).size() == 2 &&
                                 visibleWindows(m_program.processId())
                                     .contains(xdo({"getactivewindow"}).trimmed()),
                             Ceiling);
    xdo({"windowactivate", "--sync", other});
    // Awake while it converts.
    QTRY_COMPARE_WITH_TIMEOUT(inhibitors(), 1, Ceiling);
    // b fails: the end's box comes; the notification was sent before it.
    QTRY_COMPARE_WITH_TIMEOUT(visibleWindows(m_program.processId()).size(), 3, Ceiling);
    const QString notificationsLog = m_dir.filePath("notifications.log");
    QTRY_COMPARE_WITH_TIMEOUT(calls(notificationsLog, "Notify").size(), 1, Ceiling);
    const QString notify = calls(notificationsLog, "Notify").first();
    QVERIFY2(notify.contains("\"Pocketclips\" 0 \"" + app +
                             "/pocketclips.png\" \"変換が終わりました\" "
                             "\"変換 1 件、失敗 1 件\n保存先: " +
                             app + "\""),
             qPrintable(notify));
    QVERIFY2(notify.contains("show-output") && notify.contains("desktop-entry") &&
                 notify.contains("pocketclips"),
             qPrintable(notify));
    QCOMPARE(inhibitors(), 1); // the box is part of the batch
    windows = visibleWindows(m_program.processId());
    const QString box = windows.last();
    xdo({"windowactivate", "--sync", box});
    xdo({"key", "Return"});
    QTRY_COMPARE_WITH_TIMEOUT(visibleWindows(m_program.processId()).size(), 1, Ceiling);
    QTRY_COMPARE_WITH_TIMEOUT(inhibitors(), 0, Ceiling);
    // The dock's bar: 0, then a half, the end, hidden.
    QTRY_COMPARE_WITH_TIMEOUT(m_launcher.size(), 4, Ceiling);
    const QList<QPair<double, bool>> expected{{0.0, true}, {0.5, true}, {1.0, true}, {0.0, false}};
    QCOMPARE(m_launcher, expected);

    // 2. The notification's action shows the output in the file manager.
    QDBusConnection session = QDBusConnection::connectToBus(m_sessionAddress, "session");
    QDBusMessage emitAction = QDBusMessage::createMethodCall(
        "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
        "org.freedesktop.DBus.Mock", "EmitSignal");
    emitAction << QString("org.freedesktop.Notifications") << QString("ActionInvoked")
               << QString("us")
               << QVariantList{QVariant::fromValue(QDBusVariant(uint(1))),
                               QVariant::fromValue(QDBusVariant(QString("show-output")))};
    QCOMPARE(session.call(emitAction).type(), QDBusMessage::ReplyMessage);
    const QString filesLog = m_dir.filePath("files.log");
    QTRY_COMPARE_WITH_TIMEOUT(calls(filesLog, "ShowItems").size(), 1, Ceiling);
    QVERIFY2(calls(filesLog, "ShowItems").first().contains("file://" + app + "/a.3gp"),
             qPrintable(calls(filesLog, "ShowItems").first()));

    // 3. At the window all along: no notification, nor a box.
    WriteFile(m_dir.path(), "rules.txt", "_thumb.jpg\tnowrite\na.avi\tslow 1500\n");
    m_launcher.clear();
    xdo({"windowactivate", "--sync", main});
    xdo({"key", "ctrl+Return"});
    QTRY_COMPARE_WITH_TIMEOUT(conversions(), 3, Ceiling);
    QTRY_COMPARE_WITH_TIMEOUT(conversions(), 4, Ceiling);
    QTRY_COMPARE_WITH_TIMEOUT(m_launcher.size(), 4, Ceiling);
    QTest::qWait(1000);
    QCOMPARE(visibleWindows(m_program.processId()).size(), 1);
    QCOMPARE(calls(notificationsLog, "Notify").size(), 1);
    QCOMPARE(inhibitors(), 0);

    // 4. Ended by a signal in the middle of a batch: the lock goes, and no
    // notification says the batch is done.
    WriteFile(m_dir.path(), "rules.txt", "_thumb.jpg\tnowrite\na.avi\thang\n");
    xdo({"windowactivate", "--sync", main});
    xdo({"key", "ctrl+Return"});
    QTRY_COMPARE_WITH_TIMEOUT(conversions(), 5, Ceiling);
    xdo({"windowactivate", "--sync", other});
    QTRY_COMPARE_WITH_TIMEOUT(inhibitors(), 1, Ceiling);
    ::kill(pid_t(m_program.processId()), SIGTERM);
    QVERIFY(m_program.waitForFinished(Ceiling));
    QCOMPARE(m_program.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(inhibitors(), 0, Ceiling);
    QTest::qWait(500);
    QCOMPARE(calls(notificationsLog, "Notify").size(), 1);
    if (qEnvironmentVariableIsSet("PC_SHOT_DIR"))
        for (const QString log : {"logind.log", "notifications.log", "files.log"})
            QFile::copy(m_dir.filePath(log), qEnvironmentVariable("PC_SHOT_DIR") + '/' + log);
}

int main(int argc, char *argv[])
{
    if (argc == 2 && qstrcmp(argv[1], "--other") == 0)
        return otherChild(argc, argv);
    QApplication app(argc, argv);
    TestDesktopServices test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_desktopservices.moc"
