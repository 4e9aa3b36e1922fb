#include "DesignFonts.h"

#include <QFile>
#include <QFontDatabase>
#include <QStringList>

namespace {
const char *const wineFontFolders[] = {"/usr/share/wine/fonts", "/usr/lib/wine/fonts",
                                       "/opt/wine/share/wine/fonts"};
} // namespace

void InstallDesignFonts()
{
    static bool done = false;
    if (done)
        return;
    done = true;

    bool haveTahoma = QFontDatabase::families().contains(QStringLiteral("Tahoma"));
    for (const char *folder : wineFontFolders) {
        if (haveTahoma)
            break;
        for (const char *file : {"tahoma.ttf", "tahomabd.ttf"}) {
            const QString path = QString::fromLatin1(folder) + '/' + QString::fromLatin1(file);
            if (QFile::exists(path) && QFontDatabase::addApplicationFont(path) >= 0)
                haveTahoma = true;
        }
    }
    if (!haveTahoma)
        QFont::insertSubstitutions(QStringLiteral("Tahoma"),
                                   {QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});

    const QString msPGothic = QString::fromUtf8("ＭＳ Ｐゴシック");
    QFont::insertSubstitutions(
        msPGothic,
        {QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"), QStringLiteral("Sans Serif")});
}

QFont DesignFont(const QString &face, int pixelHeight, bool bold)
{
    QFont font(face);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}
