#include "host/windows/hostfonts.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>

namespace {

const char* const kRequestedFamilies[] = {"宋体", "微软雅黑", "SimSun", "Microsoft YaHei"};
const char* const kPreferredFamilies[] = {"Noto Sans CJK SC", "Noto Sans SC", "Noto Serif CJK SC",
                                          "WenQuanYi Micro Hei", "Droid Sans Fallback"};

} // namespace

QString HostFonts::preferredCjkFamily()
{
    const QStringList installed = QFontDatabase().families();
    for (const char* family : kPreferredFamilies) {
        if (installed.contains(QString::fromUtf8(family), Qt::CaseInsensitive))
            return QString::fromUtf8(family);
    }
    for (const QString& family : installed) {
        if (family.contains(QStringLiteral("CJK"), Qt::CaseInsensitive))
            return family;
    }
    return QString();
}

QString HostFonts::install()
{
    const QString family = preferredCjkFamily();
    if (family.isEmpty())
        return family;
    for (const char* requested : kRequestedFamilies)
        QFont::insertSubstitution(QString::fromUtf8(requested), family);
    QFont font = QApplication::font();
    font.setFamily(family);
    QApplication::setFont(font);
    return family;
}
