#include "Fonts.h"

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QStringList>

namespace {
// Wine's Tahoma is installed without being registered with fontconfig.
constexpr const char *WineFontDir = "/usr/share/wine/fonts/";
} // namespace

void InstallFontSubstitutes()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    for (const char *file : {"tahoma.ttf", "tahomabd.ttf"}) {
        const QString path = QLatin1String(WineFontDir) + QLatin1String(file);
        if (QFile::exists(path))
            QFontDatabase::addApplicationFont(path);
    }
    QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"),
                               {QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                                QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Sans Serif")});
    QFont::insertSubstitutions(QStringLiteral("Tahoma"),
                               {QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
    QFont::insertSubstitutions(QStringLiteral("Arial"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
}
