#include "hosttoolkit.h"

#include "toolkitfont.h"

#include <QAbstractItemView>

namespace WB {

namespace {

const char kComboStyle[] =
    "WB--CComboBox { border: 1px solid %1; border-radius: 3px; padding: 0 22px 0 8px; background: %2; color: %3;"
    " min-height: 22px; }"
    "WB--CComboBox:hover, WB--CComboBox:focus, WB--CComboBox:on { border-color: %4; }"
    "WB--CComboBox:disabled { background: %5; color: %6; border-color: %7; }"
    "WB--CComboBox::drop-down { subcontrol-origin: padding; subcontrol-position: center right; width: 20px;"
    " border: none; }"
    "WB--CComboBox::down-arrow { image: url(:/toolkit/images/arrow_down.png); width: 10px; height: 6px; }"
    "WB--CComboBox::down-arrow:disabled { image: url(:/toolkit/images/arrow_down_disabled.png); }"
    "WB--CComboBox QAbstractItemView { border: 1px solid %1; background: %2; color: %3; outline: 0;"
    " selection-background-color: %8; selection-color: %3; padding: 2px; }";

} // namespace

CComboBox::CComboBox(int id, QWidget* parent)
    : QComboBox(parent)
    , m_id(id)
{
    setObjectName(QStringLiteral("combo%1").arg(id));
    setFont(toolkitFont());
    auto* res = utils::CSingletonT<CUiResource>::instance();
    setStyleSheet(QString::fromLatin1(kComboStyle)
                      .arg(res->getColor("clr_border")->name(), res->getColor("clr_dialog_background")->name(),
                           res->getColor("cle_default")->name(), res->getColor("clr_accent")->name(),
                           res->getColor("clr_title_background")->name(), res->getColor("clr_text_disabled")->name(),
                           res->getColor("clr_border_light")->name(), res->getColor("clr_hover")->name()));
    connect(this, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int index) { deliverEvent(parentWidget(), eEventComboChanged, m_id, index, QString(), nullptr); });
}

int CComboBox::id() const
{
    return m_id;
}

} // namespace WB
