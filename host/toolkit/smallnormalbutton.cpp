#include "hosttoolkit.h"

#include "buttoncolors.h"
#include "toolkitfont.h"

#include <QPainter>
#include <QPainterPath>

namespace WB {

namespace {

ENormalButtonType typeFromInt(int type)
{
    return type >= eNormalButton && type <= eLinkButton ? ENormalButtonType(type) : eNormalButton;
}

} // namespace

CSmallNormalButton::CSmallNormalButton(int id, bool deliverEvents, ENormalButtonType type, QWidget* parent)
    : QPushButton(parent)
    , m_id(id)
    , m_deliverEvents(deliverEvents)
    , m_type(typeFromInt(type))
{
    setObjectName(QStringLiteral("button%1").arg(id));
    setFont(toolkitFont());
    setAttribute(Qt::WA_Hover);
    // Only keyboard focus draws a focus ring, so a click leaves no ring behind.
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (m_deliverEvents)
            deliverEvent(parentWidget(), eEventButtonClicked, m_id, 0, QString(), nullptr);
    });
}

CSmallNormalButton::CSmallNormalButton(int id, bool deliverEvents, int type, QWidget* parent)
    : CSmallNormalButton(id, deliverEvents, typeFromInt(type), parent)
{
}

int CSmallNormalButton::id() const
{
    return m_id;
}

ENormalButtonType CSmallNormalButton::buttonType() const
{
    return m_type;
}

void CSmallNormalButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    const bool enabled = isEnabled();
    const bool pressed = enabled && (isDown() || isChecked());
    const bool hovered = enabled && underMouse();
    const ButtonColors colors = buttonColors(m_type, enabled, hovered, pressed);

    // Half-pixel inset keeps a 1px border crisp.
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = qMin<qreal>(4.0, frame.height() / 2);
    if (colors.fill.isValid() || colors.border.isValid()) {
        painter.setPen(colors.border.isValid() ? QPen(colors.border, 1) : Qt::NoPen);
        painter.setBrush(colors.fill.isValid() ? QBrush(colors.fill) : Qt::NoBrush);
        painter.drawRoundedRect(frame, radius, radius);
    }
    if (hasFocus()) {
        QColor ring = *utils::CSingletonT<CUiResource>::instance()->getColor(QStringLiteral("clr_accent"));
        ring.setAlpha(110);
        painter.setPen(QPen(ring, 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(frame.adjusted(2, 2, -2, -2), radius - 1, radius - 1);
    }

    QFont f = font();
    if (m_type == eLinkButton && hovered)
        f.setUnderline(true);
    painter.setFont(f);
    painter.setPen(colors.text);
    const QRect textRect = rect().adjusted(4, 0, -4, 0);
    QRect contentRect = textRect;
    if (!icon().isNull()) {
        // Icon and text centred together as one group.
        const QSize is = iconSize();
        const int textWidth = text().isEmpty() ? 0 : fontMetrics().horizontalAdvance(text()) + 4;
        const int groupWidth = qMin(textRect.width(), is.width() + textWidth);
        const int x = textRect.x() + (textRect.width() - groupWidth) / 2;
        const QRect iconRect(x, (height() - is.height()) / 2, is.width(), is.height());
        icon().paint(&painter, iconRect, Qt::AlignCenter, enabled ? QIcon::Normal : QIcon::Disabled);
        contentRect = QRect(iconRect.right() + 5, 0, textRect.right() - iconRect.right() - 4, height());
        painter.drawText(contentRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         fontMetrics().elidedText(text(), Qt::ElideRight, contentRect.width()));
        return;
    }
    painter.drawText(contentRect, Qt::AlignCenter | Qt::TextSingleLine,
                     fontMetrics().elidedText(text(), Qt::ElideRight, contentRect.width()));
}

} // namespace WB
