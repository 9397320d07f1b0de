#include "hosttoolkit.h"

#include "hpfcelldelegate.h"
#include "hpffiltermenu.h"
#include "hpflayout.h"
#include "hpftableview.h"
#include "standardhpftable_p.h"

#include <QItemSelectionModel>
#include <QSet>

#include <algorithm>

namespace WB {

namespace {

// adjustColumnWidth measures at most this many rows, so it costs the same at 100k rows.
const int kFitSampleRows = 500;
const int kFitMaxWidth = 600;

} // namespace

CStandardHpfTable::~CStandardHpfTable()
{
    if (d->filterMenu)
        delete d->filterMenu.data();
    // The table owns its model; one deleted before the table has already let go of it.
    IBaseHpfTableModel* model = d->itemModel->source();
    d->view->setModel(nullptr);
    d->itemModel->setSource(nullptr);
    delete model;
}

EBaseTableFlags CStandardHpfTable::flag() const
{
    return d->flags;
}

void CStandardHpfTable::setFlag(EBaseTableFlags flags)
{
    d->flags = flags;
    d->itemModel->setAlternateRows(flags & eTableAlternateRows);
    d->view->setShowGrid(flags & eTableGridLines);
    d->view->verticalHeader()->setVisible(flags & eTableRowNumbers);
    d->view->setSelectionMode((flags & eTableMultiSelect) ? QAbstractItemView::ExtendedSelection
                                                          : QAbstractItemView::SingleSelection);
    d->view->setHoverRowEnabled(flags & eTableHoverRow);
    d->view->viewport()->update();
}

EBaseTableMenuFlags CStandardHpfTable::menuFlags() const
{
    return d->menuFlags;
}

void CStandardHpfTable::setDataModel(IBaseHpfTableModel* model)
{
    IBaseHpfTableModel* previous = d->itemModel->source();
    d->itemModel->setSource(model);
    if (previous != model)
        delete previous;
    for (int column = 0; column < d->columnCount(); ++column)
        d->header->setColumnFiltered(column, false);
    updateTable();
}

IBaseHpfTableModel* CStandardHpfTable::dataModel() const
{
    return d->itemModel->source();
}

void CStandardHpfTable::setColumnFilterable(int column, bool filterable)
{
    if (column < 0)
        return;
    if (filterable) {
        d->filterable.insert(column);
    } else {
        d->filterable.remove(column);
        if (d->itemModel->hasFilter(column)) {
            d->itemModel->setFilter(column, QStringList());
            d->header->setColumnFiltered(column, false);
        }
    }
    d->header->setColumnFilterable(column, filterable);
}

bool CStandardHpfTable::isColumnFilterable(int column) const
{
    return d->filterable.contains(column);
}

void CStandardHpfTable::setColumnFilter(int column, const QStringList& values)
{
    if (!isColumnFilterable(column) || column >= d->columnCount())
        return;
    d->itemModel->setFilter(column, values);
    d->header->setColumnFiltered(column, d->itemModel->hasFilter(column));
}

QStringList CStandardHpfTable::columnFilter(int column) const
{
    return d->itemModel->filter(column);
}

QStringList CStandardHpfTable::columnValues(int column) const
{
    return d->itemModel->columnValues(column);
}

void CStandardHpfTable::setColumnDelegate(int column, QAbstractItemDelegate* delegate)
{
    if (column < 0)
        return;
    QAbstractItemDelegate* old = d->delegates.value(column);
    if (old == delegate)
        return;
    d->view->setItemDelegateForColumn(column, delegate);
    if (delegate) {
        // The view is the delegate's parent: button delegates find their view through it.
        delegate->setParent(d->view);
        d->delegates.insert(column, delegate);
    } else {
        d->delegates.remove(column);
    }
    delete old;
}

QAbstractItemDelegate* CStandardHpfTable::columnDelegate(int column) const
{
    return d->delegates.value(column);
}

void CStandardHpfTable::setColumnVisible(int column, bool visible)
{
    if (column < 0)
        return;
    if (column < d->defaultVisible.size())
        d->defaultVisible[column] = visible;
    if (visible)
        d->hiddenByProgram.remove(column);
    else
        d->hiddenByProgram.insert(column);
    if (column < d->columnCount())
        d->view->setColumnHidden(column, !visible);
    else
        d->pendingVisible.insert(column, visible);
}

bool CStandardHpfTable::isColumnVisible(int column) const
{
    if (column >= 0 && column < d->columnCount())
        return !d->view->isColumnHidden(column);
    return d->pendingVisible.value(column, false);
}

void CStandardHpfTable::updateTable()
{
    // The selection follows the rows by key across the rebuild.
    QSet<QString> selectedKeys;
    QString currentKey;
    QItemSelectionModel* selection = d->view->selectionModel();
    if (selection) {
        for (const QModelIndex& index : selection->selectedRows())
            selectedKeys.insert(index.data(CHpfItemModel::KeyRole).toString());
        currentKey = selection->currentIndex().data(CHpfItemModel::KeyRole).toString();
    }

    d->itemModel->refresh();

    const int n = d->columnCount();
    if (d->widths.size() != n) {
        const int oldCount = d->widths.size();
        d->widths.resize(n);
        d->defaultVisible.resize(n);
        for (int column = oldCount; column < n; ++column) {
            d->widths[column] =
                d->header->sectionSize(column) > 0 ? d->header->sectionSize(column) : d->header->defaultSectionSize();
            d->defaultVisible[column] = true;
        }
        for (auto it = d->pendingVisible.begin(); it != d->pendingVisible.end();) {
            if (it.key() < n) {
                d->defaultVisible[it.key()] = it.value();
                d->view->setColumnHidden(it.key(), !it.value());
                it = d->pendingVisible.erase(it);
            } else {
                ++it;
            }
        }
    }
    QSet<int> aux;
    for (int column = 0; column < n; ++column) {
        if (d->itemModel->source() && d->itemModel->source()->columnAuxFlag(column))
            aux.insert(column);
    }
    d->header->setAuxColumns(aux);
    d->header->setSortMark(sortColumn(), sortOrder());

    selectedKeys.remove(QString());
    if (selection && (!selectedKeys.isEmpty() || !currentKey.isEmpty())) {
        QItemSelection restored;
        const int rows = d->itemModel->rowCount();
        const int lastColumn = std::max(0, n - 1);
        int runStart = -1;
        for (int row = 0; row <= rows; ++row) {
            const bool chosen = row < rows && selectedKeys.contains(d->itemModel->rawRowAt(row)->qsKey());
            if (row < rows && !currentKey.isEmpty() && d->itemModel->rawRowAt(row)->qsKey() == currentKey)
                selection->setCurrentIndex(d->itemModel->index(row, 0), QItemSelectionModel::NoUpdate);
            if (chosen && runStart < 0)
                runStart = row;
            if (!chosen && runStart >= 0) {
                restored.select(d->itemModel->index(runStart, 0), d->itemModel->index(row - 1, lastColumn));
                runStart = -1;
            }
        }
        if (!restored.isEmpty())
            selection->select(restored, QItemSelectionModel::ClearAndSelect);
    }
}

void CStandardHpfTable::adjustColumnWidth()
{
    const int n = d->columnCount();
    const int rows = std::min(d->itemModel->rowCount(), kFitSampleRows);
    QStyleOptionViewItem option;
    option.initFrom(d->view);
    option.font = d->view->font();
    option.fontMetrics = QFontMetrics(option.font);
    for (int column = 0; column < n; ++column) {
        if (d->view->isColumnHidden(column))
            continue;
        int width = d->header->sectionSizeFromContents(column).width();
        QAbstractItemDelegate* delegate = d->view->itemDelegateForColumn(column);
        if (!delegate)
            delegate = d->cellDelegate;
        for (int row = 0; row < rows; ++row) {
            const QModelIndex index = d->itemModel->index(row, column);
            option.rect = d->view->visualRect(index);
            width = std::max(width, delegate->sizeHint(option, index).width());
        }
        d->header->resizeSection(column, std::min(width + 2, kFitMaxWidth));
    }
}

void CStandardHpfTable::sortByColumn(int column, Qt::SortOrder order)
{
    if (column < -1 || column >= d->columnCount())
        return;
    if (column == -1)
        order = Qt::AscendingOrder;
    const bool changed = column != sortColumn() || order != sortOrder();
    d->itemModel->sort(column, order);
    d->header->setSortMark(column, order);
    if (changed)
        emit sortChanged(column, order);
}

int CStandardHpfTable::sortColumn() const
{
    return d->itemModel->sortColumn();
}

Qt::SortOrder CStandardHpfTable::sortOrder() const
{
    return d->itemModel->sortOrder();
}

QString CStandardHpfTable::saveConfigStr() const
{
    const int n = d->columnCount();
    CHpfLayout layout;
    layout.tableId = tableId();
    for (int visual = 0; visual < n; ++visual)
        layout.order.append(d->header->logicalIndex(visual));
    for (int column = 0; column < n; ++column) {
        const bool shown = !d->view->isColumnHidden(column);
        layout.widths.append(shown ? d->header->sectionSize(column)
                                   : d->widths.value(column, d->header->defaultSectionSize()));
        layout.visible.append(d->hiddenByProgram.contains(column) ? d->userVisible.value(column, true) : shown);
    }
    layout.sortColumn = sortColumn();
    layout.descending = sortOrder() == Qt::DescendingOrder;
    return layout.toString();
}

bool CStandardHpfTable::loadConfigStr(const QString& config)
{
    const int n = d->columnCount();
    CHpfLayout layout;
    if (!CHpfLayout::parse(config, tableId(), n, layout))
        return false;

    // Everything checked: apply.
    for (int visual = 0; visual < n; ++visual) {
        const int from = d->header->visualIndex(layout.order[visual]);
        if (from != visual)
            d->header->moveSection(from, visual);
    }
    for (int column = 0; column < n; ++column) {
        d->header->resizeSection(column, layout.widths[column]);
        d->widths[column] = layout.widths[column];
    }
    for (int column = 0; column < n; ++column) {
        d->userVisible[column] = layout.visible[column];
        d->view->setColumnHidden(column, !layout.visible[column] || d->hiddenByProgram.contains(column));
    }
    sortByColumn(layout.sortColumn, layout.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    return true;
}

int CStandardHpfTable::visibleRowCount() const
{
    return d->itemModel->displayCount();
}

IBaseHpfTableDataPtr CStandardHpfTable::visibleRow(int position) const
{
    return d->itemModel->rowAt(position);
}

QAbstractItemView* CStandardHpfTable::view() const
{
    return d->view;
}

} // namespace WB
