#include "panefwinit.h"

#include <QFontDatabase>
#include <QStringList>

namespace panefw {
namespace {

const char* const kCjkSans = "Noto Sans CJK SC";
const char* const kCjkSerif = "Noto Serif CJK SC";

} // namespace

void initialize()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    const QStringList sans = {QString::fromLatin1(kCjkSans), QStringLiteral("WenQuanYi Micro Hei"),
                              QStringLiteral("DejaVu Sans")};
    const QStringList serif = {QString::fromLatin1(kCjkSerif), QString::fromLatin1(kCjkSans),
                               QStringLiteral("DejaVu Serif")};
    const QStringList sansFamilies = {QStringLiteral("微软雅黑"), QStringLiteral("Microsoft YaHei"),
                                      QStringLiteral("黑体"), QStringLiteral("SimHei"),
                                      QStringLiteral("Tahoma")};
    for (const QString& family : sansFamilies)
        QFont::insertSubstitutions(family, sans);
    // The layouts' serif face is used for UI text; a sans CJK face reads better at small sizes.
    QFont::insertSubstitutions(QStringLiteral("宋体"), sans);
    QFont::insertSubstitutions(QStringLiteral("SimSun"), sans);
    QFont::insertSubstitutions(QStringLiteral("新宋体"), serif);
    QFont::insertSubstitutions(
        QStringLiteral("Arial"),
        {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans"), QString::fromLatin1(kCjkSans)});
}

QFont defaultFont()
{
    // Widgets made in code, before any layout is loaded, still get the substitutions.
    initialize();
    QFont font(QString::fromLatin1(kCjkSans));
    font.setPixelSize(12);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

} // namespace panefw
