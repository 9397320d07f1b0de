#pragma once
// The state CStandardHpfTable's sources share: its view, header, item model and the column
// bookkeeping behind the layout and the menus; and the table's set-up steps and the slots its
// header, view and context menu call.

#include "hosttoolkit.h"

#include "hpfheaderview.h"
#include "hpfitemmodel.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QVector>

class QAction;
class QMenu;

namespace WB {

class CHpfCellDelegate;
class CHpfFilterMenu;
class CHpfTableView;

struct CStandardHpfTable::Private : public QObject
{
    Q_OBJECT
public:
    explicit Private(CStandardHpfTable* table, EBaseTableMenuFlags menuFlags);

    // Set-up, in this order.
    void createView();
    void applyLook();
    void connectSignals();
    void createContextMenu();

    CHpfTableView* view = nullptr;
    CHpfHeaderView* header = nullptr;
    CHpfItemModel* itemModel = nullptr;
    CHpfCellDelegate* cellDelegate = nullptr;
    EBaseTableFlags flags;
    EBaseTableMenuFlags menuFlags;
    QSet<int> filterable;
    QHash<int, QAbstractItemDelegate*> delegates;
    // Per column: the last width it had while shown, and whether the program wants it shown.
    QVector<int> widths;
    QVector<bool> defaultVisible;
    QHash<int, bool> pendingVisible; // set before the model gave the columns
    // Columns the program hid (a missing right, say) stay hidden whatever a saved layout says;
    // the layout keeps the user's own choice for them, for when the program shows them again.
    QSet<int> hiddenByProgram;
    QHash<int, bool> userVisible;
    QMenu* columnsMenu = nullptr;
    QAction* copyAction = nullptr;
    QAction* clearFiltersAction = nullptr;
    // The filter menu lives until it closes; the table may be gone first.
    QPointer<CHpfFilterMenu> filterMenu;

    int columnCount() const { return itemModel->columnCount(); }
    bool isButtonColumn(int column) const
    {
        return qobject_cast<CBaseTableColumnMultiButtonsDelegate*>(delegates.value(column)) != nullptr;
    }
    // Shown columns in the order they stand.
    QVector<int> shownColumns(bool withButtons) const
    {
        QVector<int> columns;
        for (int visual = 0; visual < header->count(); ++visual) {
            const int logical = header->logicalIndex(visual);
            if (logical < 0 || header->isSectionHidden(logical))
                continue;
            if (!withButtons && isButtonColumn(logical))
                continue;
            columns.append(logical);
        }
        return columns;
    }

private slots:
    void sortBySection(int logical);
    void rememberWidth(int logical, int oldSize, int newSize);
    void openFilterMenu(int column, const QPoint& globalPos);
    void showContextMenu(const QPoint& pos);
    // The context menu's actions.
    void copySelection();
    void exportToFile();
    void fillColumnsMenu();
    void clearFilters();
    void selectAll();
    void requestRefresh();
    void resetLayout();

private:
    CStandardHpfTable* const q;
};

} // namespace WB
