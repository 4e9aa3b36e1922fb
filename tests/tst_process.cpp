#include "Process.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <cstdlib>
#include <unistd.h>

class TestProcess : public QObject
{
    Q_OBJECT

private slots:
    void exitStatus_data();
    void exitStatus();
    void argumentsStayWhole();
    void waitReturnsWhenChildEnds();
    void waitTimesOut();
    void terminateOnlyOwnLiveChild();
    void missingProgram();
    void ownFolderBeforePath();
    void childDiesWithCrashedProgram();
};

void TestProcess::exitStatus_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("exited");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("sig");
    QTest::newRow("success") << "exit 0" << true << 0 << 0;
    QTest::newRow("failure") << "exit 3" << true << 3 << 0;
    QTest::newRow("killed") << "kill -9 $$" << false << 0 << int(SIGKILL);
    QTest::newRow("segv") << "kill -11 $$" << false << 0 << int(SIGSEGV);
}

void TestProcess::exitStatus()
{
    QFETCH(QString, script);
    QFETCH(bool, exited);
    QFETCH(int, code);
    QFETCH(int, sig);
    ChildProcess p;
    QVERIFY(p.Start("sh", {"-c", script}));
    QCOMPARE(p.Wait(10000), ChildProcess::WaitResult::Ended);
    QCOMPARE(p.Exited(), exited);
    QCOMPARE(p.ExitCode(), code);
    QCOMPARE(p.TermSignal(), sig);
    QCOMPARE(p.Succeeded(), exited && code == 0);
    QVERIFY(!p.IsRunning());
}

void TestProcess::argumentsStayWhole()
{
    QTemporaryDir dir;
    const QString out = dir.path() + "/args.txt";
    const QString tricky = QString::fromUtf8("C:\\a \"quoted\" 'single' -dash 動画 😀\nline");
    ChildProcess p;
    QVERIFY(p.Start("sh", {"-c", "printf '%s|%s' \"$1\" \"$#\" > \"$2\"", "sh", tricky, out}));
    QCOMPARE(p.Wait(10000), ChildProcess::WaitResult::Ended);
    QCOMPARE(QString::fromUtf8(ReadFile(out)), tricky + "|2");
}

void TestProcess::waitReturnsWhenChildEnds()
{
    ChildProcess p;
    QVERIFY(p.Start("sh", {"-c", "sleep 0.1"}));
    QElapsedTimer t;
    t.start();
    QCOMPARE(p.Wait(5000), ChildProcess::WaitResult::Ended);
    QVERIFY2(t.elapsed() < 2000, qPrintable(QString::number(t.elapsed())));
}

void TestProcess::waitTimesOut()
{
    ChildProcess p;
    QVERIFY(p.Start("sleep", {"10"}));
    QElapsedTimer t;
    t.start();
    QCOMPARE(p.Wait(60), ChildProcess::WaitResult::Timeout);
    QVERIFY(t.elapsed() >= 55);
    QVERIFY(p.IsRunning());
    QVERIFY(p.Terminate());
    QCOMPARE(p.Wait(5000), ChildProcess::WaitResult::Ended);
    QCOMPARE(p.TermSignal(), int(SIGKILL));
}

void TestProcess::terminateOnlyOwnLiveChild()
{
    ChildProcess never;
    QVERIFY(!never.Terminate());
    QCOMPARE(never.Wait(10), ChildProcess::WaitResult::Failed);

    ChildProcess p;
    QVERIFY(p.Start("true", {}));
    QCOMPARE(p.Wait(5000), ChildProcess::WaitResult::Ended);
    QVERIFY(!p.Terminate()); // reaped: its id may belong to someone else now

    ChildProcess q;
    QVERIFY(q.Start("true", {}));
    QTRY_VERIFY_WITH_TIMEOUT(ChildEnded(q.Pid()), 10000); // ended but not reaped yet
    QVERIFY(!q.Terminate());
    QCOMPARE(q.Wait(1000), ChildProcess::WaitResult::Ended);
    QVERIFY(q.Succeeded());
}

void TestProcess::missingProgram()
{
    ChildProcess p;
    QVERIFY(!p.Start("no-such-program-here", {}));
    QVERIFY(!p.Started());
    QVERIFY(ChildProcess::FindProgram("no-such-program-here").isEmpty());
    QVERIFY(!p.Start("/no/such/dir/prog", {}));
}

void TestProcess::ownFolderBeforePath()
{
    const QString name = QString("pc-own-%1").arg(getpid());
    const QString own = QCoreApplication::applicationDirPath() + "/" + name;
    WriteFile(QCoreApplication::applicationDirPath(), name, "#!/bin/sh\nexit 7\n");
    QFile::setPermissions(own, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(ChildProcess::FindProgram(name), own);
    ChildProcess p;
    QVERIFY(p.Start(name, {}));
    QCOMPARE(p.Wait(5000), ChildProcess::WaitResult::Ended);
    QCOMPARE(p.ExitCode(), 7);
    QFile::remove(own);
    QCOMPARE(ChildProcess::FindProgram("sh").isEmpty(), false);
}

void TestProcess::childDiesWithCrashedProgram()
{
    QTemporaryDir dir;
    const QString pidFile = dir.path() + "/pid";
    QProcess crasher;
    crasher.start(QCoreApplication::applicationFilePath(), {"--crash-with-child", pidFile});
    QVERIFY(crasher.waitForFinished(10000));
    QCOMPARE(crasher.exitStatus(), QProcess::CrashExit);
    const pid_t child = pid_t(ReadFile(pidFile).toInt());
    QVERIFY(child > 0);
    // The orphan is re-parented and killed; give the kernel a moment.
    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i) {
        // A killed orphan may linger as a zombie until its new parent reaps it.
        const QByteArray stat = ReadFile(QString("/proc/%1/stat").arg(child));
        const int close = stat.lastIndexOf(')');
        gone = stat.isEmpty() || (close > 0 && (stat.mid(close + 2, 1) == "Z" || stat.mid(close + 2, 1) == "X"));
        if (!gone)
            QTest::qWait(20);
    }
    QVERIFY(gone);
}

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--crash-with-child") == 0) {
        QCoreApplication app(argc, argv);
        static ChildProcess child;
        if (!child.Start("sleep", {"30"}))
            return 2;
        QFile f(QString::fromLocal8Bit(argv[2]));
        if (!f.open(QIODevice::WriteOnly))
            return 3;
        f.write(QByteArray::number(child.Pid()));
        f.close();
        std::abort();
    }
    QCoreApplication app(argc, argv);
    TestProcess t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_process.moc"
