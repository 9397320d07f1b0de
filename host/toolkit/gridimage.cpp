#include "hosttoolkit.h"

#include <QPainter>

namespace WB {

CGridImage::~CGridImage() = default;

void CGridImage::drawImage(QPainter* painter, int x, int y, int w, int h) const
{
    if (!painter || m_image.isNull() || w <= 0 || h <= 0)
        return;
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect target(x, y, w, h);
    const QMargins g = m_grid;
    const QSize source = m_image.size();
    const bool gridFits = g.left() + g.right() < source.width() && g.top() + g.bottom() < source.height();
    if (g.isNull() || !gridFits) {
        painter->drawImage(target, m_image);
        painter->restore();
        return;
    }

    // Nine-grid: corners at their own size (shrunk evenly when the target is smaller), edges
    // stretched along one axis, the middle along both.
    const qreal sx = qMin<qreal>(1.0, qreal(w) / (g.left() + g.right()));
    const qreal sy = qMin<qreal>(1.0, qreal(h) / (g.top() + g.bottom()));
    const int tl = qRound(g.left() * sx), tr = qRound(g.right() * sx);
    const int tt = qRound(g.top() * sy), tb = qRound(g.bottom() * sy);

    const int srcX[4] = {0, g.left(), source.width() - g.right(), source.width()};
    const int srcY[4] = {0, g.top(), source.height() - g.bottom(), source.height()};
    const int dstX[4] = {x, x + tl, x + w - tr, x + w};
    const int dstY[4] = {y, y + tt, y + h - tb, y + h};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const QRect src(QPoint(srcX[col], srcY[row]), QPoint(srcX[col + 1] - 1, srcY[row + 1] - 1));
            const QRect dst(QPoint(dstX[col], dstY[row]), QPoint(dstX[col + 1] - 1, dstY[row + 1] - 1));
            if (src.isValid() && dst.isValid())
                painter->drawImage(dst, m_image, src);
        }
    }
    painter->restore();
}

bool CGridImage::isNull() const
{
    return m_image.isNull();
}

QSize CGridImage::size() const
{
    return m_image.size();
}

} // namespace WB
