#include "hpfstyle.h"

#include "hosttoolkit.h"

namespace WB {

QColor CHpfStyle::color(const QString& key)
{
    return *utils::CSingletonT<CUiResource>::instance()->getColor(key);
}

QColor CHpfStyle::headerBackground()
{
    return color(QStringLiteral("clr_header_background"));
}

QColor CHpfStyle::headerText()
{
    return color(QStringLiteral("clr_header_text"));
}

QColor CHpfStyle::headerLine()
{
    return color(QStringLiteral("clr_border_light"));
}

QColor CHpfStyle::gridLine()
{
    return color(QStringLiteral("clr_table_grid"));
}

QColor CHpfStyle::selection()
{
    return color(QStringLiteral("clr_selection"));
}

QColor CHpfStyle::hover()
{
    return color(QStringLiteral("clr_hover"));
}

QColor CHpfStyle::accent()
{
    return color(QStringLiteral("clr_accent"));
}

QColor CHpfStyle::tableBackground()
{
    return color(QStringLiteral("clr_table_background"));
}

} // namespace WB
