#include "hosttoolkit.h"

#include "toolkitfont.h"

#include <QChildEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>

namespace WB {

namespace {
constexpr int kTickMs = 50;
constexpr int kDegreesPerTick = 24; // one turn in 0.75 s
constexpr int kSpinnerSize = 28;
constexpr int kCardPadding = 18;

const QColor& themeColor(const char* key)
{
    return *utils::CSingletonT<CUiResource>::instance()->getColor(QString::fromLatin1(key));
}
} // namespace

CLoadingMaskWidget::CLoadingMaskWidget(QString text, QWidget* parent)
    : QWidget(parent)
    , m_text(std::move(text))
    , m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("loadingMask"));
    setFont(toolkitFont());
    // Clicks that land on the veil end here instead of reaching the covered widgets' parent.
    setAttribute(Qt::WA_NoMousePropagation);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::BusyCursor);
    m_timer->setObjectName(QStringLiteral("loadingMaskTimer"));
    m_timer->setInterval(kTickMs);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + kDegreesPerTick) % 360;
        update();
    });
}

CLoadingMaskWidget::~CLoadingMaskWidget()
{
    if (m_target)
        m_target->removeEventFilter(this);
}

QString CLoadingMaskWidget::text() const
{
    return m_text;
}

void CLoadingMaskWidget::setText(const QString& text)
{
    m_text = text;
    update();
}

void CLoadingMaskWidget::attach(QWidget* w)
{
    if (!w)
        return;
    if (m_target && m_target != w) {
        m_target->removeEventFilter(this);
        disconnect(m_target, &QObject::destroyed, this, nullptr);
    }
    if (m_target != w) {
        m_target = w;
        // Forget a target that goes away while we cover it.
        connect(w, &QObject::destroyed, this, [this] {
            m_target = nullptr;
            hide();
        });
    }
    followTarget();
    raise();
    if (isVisible()) {
        // Already shown (attached twice): showEvent will not run again.
        m_target->installEventFilter(this);
        setFocus(Qt::OtherFocusReason);
    } else {
        show();
    }
}

QWidget* CLoadingMaskWidget::attachedTo() const
{
    return m_target;
}

void CLoadingMaskWidget::followTarget()
{
    if (!m_target)
        return;
    QWidget* host = parentWidget();
    QRect area;
    if (m_target == host)
        area = m_target->rect();
    else if (!host)
        area = QRect(m_target->mapToGlobal(QPoint(0, 0)), m_target->size());
    else if (host->isAncestorOf(m_target))
        area = QRect(m_target->mapTo(host, QPoint(0, 0)), m_target->size());
    else
        area = QRect(host->mapFromGlobal(m_target->mapToGlobal(QPoint(0, 0))), m_target->size());
    setGeometry(area);
}

bool CLoadingMaskWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_target) {
        switch (event->type()) {
        case QEvent::Resize:
        case QEvent::Move: followTarget(); break;
        default: break;
        }
    }
    // A widget added to our parent later stacks above us; get back on top.
    if (watched == parentWidget() && event->type() == QEvent::ChildAdded) {
        auto* child = static_cast<QChildEvent*>(event)->child();
        if (child != this && child->isWidgetType())
            QMetaObject::invokeMethod(
                this, [this] { raise(); }, Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

void CLoadingMaskWidget::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_target) {
        m_target->installEventFilter(this);
        followTarget();
    }
    if (parentWidget())
        parentWidget()->installEventFilter(this);
    raise();
    m_timer->start();
    // Taking the focus keeps typing away from the covered widgets.
    setFocus(Qt::OtherFocusReason);
}

void CLoadingMaskWidget::hideEvent(QHideEvent* event)
{
    m_timer->stop();
    if (m_target)
        m_target->removeEventFilter(this);
    if (parentWidget())
        parentWidget()->removeEventFilter(this);
    QWidget::hideEvent(event);
}

void CLoadingMaskWidget::keyPressEvent(QKeyEvent* event)
{
    // Everything, Escape included: closing a dialog under running work would lose its answer.
    event->accept();
}

bool CLoadingMaskWidget::focusNextPrevChild(bool)
{
    return true;
}

void CLoadingMaskWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), themeColor("clr_mask"));

    const QFontMetrics fm = fontMetrics();
    const int textWidth = m_text.isEmpty() ? 0 : fm.horizontalAdvance(m_text);
    const int cardWidth = qMin(width() - 8, qMax(kSpinnerSize, textWidth) + 2 * kCardPadding);
    const int cardHeight =
        qMin(height() - 8, kSpinnerSize + (m_text.isEmpty() ? 0 : 10 + fm.height()) + 2 * kCardPadding);
    if (cardWidth <= 0 || cardHeight <= 0)
        return;
    const QRectF card(QPointF((width() - cardWidth) / 2.0, (height() - cardHeight) / 2.0),
                      QSizeF(cardWidth, cardHeight));

    // A soft shadow under the card (a nine-grid picture, so its corners stay round), then the card.
    static const CImage shadow(QStringLiteral("img_card_shadow"));
    const QRect shadowRect = card.toAlignedRect().adjusted(-8, -8, 8, 8);
    shadow.drawImage(&painter, shadowRect.x(), shadowRect.y(), shadowRect.width(), shadowRect.height());
    painter.setBrush(themeColor("clr_mask_card"));
    painter.setPen(QPen(themeColor("clr_border_light"), 1));
    painter.drawRoundedRect(card.adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);

    const QRectF spinner(card.center().x() - kSpinnerSize / 2.0, card.top() + kCardPadding, kSpinnerSize, kSpinnerSize);
    const QRectF ring = spinner.adjusted(2, 2, -2, -2);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(themeColor("clr_border_light"), 3));
    painter.drawEllipse(ring);
    QPen arc(themeColor("clr_accent"), 3);
    arc.setCapStyle(Qt::RoundCap);
    painter.setPen(arc);
    // Qt measures arcs counter-clockwise in 1/16 degree; turn clockwise.
    painter.drawArc(ring, (90 - m_angle) * 16, -100 * 16);

    if (!m_text.isEmpty()) {
        painter.setPen(themeColor("cle_default"));
        const QRectF textRect(card.left() + 4, spinner.bottom() + 10, card.width() - 8, fm.height());
        painter.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine,
                         fm.elidedText(m_text, Qt::ElideRight, int(textRect.width())));
    }
}

} // namespace WB
