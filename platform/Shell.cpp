#include "Shell.h"

#include "Process.h"

#include <QDesktopServices>
#include <QUrl>

namespace {
ShellHooks &hooks()
{
    static ShellHooks h;
    return h;
}
} // namespace

void SetShellHooks(ShellHooks h)
{
    hooks() = std::move(h);
}

void ShellOpen(const QString &fileOrUrl)
{
    if (hooks().open) {
        hooks().open(fileOrUrl);
        return;
    }
    const QUrl url =
        fileOrUrl.contains(QLatin1String("://")) ? QUrl(fileOrUrl) : QUrl::fromLocalFile(fileOrUrl);
    QDesktopServices::openUrl(url);
}

bool ShellRun(const QString &program, const QStringList &arguments)
{
    if (hooks().run)
        return hooks().run(program, arguments);
    // Not through QProcess: it would encode a file name that is not UTF-8
    // with replacement characters.
    return ChildProcess::StartDetached(program, arguments);
}
