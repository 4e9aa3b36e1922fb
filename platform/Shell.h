#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// Opens a file or a web address with the user's default application.
void ShellOpen(const QString &fileOrUrl);

// Runs a program found on PATH, hidden and detached, stdin from /dev/null,
// output discarded, not waited for. False when it could not be started.
bool ShellRun(const QString &program, const QStringList &arguments);

// Tests see the shell's requests instead of the desktop acting on them.
struct ShellHooks
{
    std::function<void(const QString &)> open;
    std::function<bool(const QString &, const QStringList &)> run;
};
void SetShellHooks(ShellHooks hooks);
