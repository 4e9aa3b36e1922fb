#include "Fonts.h"

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QStringList>
#include <QVariant>
#include <QWidget>

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

void ApplyFormFonts(QWidget *form)
{
    QList<QWidget *> widgets = form->findChildren<QWidget *>();
    widgets.prepend(form);
    for (QWidget *w : widgets) {
        const QVariant px = w->property("pixelSize");
        if (!px.isValid())
            continue;
        QFont f = w->font();
        f.setPixelSize(px.toInt());
        w->setFont(f);
    }
}
