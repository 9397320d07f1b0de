// The table's construction: the view, its header and delegate, their look, the signals it
// answers and the context menu; and the slots behind them.
#include "hosttoolkit.h"

#include "hpfcelldelegate.h"
#include "hpffiltermenu.h"
#include "hpfstyle.h"
#include "hpftableview.h"
#include "standardhpftable_p.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPointer>
#include <QVBoxLayout>

namespace WB {

CStandardHpfTable::CStandardHpfTable(int id, QWidget* parent, QFlags<EBaseTableMenuFlag> menuFlags)
    : CBaseHighPerformanceTable(id, parent)
    , d(new Private(this, menuFlags))
{
    setObjectName(QStringLiteral("hpfTable"));
    qRegisterMetaType<Qt::SortOrder>(); // sortChanged may be queued
    d->createView();
    d->applyLook();
    d->connectSignals();
    d->createContextMenu();
    setFlag(d->flags);
}

CStandardHpfTable::Private::Private(CStandardHpfTable* table, EBaseTableMenuFlags menuFlags)
    : flags(eTableSortable | eTableAlternateRows | eTableGridLines | eTableRowNumbers | eTableHoverRow)
    , menuFlags(menuFlags)
    , q(table)
{
}

void CStandardHpfTable::Private::createView()
{
    view = new CHpfTableView(q);
    header = new CHpfHeaderView(view);
    view->setHorizontalHeader(header);
    itemModel = new CHpfItemModel(q);
    view->setModel(itemModel);
    cellDelegate = new CHpfCellDelegate(view);
    view->setItemDelegate(cellDelegate);
    view->setContextMenuPolicy(Qt::CustomContextMenu);

    auto* layout = new QVBoxLayout(q);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(view);
}

void CStandardHpfTable::Private::applyLook()
{
    const QString grid = CHpfStyle::gridLine().name();
    const QString line = CHpfStyle::headerLine().name();
    const QString headerBackground = CHpfStyle::headerBackground().name();
    view->setStyleSheet(
        QStringLiteral("QTableView#hpfTableView { border: none; gridline-color: %1; background: %2;"
                       " selection-background-color: %3; }"
                       "QHeaderView { background: %4; border: none; }"
                       "QHeaderView::section:vertical { background: %4; color: #8A93A0; border: none;"
                       " border-right: 1px solid %5; border-bottom: 1px solid %1; padding: 0 6px; }"
                       "QTableView#hpfTableView QTableCornerButton::section { background: %4; border: none;"
                       " border-right: 1px solid %5; border-bottom: 1px solid %5; }")
            .arg(grid, CHpfStyle::tableBackground().name(), CHpfStyle::selection().name(), headerBackground, line));
    header->setFixedHeight(CHpfStyle::headerHeight());
    QFont font = view->font();
    font.setPixelSize(13); // the dense size of a trading grid, whatever the desktop's default
    view->setFont(font);
    // Style-sheet polish does not pass the view's font on to its headers.
    header->setFont(font);
    view->verticalHeader()->setFont(font);
}

void CStandardHpfTable::Private::connectSignals()
{
    connect(header, &QHeaderView::sectionClicked, this, &Private::sortBySection);
    connect(header, &QHeaderView::sectionResized, this, &Private::rememberWidth);
    connect(header, &CHpfHeaderView::filterMenuRequested, this, &Private::openFilterMenu);
    connect(view, &CHpfTableView::copyRequested, this, &Private::copySelection);
    connect(view, &QWidget::customContextMenuRequested, this, &Private::showContextMenu);
}

void CStandardHpfTable::Private::createContextMenu()
{
    QMenu* menu = new QMenu(q);
    q->m_pContextMenu = menu;
    menu->setObjectName(QStringLiteral("hpfContextMenu"));
    const auto add = [&](EBaseTableMenuFlag flag, const QString& text, void (Private::*slot)(), const char* name) {
        QAction* action = nullptr;
        if (menuFlags & flag) {
            action = menu->addAction(text, this, slot);
            action->setObjectName(QLatin1String(name));
        }
        return action;
    };
    copyAction = add(eMenuCopy, QStringLiteral("复制"), &Private::copySelection, "actionCopy");
    add(eMenuExport, QStringLiteral("导出..."), &Private::exportToFile, "actionExport");
    if (menuFlags & (eMenuCopy | eMenuExport))
        menu->addSeparator();
    if (menuFlags & eMenuFitColumns) {
        menu->addAction(QStringLiteral("自适应列宽"), q, &CStandardHpfTable::adjustColumnWidth)
            ->setObjectName(QStringLiteral("actionFitColumns"));
    }
    if (menuFlags & eMenuColumns) {
        columnsMenu = menu->addMenu(QStringLiteral("显示列"));
        columnsMenu->setObjectName(QStringLiteral("hpfColumnsMenu"));
        connect(columnsMenu, &QMenu::aboutToShow, this, &Private::fillColumnsMenu);
    }
    clearFiltersAction =
        add(eMenuClearFilters, QStringLiteral("清除筛选"), &Private::clearFilters, "actionClearFilters");
    if (menuFlags & (eMenuFitColumns | eMenuColumns | eMenuClearFilters))
        menu->addSeparator();
    add(eMenuSelectAll, QStringLiteral("全选"), &Private::selectAll, "actionSelectAll");
    q->m_pRefreshAction = add(eMenuRefresh, QStringLiteral("刷新"), &Private::requestRefresh, "actionRefresh");
    add(eMenuResetLayout, QStringLiteral("恢复默认布局"), &Private::resetLayout, "actionResetLayout");
}

void CStandardHpfTable::Private::sortBySection(int logical)
{
    if (!(flags & eTableSortable) || !itemModel->source())
        return;
    Qt::SortOrder order;
    if (logical == q->sortColumn())
        order = q->sortOrder() == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    else
        order = itemModel->source()->isReverseSortFirst(logical) ? Qt::DescendingOrder : Qt::AscendingOrder;
    q->sortByColumn(logical, order);
}

void CStandardHpfTable::Private::rememberWidth(int logical, int, int newSize)
{
    if (newSize > 0 && logical >= 0 && logical < widths.size())
        widths[logical] = newSize;
}

void CStandardHpfTable::Private::openFilterMenu(int column, const QPoint& globalPos)
{
    if (!q->isColumnFilterable(column))
        return;
    if (filterMenu)
        filterMenu->close();
    auto* menu = new CHpfFilterMenu(column, q->columnValues(column), q->columnFilter(column), q);
    filterMenu = menu;
    menu->setFont(view->font());
    connect(menu, &CHpfFilterMenu::filterChosen, q, &CStandardHpfTable::setColumnFilter);
    menu->popup(globalPos);
}

void CStandardHpfTable::Private::showContextMenu(const QPoint& pos)
{
    if (!q->m_pContextMenu || q->m_pContextMenu->isEmpty())
        return;
    if (copyAction)
        copyAction->setEnabled(view->selectionModel()->hasSelection());
    if (clearFiltersAction)
        clearFiltersAction->setEnabled(!itemModel->filteredColumns().isEmpty());
    q->m_pContextMenu->popup(view->viewport()->mapToGlobal(pos));
}

void CStandardHpfTable::Private::copySelection()
{
    QApplication::clipboard()->setText(q->selectedCellsText());
}

void CStandardHpfTable::Private::exportToFile()
{
    // The table may be destroyed while the file dialog runs, and this with it.
    QPointer<CStandardHpfTable> table(q);
    const QString path =
        QFileDialog::getSaveFileName(q, QStringLiteral("导出"), QString(), QStringLiteral("CSV 文件 (*.csv)"));
    if (!table || path.isEmpty())
        return;
    if (!table->exportCsvToFile(path))
        CMessageBox::warning(table, QStringLiteral("提示"), QStringLiteral("导出失败：无法写入文件 %1").arg(path));
}

void CStandardHpfTable::Private::fillColumnsMenu()
{
    columnsMenu->clear();
    const QVector<int> shown = shownColumns(true);
    for (int column = 0; column < columnCount(); ++column) {
        if (hiddenByProgram.contains(column))
            continue;
        QAction* action =
            columnsMenu->addAction(itemModel->source() ? itemModel->source()->headerText(column) : QString());
        action->setCheckable(true);
        action->setChecked(q->isColumnVisible(column));
        // The last shown column stays: a table without columns cannot get them back.
        action->setEnabled(!(shown.size() == 1 && shown.front() == column));
        connect(action, &QAction::toggled, this, [this, column](bool on) { view->setColumnHidden(column, !on); });
    }
}

void CStandardHpfTable::Private::clearFilters()
{
    itemModel->clearFilters();
    for (int column = 0; column < columnCount(); ++column)
        header->setColumnFiltered(column, false);
}

void CStandardHpfTable::Private::selectAll()
{
    const int rows = itemModel->rowCount();
    const int columns = columnCount();
    if (rows > 0 && columns > 0) {
        // Also in single-selection mode, so that "全选" then "复制" takes everything.
        view->selectionModel()->select(QItemSelection(itemModel->index(0, 0), itemModel->index(rows - 1, columns - 1)),
                                       QItemSelectionModel::ClearAndSelect);
    }
}

void CStandardHpfTable::Private::requestRefresh()
{
    deliverEvent(q, eEventTableRefresh, q->tableId(), 0);
}

void CStandardHpfTable::Private::resetLayout()
{
    const int n = columnCount();
    for (int column = 0; column < n; ++column) {
        const int from = header->visualIndex(column);
        if (from != column)
            header->moveSection(from, column);
        view->setColumnHidden(column, !defaultVisible.value(column, true));
    }
    q->adjustColumnWidth();
}

} // namespace WB
