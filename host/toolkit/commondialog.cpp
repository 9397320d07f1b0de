#include "hosttoolkit.h"

namespace WB {

CCommonDialog::CCommonDialog(QWidget* parent)
    : CCustomDialog(parent)
{
    setObjectName(QStringLiteral("commonDialog"));
}

CCommonDialog::~CCommonDialog() = default;

void CCommonDialog::setInnerWidget(QWidget* w)
{
    if (w == m_inner)
        return;
    QWidget* previous = m_inner;
    m_inner = w;
    if (w) {
        if (w->parentWidget() != this)
            w->setParent(this);
        // Below the title bar, inside the 1px border.
        setInnerStretchWidget(w, 1, titleBarHeight(), 1, 1);
    }
    if (previous) {
        previous->hide();
        previous->deleteLater();
    }
}

QWidget* CCommonDialog::innerWidget() const
{
    return m_inner;
}

} // namespace WB
