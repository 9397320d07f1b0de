#include "hosttoolkit.h"

#include <QHash>

namespace WB {

namespace {

// Images whose edges must not blur when stretched name their nine-grid here.
const QHash<QString, QMargins>& gridMargins()
{
    static const QHash<QString, QMargins> grids = {
        {QStringLiteral("img_card_shadow"), QMargins(14, 14, 14, 14)},
    };
    return grids;
}

} // namespace

CImage::CImage(QString key)
    : m_key(std::move(key))
{
    // Keys are plain names; anything that could walk the resource tree finds nothing.
    if (m_key.isEmpty() || m_key.contains(QLatin1Char('/')) || m_key.contains(QLatin1Char(':')))
        return;
    m_image = QImage(QStringLiteral(":/toolkit/images/%1.png").arg(m_key));
    if (!m_image.isNull())
        m_grid = gridMargins().value(m_key);
}

QString CImage::key() const
{
    return m_key;
}

} // namespace WB
