#include "hosttoolkit.h"

#include "uiresourcechangehandler.h"

#include <QStringList>

#include <algorithm>

namespace WB {

namespace {

struct NamedColor
{
    const char* key;
    QColor color;
};

// The light theme. Keys are shared with the plug-ins, so names stay as they are ("cle_default"
// included).
const NamedColor kLightTheme[] = {
    {"cle_default", QColor(0x22, 0x22, 0x22)},
    {"clr_text_secondary", QColor(0x6B, 0x72, 0x80)},
    {"clr_text_disabled", QColor(0xA8, 0xAE, 0xB8)},
    {"clr_window_background", QColor(0xFC, 0xFC, 0xFC)},
    {"clr_dialog_background", QColor(0xFF, 0xFF, 0xFF)},
    {"clr_table_background", QColor(0xFF, 0xFF, 0xFF)},
    {"clr_table_background2", QColor(0xF5, 0xF8, 0xFC)},
    {"clr_table_grid", QColor(0xE6, 0xEA, 0xF0)},
    {"clr_header_background", QColor(0xF2, 0xF5, 0xF9)},
    {"clr_header_text", QColor(0x33, 0x3A, 0x45)},
    {"clr_selection", QColor(0xD6, 0xE6, 0xFB)},
    {"clr_selection_text", QColor(0x11, 0x11, 0x11)},
    {"clr_hover", QColor(0xEB, 0xF2, 0xFD)},
    {"clr_border", QColor(0xC9, 0xD0, 0xD9)},
    {"clr_border_light", QColor(0xE3, 0xE7, 0xED)},
    {"clr_accent", QColor(0x1E, 0x6F, 0xD9)},
    {"clr_accent_hover", QColor(0x3A, 0x84, 0xE6)},
    {"clr_accent_pressed", QColor(0x17, 0x5A, 0xB3)},
    {"clr_accent_disabled", QColor(0xA7, 0xC4, 0xEC)},
    {"clr_button_text", QColor(0xFF, 0xFF, 0xFF)},
    {"clr_button_background", QColor(0xFF, 0xFF, 0xFF)},
    {"clr_button_pressed", QColor(0xE9, 0xEE, 0xF5)},
    {"clr_red", QColor(0xD9, 0x36, 0x3E)},
    {"clr_red_hover", QColor(0xE5, 0x55, 0x5C)},
    {"clr_red_pressed", QColor(0xB5, 0x27, 0x2E)},
    {"clr_red_disabled", QColor(0xEE, 0xB0, 0xB3)},
    {"clr_green", QColor(0x1A, 0x9E, 0x5C)},
    {"clr_mask", QColor(255, 255, 255, 190)},
    {"clr_mask_card", QColor(0xFF, 0xFF, 0xFF)},
    {"clr_title_background", QColor(0xF5, 0xF7, 0xFA)},
    {"clr_title_text", QColor(0x1F, 0x29, 0x37)},
    {"clr_close_hover", QColor(0xE8, 0x4A, 0x4A)},
};

} // namespace

CUiResource::CUiResource()
    : m_fallback(0xFF, 0x00, 0xFF)
{
    for (const NamedColor& entry : kLightTheme)
        m_colors.emplace(entry.key, std::make_unique<QColor>(entry.color));
}

const QColor* CUiResource::getColor(const QString& key)
{
    const auto it = m_colors.find(key.toStdString());
    return it == m_colors.end() ? &m_fallback : it->second.get();
}

void CUiResource::setColor(const QString& key, const QColor& color)
{
    // Updated in place: callers keep the pointers getColor gave them.
    std::unique_ptr<QColor>& slot = m_colors[key.toStdString()];
    if (slot)
        *slot = color;
    else
        slot = std::make_unique<QColor>(color);
    uiResourceHandlers::notifyAll();
}

QStringList CUiResource::colorKeys() const
{
    QStringList keys;
    keys.reserve(int(m_colors.size()));
    for (const auto& entry : m_colors)
        keys << QString::fromStdString(entry.first);
    keys.sort();
    return keys;
}

} // namespace WB

namespace utils {
template <>
WB::CUiResource* CSingletonT<WB::CUiResource>::instance()
{
    static WB::CUiResource theInstance;
    return &theInstance;
}
} // namespace utils
