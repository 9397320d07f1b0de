#include "hosttoolkit.h"

#include "toolkitfont.h"

#include "controlcharstripper.h"
#include "elidedtooltip.h"
#include "readonlyrepolisher.h"

#include <QEvent>
#include <QStyle>
#include <QStyleOptionFrame>

namespace DVK {

namespace {

const char kLineEditStyle[] =
    "DVK--CSafeLineEdit { border: 1px solid %1; border-radius: 3px; padding: 0 6px; background: %2; color: %3;"
    " selection-background-color: %4; selection-color: %3; }"
    "DVK--CSafeLineEdit:hover { border-color: %5; }"
    "DVK--CSafeLineEdit:focus { border-color: %5; }"
    "DVK--CSafeLineEdit[readOnly=\"true\"] { background: %6; color: %7; border-color: %8; }"
    "DVK--CSafeLineEdit:disabled { background: %6; color: %9; }";

} // namespace

CSafeLineEdit::CSafeLineEdit(int id, QWidget* parent)
    : WB::CEventWidgetT<QLineEdit>(parent)
    , m_id(id)
{
    setObjectName(QStringLiteral("safeLineEdit%1").arg(id));
    setFont(WB::toolkitFont());
    setValidator(new CControlCharStripper(this));
    // setText bypasses the validator; clean what it brings in too.
    connect(this, &QLineEdit::textChanged, this, [this](const QString& text) {
        const QString clean = CControlCharStripper::stripped(text);
        if (clean.size() != text.size())
            setText(clean);
    });

    auto* res = utils::CSingletonT<WB::CUiResource>::instance();
    setStyleSheet(QString::fromLatin1(kLineEditStyle)
                      .arg(res->getColor("clr_border")->name(), res->getColor("clr_dialog_background")->name(),
                           res->getColor("cle_default")->name(), res->getColor("clr_selection")->name(),
                           res->getColor("clr_accent")->name(), res->getColor("clr_title_background")->name(),
                           res->getColor("clr_text_secondary")->name(), res->getColor("clr_border_light")->name(),
                           res->getColor("clr_text_disabled")->name()));
    new WB::CReadOnlyRepolisher(this);

    new WB::CElidedToolTip(
        this, [this] { return text(); },
        [this] {
            QStyleOptionFrame option;
            initStyleOption(&option);
            const QRect contents =
                style()->subElementRect(QStyle::SE_LineEditContents, &option, this).marginsRemoved(textMargins());
            // QLineEdit keeps a couple of pixels of horizontal margin inside its contents.
            return fontMetrics().horizontalAdvance(text()) > contents.width() - 4;
        });
}

int CSafeLineEdit::id() const
{
    return m_id;
}

} // namespace DVK
