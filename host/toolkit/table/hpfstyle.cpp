#include "hpfstyle.h"

#include "hosttoolkit.h"

namespace WB {

QColor CHpfStyle::color(const QString& key, const QColor& fallback)
{
    CUiResource* resource = utils::CSingletonT<CUiResource>::instance();
    const QColor* found = resource->getColor(key);
    const QColor* unknown = resource->getColor(QStringLiteral("hpf.no-such-colour"));
    if (!found || (unknown && *found == *unknown))
        return fallback;
    return *found;
}

QColor CHpfStyle::headerBackground()
{
    return color(QStringLiteral("clr_header_background"), QColor(0xF2, 0xF4, 0xF7));
}

QColor CHpfStyle::headerText()
{
    return color(QStringLiteral("clr_header_text"), QColor(0x3A, 0x42, 0x4E));
}

QColor CHpfStyle::headerLine()
{
    return color(QStringLiteral("clr_border_light"), QColor(0xD5, 0xDA, 0xE1));
}

QColor CHpfStyle::gridLine()
{
    return color(QStringLiteral("clr_table_grid"), QColor(0xE8, 0xEB, 0xEF));
}

QColor CHpfStyle::selection()
{
    return color(QStringLiteral("clr_selection"), QColor(0xCC, 0xE0, 0xFA));
}

QColor CHpfStyle::hover()
{
    return color(QStringLiteral("clr_hover"), QColor(0xE9, 0xF2, 0xFD));
}

QColor CHpfStyle::accent()
{
    return color(QStringLiteral("clr_accent"), QColor(0x1E, 0x6F, 0xD9));
}

QColor CHpfStyle::tableBackground()
{
    return color(QStringLiteral("clr_table_background"), QColor(Qt::white));
}

} // namespace WB
