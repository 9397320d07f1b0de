#include "hosttoolkit.h"

#include "../buttoncolors.h"
#include "hpfcelldelegate.h"
#include "hpfitemmodel.h"
#include "hpfstyle.h"
#include "hpftableview.h"

#include <QAbstractItemView>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

namespace WB {

namespace {

const int kButtonHeight = 20;
const int kButtonMinWidth = 44;
const int kButtonTextPadding = 10;
const int kButtonSpacing = 6;
const int kCellPadding = 6;

QFont buttonFont(const QFont& base)
{
    QFont font = base;
    font.setPixelSize(12);
    return font;
}

int buttonWidth(const QFontMetrics& metrics, const ButtonData& button)
{
    return std::max(kButtonMinWidth, metrics.horizontalAdvance(button.text) + 2 * kButtonTextPadding);
}

std::string rowKeyOf(const QModelIndex& index)
{
    return index.data(CHpfItemModel::KeyRole).toString().toStdString();
}

void updateViewOf(const QStyleOptionViewItem& option)
{
    if (const auto* view = qobject_cast<const QAbstractItemView*>(option.widget))
        view->viewport()->update(option.rect);
}

// The receiver may run a modal dialog, during which the table and this delegate can be deleted:
// that must not happen inside the view's mouse handler, so the click is handed over from the
// event loop once the mouse event is over, and only while the delegate and the receiver live.
void postClick(QObject* delegate, CEventDeliverer* receiver, int column, int buttonId, const std::string& rowKey)
{
    const QString key = QString::fromStdString(rowKey);
    // A receiver that is no QObject cannot be watched; it has to outlive the delegate.
    const QPointer<QObject> watched(dynamic_cast<QObject*>(receiver));
    const bool isWatched = !watched.isNull();
    QMetaObject::invokeMethod(
        delegate,
        [receiver, watched, isWatched, column, buttonId, key] {
            if (isWatched && !watched)
                return;
            receiver->handleEvent(eEventRowButtonClicked, column, buttonId, key, nullptr);
        },
        Qt::QueuedConnection);
}

} // namespace

CBaseTableColumnMultiButtonsDelegate::CBaseTableColumnMultiButtonsDelegate(int column, CEventDeliverer* receiver)
    : QStyledItemDelegate(nullptr)
    , m_column(column)
    , m_receiver(receiver)
{
    setObjectName(QStringLiteral("hpfButtonsDelegate"));
}

CBaseTableColumnMultiButtonsDelegate::~CBaseTableColumnMultiButtonsDelegate() = default;

int CBaseTableColumnMultiButtonsDelegate::column() const
{
    return m_column;
}

void CBaseTableColumnMultiButtonsDelegate::setItemButtons(const std::string& rowKey, const QVector<ButtonData>& buttons,
                                                          bool repaint)
{
    if (buttons.isEmpty())
        m_buttons.erase(rowKey);
    else
        m_buttons[rowKey] = buttons;
    if (rowKey == m_hoverKey)
        m_hoverButton = -1;
    if (rowKey == m_pressKey) {
        m_pressKey.clear();
        m_pressButton = -1;
    }
    if (repaint) {
        if (auto* view = qobject_cast<QAbstractItemView*>(parent()))
            view->viewport()->update();
    }
}

QVector<ButtonData> CBaseTableColumnMultiButtonsDelegate::itemButtons(const std::string& rowKey) const
{
    const auto found = m_buttons.find(rowKey);
    return found == m_buttons.end() ? QVector<ButtonData>() : found->second;
}

void CBaseTableColumnMultiButtonsDelegate::clearItemButtons()
{
    m_buttons.clear();
    m_hoverKey.clear();
    m_hoverButton = -1;
    m_pressKey.clear();
    m_pressButton = -1;
    if (auto* view = qobject_cast<QAbstractItemView*>(parent()))
        view->viewport()->update();
}

QVector<QRect> CBaseTableColumnMultiButtonsDelegate::buttonRects(const std::string& rowKey, const QRect& cell) const
{
    QVector<QRect> rects;
    const auto found = m_buttons.find(rowKey);
    if (found == m_buttons.end() || found->second.isEmpty())
        return rects;
    const QFontMetrics metrics(buttonFont(QFont()));
    int total = 0;
    for (const ButtonData& button : found->second)
        total += buttonWidth(metrics, button);
    total += kButtonSpacing * (found->second.size() - 1);
    const int height = std::min(kButtonHeight, std::max(0, cell.height() - 4));
    // Centred; when the cell is too narrow the buttons start at its left edge and are clipped.
    int x = cell.left() + std::max(kCellPadding, (cell.width() - total) / 2);
    const int y = cell.top() + (cell.height() - height) / 2;
    for (const ButtonData& button : found->second) {
        const int w = buttonWidth(metrics, button);
        rects.append(QRect(x, y, w, height));
        x += w + kButtonSpacing;
    }
    return rects;
}

void CBaseTableColumnMultiButtonsDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                                 const QModelIndex& index) const
{
    CHpfTableView::paintCellBackground(painter, option, index);
    const std::string key = rowKeyOf(index);
    const auto found = m_buttons.find(key);
    if (found == m_buttons.end() || found->second.isEmpty()) {
        CHpfCellDelegate::paintCellText(painter, option, index);
        return;
    }
    const QVector<QRect> rects = buttonRects(key, option.rect);
    const QVector<ButtonData>& buttons = found->second;
    painter->save();
    painter->setClipRect(option.rect);
    painter->setRenderHint(QPainter::Antialiasing, true);
    const QFont font = buttonFont(QFont());
    painter->setFont(font);
    const QFontMetrics metrics(font);
    for (int i = 0; i < buttons.size(); ++i) {
        const ButtonData& button = buttons[i];
        const bool hover = key == m_hoverKey && i == m_hoverButton;
        const bool pressed = hover && key == m_pressKey && i == m_pressButton;
        const ButtonColors look = buttonColors(button.type, !button.disabled, hover, pressed);
        const QRectF r = QRectF(rects[i]).adjusted(0.5, 0.5, -0.5, -0.5);
        if (look.fill.isValid() || look.border.isValid()) {
            painter->setPen(look.border.isValid() ? QPen(look.border, 1) : Qt::NoPen);
            painter->setBrush(look.fill.isValid() ? QBrush(look.fill) : Qt::NoBrush);
            painter->drawRoundedRect(r, 3, 3);
        }
        QFont textFont = font;
        textFont.setUnderline(button.type == eLinkButton && hover && !button.disabled);
        painter->setFont(textFont);
        painter->setPen(look.text);
        painter->drawText(rects[i], Qt::AlignCenter | Qt::TextSingleLine,
                          metrics.elidedText(button.text, Qt::ElideRight, rects[i].width() - 4));
    }
    painter->restore();
}

QSize CBaseTableColumnMultiButtonsDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const std::string key = rowKeyOf(index);
    const auto found = m_buttons.find(key);
    if (found == m_buttons.end() || found->second.isEmpty()) {
        const QString text = index.data(Qt::DisplayRole).toString();
        return QSize(option.fontMetrics.horizontalAdvance(text) + 2 * CHpfStyle::cellPadding(), CHpfStyle::rowHeight());
    }
    const QFontMetrics metrics(buttonFont(QFont()));
    int total = 0;
    for (const ButtonData& button : found->second)
        total += buttonWidth(metrics, button);
    total += kButtonSpacing * (found->second.size() - 1) + 2 * kCellPadding;
    return QSize(total, CHpfStyle::rowHeight());
}

bool CBaseTableColumnMultiButtonsDelegate::editorEvent(QEvent* event, QAbstractItemModel*,
                                                       const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (event->type() == QEvent::Leave) {
        m_hoverKey.clear();
        m_hoverButton = -1;
        m_pressKey.clear();
        m_pressButton = -1;
        return false;
    }
    const bool mouse = event->type() == QEvent::MouseMove || event->type() == QEvent::MouseButtonPress ||
                       event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::MouseButtonDblClick;
    if (!mouse || !index.isValid())
        return false;
    auto* me = static_cast<QMouseEvent*>(event);
    const std::string key = rowKeyOf(index);
    const QVector<QRect> rects = buttonRects(key, option.rect);
    int hit = -1;
    for (int i = 0; i < rects.size(); ++i) {
        if (rects[i].contains(me->pos())) {
            hit = i;
            break;
        }
    }
    const QVector<ButtonData> buttons = itemButtons(key);
    const bool enabledHit = hit >= 0 && hit < buttons.size() && !buttons[hit].disabled;

    switch (event->type()) {
    case QEvent::MouseMove: {
        const int hover = enabledHit ? hit : -1;
        if (key != m_hoverKey || hover != m_hoverButton) {
            m_hoverKey = key;
            m_hoverButton = hover;
            updateViewOf(option);
        }
        return false;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (hit < 0 || me->button() != Qt::LeftButton)
            return false;
        if (enabledHit) {
            m_pressKey = key;
            m_pressButton = hit;
            m_hoverKey = key;
            m_hoverButton = hit;
            updateViewOf(option);
        }
        return true; // a press on a button, even a disabled one, does not select the row
    case QEvent::MouseButtonRelease: {
        if (me->button() != Qt::LeftButton || m_pressButton < 0)
            return false;
        const bool click = enabledHit && key == m_pressKey && hit == m_pressButton;
        m_pressKey.clear();
        m_pressButton = -1;
        updateViewOf(option);
        if (click && m_receiver)
            postClick(this, m_receiver, m_column, buttons[hit].id, key);
        return true;
    }
    default: return false;
    }
}

} // namespace WB
