#include "dialogclosebutton.h"

#include "hosttoolkit.h"

#include <QPainter>

namespace WB {

CDialogCloseButton::CDialogCloseButton(QWidget* parent)
    : QPushButton(parent)
{
    setObjectName(QStringLiteral("dialogCloseButton"));
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::NoFocus);
    setToolTip(QStringLiteral("关闭"));
    setAccessibleName(QStringLiteral("关闭"));
}

QSize CDialogCloseButton::sizeHint() const
{
    return QSize(40, CCustomDialog::titleBarHeight());
}

void CDialogCloseButton::paintEvent(QPaintEvent*)
{
    auto* res = utils::CSingletonT<CUiResource>::instance();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool hot = isEnabled() && (underMouse() || isDown());
    if (hot) {
        QColor fill = *res->getColor("clr_close_hover");
        if (isDown())
            fill = fill.darker(115);
        painter.fillRect(rect(), fill);
    }
    QPen pen(hot ? *res->getColor("clr_button_text") : *res->getColor("clr_text_secondary"), 1.4);
    pen.setCapStyle(Qt::RoundCap);
    painter.setPen(pen);
    const QPointF c = QRectF(rect()).center();
    const qreal r = 4.5;
    painter.drawLine(QPointF(c.x() - r, c.y() - r), QPointF(c.x() + r, c.y() + r));
    painter.drawLine(QPointF(c.x() - r, c.y() + r), QPointF(c.x() + r, c.y() - r));
}

} // namespace WB
