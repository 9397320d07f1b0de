#include "buttoncolors.h"

namespace WB {

namespace {

QColor color(const char* key)
{
    return *utils::CSingletonT<CUiResource>::instance()->getColor(QString::fromLatin1(key));
}

} // namespace

ButtonColors buttonColors(ENormalButtonType type, bool enabled, bool hovered, bool pressed)
{
    switch (type) {
    case eBlueButton:
    case eRedButton: {
        const bool blue = type == eBlueButton;
        QColor fill = color(blue ? "clr_accent" : "clr_red");
        if (!enabled)
            fill = color(blue ? "clr_accent_disabled" : "clr_red_disabled");
        else if (pressed)
            fill = color(blue ? "clr_accent_pressed" : "clr_red_pressed");
        else if (hovered)
            fill = color(blue ? "clr_accent_hover" : "clr_red_hover");
        return {fill, QColor(), color("clr_button_text")};
    }
    case eLinkButton: {
        QColor text = color("clr_accent");
        if (!enabled)
            text = color("clr_text_disabled");
        else if (pressed)
            text = color("clr_accent_pressed");
        else if (hovered)
            text = color("clr_accent_hover");
        return {QColor(), QColor(), text};
    }
    case eNormalButton:
    default:
        if (!enabled)
            return {color("clr_title_background"), color("clr_border_light"), color("clr_text_disabled")};
        if (pressed)
            return {color("clr_button_pressed"), color("clr_accent_pressed"), color("clr_accent_pressed")};
        if (hovered)
            return {color("clr_button_background"), color("clr_accent"), color("clr_accent")};
        return {color("clr_button_background"), color("clr_border"), color("cle_default")};
    }
}

} // namespace WB
