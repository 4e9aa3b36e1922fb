#pragma once

#include "Dialogs.h"

#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// Records every message box and error box while it lives; nothing is shown.
class MessageRecorder
{
public:
    MessageRecorder();
    ~MessageRecorder();

    QStringList texts() const;
    QStringList errors() const; // texts of the error boxes only
    int count() const { return int(m_messages.size()); }
    void clear() { m_messages.clear(); }

private:
    QList<QPair<MessageKind, QString>> m_messages;
};

// Writes bytes to a file below dir, creating folders; returns the full path.
QString WriteFile(const QString &dir, const QString &relative, const QByteArray &bytes);
QByteArray ReadFile(const QString &path);

// The folder the program and its adapter are built into.
QString ProgramDir();

class QPixmap;
// Saves a widget picture, and a copy enlarged four times, under the folder named
// by PC_SHOT_DIR, for looking at by eye; does nothing when it is not set.
void SaveShot(const QPixmap &picture, const QString &name);

class QFont;
// A font of the forms' kind (face, character height in pixels, bold), drawn
// without anti-aliasing so that pixel tests see only the text colour.
QFont PixelFont(const QString &face, int pixelHeight, bool bold = false);

// One run of the fake encoder as it logged it: its process id and arguments.
struct LoggedRun
{
    qint64 pid = 0;
    QStringList args;
};
// The runs a fake encoder logged to a file, one line each.
QList<LoggedRun> ReadEncoderLog(const QString &path);

// A copy of a file of the build or the checkout (a full path) that every
// user can read, and run when the file is a program, for the parts of a test
// that run as another user: the checkout may lie in a folder only its owner
// can enter (a Debian home is 0700), or in root's home. The copies lie in one
// folder below the test's temporary folder (else /tmp, when others cannot
// enter that), made on the first call and removed when the test program
// ends; a file is copied once. In a run as nobody (RunAsNobody) it gives the
// copy that run was handed.
QString SharedCopy(const QString &path);

// Why this system cannot play the user "nobody": empty when it can (the test
// runs as root and nobody has an entry in the password database).
QString CannotPlayNobody();

// Root passes every permission check, so what an ordinary user meets is
// checked as the user "nobody": the test program runs one of its test
// functions again ("function:data tag") under that identity, with a home,
// settings, cache, runtime and temporary folder of nobody's own that are
// removed afterwards. The build's files that run needs (buildFiles, full
// paths) are handed to it as SharedCopy copies.
struct NobodyRun
{
    bool started = false; // false: whyNot says why it could not run as nobody
    bool passed = false;
    QString whyNot;
    QString output; // the test program's report
};
NobodyRun RunAsNobody(const QString &testFunction, const QStringList &buildFiles = {});
// The first thing main() does: a test program started by RunAsNobody takes
// the identity of nobody and drops "--as-nobody" from its command line.
void DropToNobodyWhenAsked(int &argc, char **argv);
// A program of the build (a full path) as this process can start it: the
// build's own file, or in a run as nobody the copy RunAsNobody handed it.
QString BuildProgram(const QString &path);

// Makes a process the test starts end when the test program ends, also when
// it is killed at its time limit: no X server, window manager or program of
// a test outlives it.
void EndWithTest(QProcess &process);

// A second ordinary user, for tests of what another user can do to this
// one's files: a shell of a user id without an account, started through
// setpriv while the test still runs as root (before it drops to nobody, say).
// Not started when the test does not run as root.
class OtherUser
{
public:
    static constexpr int Id = 54321;
    OtherUser();
    ~OtherUser();
    bool Started() const { return m_started; }
    // Runs a shell script as that user; its exit status, -1 when not started.
    int Run(const QString &script);

private:
    QProcess m_shell;
    bool m_started = false;
};

// Whether this process's child pid has ended, without reaping it.
bool ChildEnded(qint64 pid);

// A private X display (Xvfb on a free display number) for tests that need a
// real X server; it ends with the object, and with the test program.
class TestXServer
{
public:
    // Starts the server; Display() is empty when it did not come up.
    explicit TestXServer(const QString &screen = QStringLiteral("1024x768x24"));
    ~TestXServer();

    // ":N".
    QString Display() const { return m_display; }
    // Runs xdotool on this display and gives what it printed.
    QString Xdotool(const QStringList &arguments) const;

private:
    QProcess m_server;
    QString m_display;
};
