#include "hosttoolkit.h"

#include "toolkitfont.h"

#include "elidedtooltip.h"

#include <QPainter>

namespace WB {

namespace {
constexpr int kPadding = 2;

bool isSingleLine(int flags)
{
    return (flags & Qt::TextSingleLine) || !(flags & Qt::TextWordWrap);
}
} // namespace

CSimpleTextWidget::CSimpleTextWidget(QString text, QWidget* parent)
    : QWidget(parent)
    , m_text(std::move(text))
{
    setObjectName(QStringLiteral("simpleText"));
    setFont(toolkitFont());
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    new CElidedToolTip(
        this, [this] { return m_text; },
        [this] {
            if (!isSingleLine(m_flags))
                return false;
            return fontMetrics().horizontalAdvance(m_text) > width() - 2 * kPadding;
        });
}

void CSimpleTextWidget::setText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    updateGeometry();
    update();
}

QString CSimpleTextWidget::text() const
{
    return m_text;
}

void CSimpleTextWidget::setFlag(int flags)
{
    m_flags = flags;
    updateGeometry();
    update();
}

int CSimpleTextWidget::flag() const
{
    return m_flags;
}

QSize CSimpleTextWidget::sizeHint() const
{
    const QFontMetrics fm = fontMetrics();
    return QSize(fm.horizontalAdvance(m_text) + 2 * kPadding, fm.height() + 2 * kPadding);
}

void CSimpleTextWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    auto* res = utils::CSingletonT<CUiResource>::instance();
    painter.setPen(*res->getColor(isEnabled() ? "cle_default" : "clr_text_disabled"));
    const QRect area = rect().adjusted(kPadding, 0, -kPadding, 0);
    if (isSingleLine(m_flags)) {
        const QString shown = fontMetrics().elidedText(m_text, Qt::ElideRight, area.width());
        painter.drawText(area, m_flags | Qt::TextSingleLine, shown);
    } else {
        painter.drawText(area, m_flags, m_text);
    }
}

} // namespace WB
