#include "Shell.h"

#include <QDesktopServices>
#include <QProcess>
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
    const QUrl url = fileOrUrl.contains(QLatin1String("://")) ? QUrl(fileOrUrl)
                                                              : QUrl::fromLocalFile(fileOrUrl);
    QDesktopServices::openUrl(url);
}

bool ShellRun(const QString &program, const QStringList &arguments)
{
    if (hooks().run)
        return hooks().run(program, arguments);
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    return process.startDetached();
}
