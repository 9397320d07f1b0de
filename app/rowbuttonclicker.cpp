#include "rowbuttonclicker.h"

#include "hosttoolkit.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QMouseEvent>

bool clickRowButton(QWidget* root, int row, int column, int button)
{
    auto* table = root ? root->findChild<WB::CStandardHpfTable*>() : nullptr;
    if (!table || !table->view())
        return false;
    auto* delegate = qobject_cast<WB::CBaseTableColumnMultiButtonsDelegate*>(table->columnDelegate(column));
    QAbstractItemView* view = table->view();
    const QModelIndex index = view->model() ? view->model()->index(row, column) : QModelIndex();
    if (!delegate || !index.isValid())
        return false;
    // The table's item model gives every cell its row key under the role after Qt::UserRole.
    const std::string key = index.data(Qt::UserRole + 1).toString().toStdString();
    const QVector<QRect> rects = delegate->buttonRects(key, view->visualRect(index));
    if (button < 0 || button >= rects.size())
        return false;
    const QPoint at = rects.at(button).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, view->viewport()->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, view->viewport()->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &press);
    QApplication::sendEvent(view->viewport(), &release);
    return true;
}
