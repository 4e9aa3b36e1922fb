// The program as a screen reader meets it, through the real accessibility
// stack: its own X display (Xvfb), session bus (dbus-run-session), the
// accessibility bus and registry of at-spi2-core, and pyatspi driving it from
// accessibility_walk.py. One run of the program; the test functions read what
// the walk saw.

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace {
constexpr char Python[] = "/usr/bin/python3";
constexpr char BusLauncher[] = "/usr/libexec/at-spi-bus-launcher";

// The processes of a process group that still run (zombies have ended).
QStringList Running(pid_t group)
{
    QStringList running;
    const QStringList entries = QDir("/proc").entryList(QDir::Dirs);
    for (const QString &pid : entries) {
        // "pid (comm) state ppid pgrp ...": comm may hold blanks and brackets.
        const QByteArray stat = ReadFile("/proc/" + pid + "/stat");
        const int close = stat.lastIndexOf(')');
        if (close < 0)
            continue;
        const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
        if (fields.size() > 2 && fields[0] != "Z" && fields[2].toInt() == group)
            running << QString::fromUtf8(stat.left(close + 1));
    }
    return running;
}

// Ends every process of the group: asked first, then forced.
QStringList EndGroup(pid_t group)
{
    for (int signal : {SIGTERM, SIGKILL}) {
        ::kill(-group, signal);
        for (int i = 0; i < 50 && !Running(group).isEmpty(); ++i)
            QTest::qWait(100);
    }
    return Running(group);
}

// One node of a saved tree: role, name, description, value, text, states,
// actions, relations.
QStringList Node(const QStringList &tree, const QString &title, const QString &role,
                 const QRegularExpression &name)
{
    bool inTree = false;
    for (const QString &line : tree) {
        if (line.startsWith("== ")) {
            inTree = line.mid(3) == title;
            continue;
        }
        const QStringList fields = QString(line).remove(QRegularExpression("^ +")).split('\t');
        if (inTree && fields.size() == 8 && fields[0] == role && name.match(fields[1]).hasMatch())
            return fields;
    }
    return {};
}
} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void controls_data();
    void controls();
    void changesAnnounced_data();
    void changesAnnounced();
    void actionsDoTheJob();

private:
    QTemporaryDir m_dir;
    QStringList m_tree;
    QStringList m_events;
    QStringList m_steps;
};

void TestAccessibility::initTestCase()
{
    for (const char *tool : {"Xvfb", "dbus-run-session", Python, BusLauncher})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty() &&
            !QFile::exists(QLatin1String(tool)))
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(tool)));
    if (QProcess::execute(Python, {"-c", "import pyatspi"}) != 0)
        QSKIP("python3-pyatspi is not installed");

    // A portable program folder: the program, its presets, the fake encoder
    // as its ffmpeg, and settings that choose the first preset.
    const QString app = m_dir.filePath("app");
    QVERIFY(QDir().mkpath(app));
    QVERIFY(QFile::copy(ProgramDir() + "/pocketclips", app + "/pocketclips"));
    QVERIFY(QFile::copy(ProgramDir() + "/profile.txt", app + "/profile.txt"));
    QVERIFY(QFile::link(QStringLiteral(FAKE_ENCODER_PATH), app + "/ffmpeg"));
    WriteFile(app, "Pocketclips.ini",
              QString("[SET2]\nC0=1\nC11=%1\n").arg(m_dir.filePath("out")).toUtf8());
    // The first file's encoder runs until it is cancelled, the second fails.
    WriteFile(m_dir.path(), "rules.txt",
              "_thumb.jpg\tnowrite\nclip1.3gp\thang\n"
              "clip2.3gp\tfail 1\n");
    const QString clip1 = WriteFile(m_dir.path(), "clip1.avi", QByteArray(5000, 'x'));
    const QString clip2 = WriteFile(m_dir.path(), "clip2.avi", "x");

    TestXServer x;
    QVERIFY2(!x.Display().isEmpty(), "Xvfb gave no display");
    QProcess walk;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", x.Display());
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    env.insert("FAKE_ENCODER_LOG", m_dir.filePath("encoder.log"));
    env.insert("FAKE_ENCODER_RULES", m_dir.filePath("rules.txt"));
    for (const char *bus : {"DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS", "NO_AT_BRIDGE"})
        env.remove(bus);
    walk.setProcessEnvironment(env);
    walk.setProcessChannelMode(QProcess::ForwardedChannels);
    // Its own process group: the buses, the registry and the program all
    // end with it, whatever happens.
    walk.setChildProcessModifier([] { ::setsid(); });
    walk.start("dbus-run-session",
               {"--", Python, QStringLiteral(PC_SOURCE_DIR "/tests/accessibility_walk.py"),
                m_dir.path(), app + "/pocketclips", clip1, clip2});
    QVERIFY(walk.waitForStarted());
    const pid_t group = pid_t(walk.processId());
    const bool finished = walk.waitForFinished(150000);
    const QStringList left = EndGroup(group);
    walk.waitForFinished(5000);

    const auto lines = [this](const char *name) {
        return QString::fromUtf8(ReadFile(m_dir.filePath(name))).split('\n', Qt::SkipEmptyParts);
    };
    m_tree = lines("tree.txt");
    m_events = lines("events.txt");
    m_steps = lines("steps.txt");
    if (!qEnvironmentVariableIsEmpty("PC_SHOT_DIR")) {
        const QString saved = qEnvironmentVariable("PC_SHOT_DIR") + "/accessibility-tree.txt";
        QFile::remove(saved);
        QFile::copy(m_dir.filePath("tree.txt"), saved);
    }
    QVERIFY2(left.isEmpty(), qPrintable("still running: " + left.join(", ")));
    QVERIFY2(finished, "the walk did not end");
}

void TestAccessibility::controls_data()
{
    QTest::addColumn<QString>("tree");
    QTest::addColumn<QString>("role");
    QTest::addColumn<QString>("name"); // a pattern
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("state");  // present, or absent with a leading "!"
    QTest::addColumn<QString>("action"); // one of its actions
    QTest::addColumn<QString>("relation");
    QTest::addColumn<QString>("description"); // a pattern; empty: not compared

    const QString m = "main window", p = "progress window during the batch",
                  e = "main window with an empty list", b = "message box";
    const auto row = [](const char *tag, const QString &tree, const QString &role,
                        const QString &name, const QString &value, const QString &text,
                        const QString &state, const QString &action, const QString &relation) {
        QTest::newRow(tag) << tree << role << name << value << text << state << action << relation
                           << QString();
    };
    // The value controls as read: role, name, value, the value's text (as
    // text or description), and the notices that say what the window does.
    const auto read = [](const char *tag, const QString &tree, const QString &role,
                         const QString &name, const QString &value, const QString &text,
                         const QString &relation, const QString &description) {
        QTest::newRow(tag) << tree << role << name << value << text << "showing"
                           << "" << relation << description;
    };
    row("window", m, "frame", "Pocketclips", "", "", "active", "", "");
    row("close", m, "push button", "閉じる", "", "", "enabled", "Press", "");
    row("minimise", m, "push button", "最小化", "", "", "enabled", "Press", "");
    row("guide", m, "push button", "ユーザーズガイド", "", "", "enabled", "Press", "");
    row("info", m, "push button", "info\\.", "", "", "enabled", "Press", "");
    row("clear", m, "push button", "Del", "", "", "enabled", "Press", "");
    row("convert", m, "push button", "\\[ 変換開始 \\]", "", "", "enabled", "Press", "");
    row("convert, empty list", e, "push button", "\\[ 変換開始 \\]", "", "", "!enabled", "Press",
        "");
    const QString drop = "\\[ ここにファイルをドロップ\\(複数可\\) \\]";
    row("drop panel", m, "push button", drop, "", "", "!showing", "", "");
    row("drop panel, empty list", e, "push button", drop, "", "", "showing", "Press", "");
    row("list", m, "list", "変換対象ファイル", "", "", "showing", "", "");
    // A combo box on Linux is named by its text and labelled through a
    // relation; Orca reads its label, then its description: the choice.
    read("preset", m, "combo box", "携帯標準 QCIF MPEG-4", "", "", "labelled by:おまかせ",
         "携帯標準 QCIF MPEG-4");
    read("frame rate", m, "spin button", "動画ﾌﾚｰﾑﾚｰﾄ", "30 [1..60]", "30 fps", "labelled by:(fps)",
         "動画のﾌﾚｰﾑﾚｰﾄ");
    read("video bit rate", m, "spin button", "動画ﾋﾞｯﾄﾚｰﾄ", "128 [8..768]", "128 kbps",
         "labelled by:動画ﾋﾞｯﾄﾚｰﾄ", "");
    read("audio bit rate", m, "spin button", "音声ﾋﾞｯﾄﾚｰﾄ", "32 [8..320]", "32 kbps",
         "labelled by:音声ﾋﾞｯﾄﾚｰﾄ", "");
    // A slider's number is what it sets; its text the scale mark beside it.
    read("sample rate", m, "slider", "音声ｻﾝﾌﾟﾙﾚｰﾄ", "44100 [8000..48000]", "44100Hz",
         "labelled by:(Hz)", "44100Hz");
    read("size", m, "slider", "ｻｲｽﾞ", "176 [176..640]", "176x144", "labelled by:ｻｲｽﾞ", "176x144");
    read("folder", m, "text", "保存先", "", m_dir.filePath("out"), "labelled by:保存先",
         "保存先のﾌｫﾙﾀﾞ");
    read("files added", m, "notification", "2 ファイル", "", "", "", "");
    read("file started", p, "notification", "clip1\\.avi -> clip1\\.3gp, 5KB -> \\d+KB", "", "", "",
         "");
    read("batch ended", e, "notification", "変換が終わりました（2 ファイル）", "", "", "", "");
    row("title label", m, "label", "動画ﾌﾚｰﾑﾚｰﾄ", "", "", "showing", "", "label for:動画ﾌﾚｰﾑﾚｰﾄ");
    row("folder, editable", m, "text", "保存先", "", m_dir.filePath("out"), "editable", "", "");
    row("folder label", m, "label", "保存先", "", "", "showing", "", "label for:保存先");
    row("browse", m, "push button", "参照", "", "", "showing", "Press", "");
    row("two-pass", m, "check box", "2パスエンコード\\(変換時間2倍\\)", "", "", "focusable",
        "Toggle", "");
    row("mono", m, "check box", "音声モノラル化", "", "", "focusable", "Toggle", "");
    row("progress window", p, "frame", "変換中", "", "", "showing", "", "");
    row("progress bar", p, "progress bar", "進行状況", "0 [0..2]", "", "showing", "", "");
    row("names", p, "label", "clip1\\.avi -> clip1\\.3gp", "", "", "showing", "", "");
    row("sizes", p, "label", "5KB -> \\d+KB", "", "", "showing", "", "");
    row("cancel", p, "push button", "ｷｬﾝｾﾙ", "", "", "enabled", "Press", "");
    row("box", b, "alert", "Pocketclips", "", "", "showing", "", "");
    row("box text", b, "label", "変換できない非対応ファイルが含まれていました。.*", "", "",
        "showing", "", "");
    row("box button", b, "push button", "OK", "", "", "focused", "Press", "");
}

void TestAccessibility::controls()
{
    QFETCH(QString, tree);
    QFETCH(QString, role);
    QFETCH(QString, name);
    QFETCH(QString, value);
    QFETCH(QString, text);
    QFETCH(QString, state);
    QFETCH(QString, action);
    QFETCH(QString, relation);
    QFETCH(QString, description);
    const QStringList node =
        Node(m_tree, tree, role, QRegularExpression(QRegularExpression::anchoredPattern(name)));
    QVERIFY2(!node.isEmpty(), qPrintable(role + " " + name + " not in the " + tree));
    QCOMPARE(node[3], value);
    QCOMPARE(node[4], text);
    const QStringList states = node[5].split(',');
    if (state.startsWith('!'))
        QVERIFY2(!states.contains(state.mid(1)), qPrintable(node[5]));
    else
        QVERIFY2(states.contains(state), qPrintable(node[5]));
    if (!action.isEmpty())
        QVERIFY2(node[6].split(',').contains(action), qPrintable(node[6]));
    if (!relation.isEmpty())
        QVERIFY2(node[7].split(',').contains(relation), qPrintable(node[7]));
    if (!description.isEmpty())
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(description))
                     .match(node[2])
                     .hasMatch(),
                 qPrintable(node[2]));
}

void TestAccessibility::changesAnnounced_data()
{
    QTest::addColumn<QString>("event"); // type, role, name, detail: a pattern
    QTest::newRow("file names") << "object:property-change:accessible-name\tlabel\t"
                                   "clip2\\.avi -> clip2\\.3gp\t.*";
    QTest::newRow("sizes") << "object:property-change:accessible-name\tlabel\t5KB -> \\d+KB\t.*";
    QTest::newRow("bar") << "object:property-change:accessible-value\tprogress bar\t進行状況\t.*";
}

void TestAccessibility::changesAnnounced()
{
    QFETCH(QString, event);
    const QRegularExpression pattern(QRegularExpression::anchoredPattern(event));
    QVERIFY2(!m_events.filter(pattern).isEmpty(), qPrintable(m_events.join('\n')));
}

void TestAccessibility::actionsDoTheJob()
{
    // Press on the convert button ran the encoder once per file, with the
    // values set through the spin button and the slider; Press on cancel
    // ended the first and discarded its output; Press on the convert button
    // while disabled ran nothing more; Press on the drop panel opened the file
    // dialog; Press on close ended the program.
    QVERIFY2(m_steps.value(m_steps.size() - 1) == "exit 0", qPrintable(m_steps.join(" / ")));
    QStringList conversions;
    for (const LoggedRun &run : ReadEncoderLog(m_dir.filePath("encoder.log")))
        if (run.args.last().endsWith(".3gp"))
            conversions << run.args.join(' ');
    QCOMPARE(conversions.size(), 2);
    QVERIFY2(conversions[0].contains(" -r 30 ") && conversions[0].contains(" -ar 44100 "),
             qPrintable(conversions[0]));
    QVERIFY(m_steps.contains("pressed cancel"));
    QVERIFY(!QFile::exists(m_dir.filePath("out/clip1.3gp")));
    QVERIFY(m_steps.contains("pressed disabled convert"));
    QVERIFY(m_steps.contains("file dialog"));
}

QTEST_GUILESS_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
