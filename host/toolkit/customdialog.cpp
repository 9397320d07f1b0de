#include "hosttoolkit.h"

#include "dialogclosebutton.h"

#include <QMouseEvent>
#include <QPainter>

namespace WB {

namespace {
constexpr int kTitleBarHeight = 32;
constexpr int kBorder = 1;
constexpr int kTitlePadding = 12;
} // namespace

CCustomDialog::CCustomDialog(QWidget* parent)
    : CBaseDialog(parent)
{
    setObjectName(QStringLiteral("customDialog"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    // The frame is painted here; a dialog's default palette fill would hide nothing but cost time.
    setAutoFillBackground(false);
    m_closeButton = new CDialogCloseButton(this);
    connect(m_closeButton, &QAbstractButton::clicked, this, &QDialog::reject);
}

CCustomDialog::~CCustomDialog() = default;

void CCustomDialog::setTitle(const QString& title)
{
    m_title = title;
    setWindowTitle(title);
    update(0, 0, width(), kTitleBarHeight);
}

QString CCustomDialog::title() const
{
    return m_title;
}

int CCustomDialog::titleBarHeight()
{
    return kTitleBarHeight;
}

void CCustomDialog::paintEvent(QPaintEvent*)
{
    auto* res = utils::CSingletonT<CUiResource>::instance();
    QPainter painter(this);
    painter.fillRect(rect(), *res->getColor("clr_dialog_background"));

    const QRect titleBar(0, 0, width(), kTitleBarHeight);
    painter.fillRect(titleBar, *res->getColor("clr_title_background"));
    painter.setPen(*res->getColor("clr_border_light"));
    painter.drawLine(0, kTitleBarHeight - 1, width() - 1, kTitleBarHeight - 1);

    QFont bold = font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.setPen(*res->getColor("clr_title_text"));
    const int closeWidth = m_closeButton ? m_closeButton->width() : 0;
    const QRect titleText = titleBar.adjusted(kTitlePadding, 0, -closeWidth - 4, 0);
    painter.drawText(titleText, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     QFontMetrics(bold).elidedText(m_title, Qt::ElideRight, titleText.width()));

    painter.setPen(*res->getColor("clr_border"));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void CCustomDialog::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && event->pos().y() < kTitleBarHeight) {
        m_dragging = true;
        m_dragOffset = event->globalPos() - frameGeometry().topLeft();
        event->accept();
        return;
    }
    CBaseDialog::mousePressEvent(event);
}

void CCustomDialog::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPos() - m_dragOffset);
        event->accept();
        return;
    }
    CBaseDialog::mouseMoveEvent(event);
}

void CCustomDialog::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_dragging && event->button() == Qt::LeftButton) {
        m_dragging = false;
        event->accept();
        return;
    }
    CBaseDialog::mouseReleaseEvent(event);
}

void CCustomDialog::resizeEvent(QResizeEvent* event)
{
    CBaseDialog::resizeEvent(event);
    if (m_closeButton) {
        const QSize hint = m_closeButton->sizeHint();
        // Inside the border, flush with the top right corner.
        m_closeButton->setGeometry(width() - kBorder - hint.width(), kBorder, hint.width(),
                                   kTitleBarHeight - kBorder - 1);
        m_closeButton->raise();
    }
}

} // namespace WB
