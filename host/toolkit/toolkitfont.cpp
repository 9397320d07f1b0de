#include "toolkitfont.h"

#include <QGuiApplication>

namespace WB {

QFont toolkitFont()
{
    QFont font = QGuiApplication::font();
    font.setFamilies({QStringLiteral("Microsoft YaHei"), QStringLiteral("PingFang SC"),
                      QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei"), font.family()});
    font.setPixelSize(12);
    return font;
}

} // namespace WB
