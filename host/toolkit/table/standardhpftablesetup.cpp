// The table's construction: the view, its header and delegate, their look, and the context menu.
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
    , d(new Private)
{
    setObjectName(QStringLiteral("hpfTable"));
    qRegisterMetaType<Qt::SortOrder>(); // sortChanged may be queued
    d->menuFlags = menuFlags;
    d->flags =
        EBaseTableFlags(eTableSortable | eTableAlternateRows | eTableGridLines | eTableRowNumbers | eTableHoverRow);

    d->view = new CHpfTableView(this);
    d->header = new CHpfHeaderView(d->view);
    d->view->setHorizontalHeader(d->header);
    d->itemModel = new CHpfItemModel(this);
    d->view->setModel(d->itemModel);
    d->cellDelegate = new CHpfCellDelegate(d->view);
    d->view->setItemDelegate(d->cellDelegate);
    d->view->setContextMenuPolicy(Qt::CustomContextMenu);

    const QString grid = CHpfStyle::gridLine().name();
    const QString line = CHpfStyle::headerLine().name();
    const QString headerBackground = CHpfStyle::headerBackground().name();
    d->view->setStyleSheet(
        QStringLiteral("QTableView#hpfTableView { border: none; gridline-color: %1; background: %2;"
                       " selection-background-color: %3; }"
                       "QHeaderView { background: %4; border: none; }"
                       "QHeaderView::section:vertical { background: %4; color: #8A93A0; border: none;"
                       " border-right: 1px solid %5; border-bottom: 1px solid %1; padding: 0 6px; }"
                       "QTableView#hpfTableView QTableCornerButton::section { background: %4; border: none;"
                       " border-right: 1px solid %5; border-bottom: 1px solid %5; }")
            .arg(grid, CHpfStyle::tableBackground().name(), CHpfStyle::selection().name(), headerBackground, line));
    d->header->setFixedHeight(CHpfStyle::headerHeight());
    QFont font = d->view->font();
    font.setPixelSize(13); // the dense size of a trading grid, whatever the desktop's default
    d->view->setFont(font);
    // Style-sheet polish does not pass the view's font on to its headers.
    d->header->setFont(font);
    d->view->verticalHeader()->setFont(font);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(d->view);

    connect(d->header, &QHeaderView::sectionClicked, this, [this](int logical) {
        if (!(d->flags & eTableSortable) || !d->itemModel->source())
            return;
        Qt::SortOrder order;
        if (logical == sortColumn())
            order = sortOrder() == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
        else
            order = d->itemModel->source()->isReverseSortFirst(logical) ? Qt::DescendingOrder : Qt::AscendingOrder;
        sortByColumn(logical, order);
    });
    connect(d->header, &QHeaderView::sectionResized, this, [this](int logical, int, int size) {
        if (size > 0 && logical >= 0 && logical < d->widths.size())
            d->widths[logical] = size;
    });
    connect(d->header, &CHpfHeaderView::filterMenuRequested, this, [this](int column, const QPoint& globalPos) {
        if (!isColumnFilterable(column))
            return;
        if (d->filterMenu)
            d->filterMenu->close();
        auto* menu = new CHpfFilterMenu(column, columnValues(column), columnFilter(column), this);
        d->filterMenu = menu;
        menu->setFont(d->view->font());
        connect(menu, &CHpfFilterMenu::filterChosen, this, &CStandardHpfTable::setColumnFilter);
        menu->popup(globalPos);
    });
    connect(d->view, &CHpfTableView::copyRequested, this,
            [this] { QApplication::clipboard()->setText(selectedCellsText()); });

    // The context menu of the cells.
    m_pContextMenu = new QMenu(this);
    m_pContextMenu->setObjectName(QStringLiteral("hpfContextMenu"));
    if (menuFlags & eMenuCopy) {
        d->copyAction = m_pContextMenu->addAction(QStringLiteral("复制"), this,
                                                  [this] { QApplication::clipboard()->setText(selectedCellsText()); });
        d->copyAction->setObjectName(QStringLiteral("actionCopy"));
    }
    if (menuFlags & eMenuExport) {
        QAction* action = m_pContextMenu->addAction(QStringLiteral("导出..."), this, [this] {
            // The table may be destroyed while the file dialog runs.
            QPointer<CStandardHpfTable> self(this);
            const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("导出"), QString(),
                                                              QStringLiteral("CSV 文件 (*.csv)"));
            if (!self || path.isEmpty())
                return;
            if (!exportCsvToFile(path))
                CMessageBox::warning(this, QStringLiteral("提示"),
                                     QStringLiteral("导出失败：无法写入文件 %1").arg(path));
        });
        action->setObjectName(QStringLiteral("actionExport"));
    }
    if (menuFlags & (eMenuCopy | eMenuExport))
        m_pContextMenu->addSeparator();
    if (menuFlags & eMenuFitColumns) {
        m_pContextMenu->addAction(QStringLiteral("自适应列宽"), this, &CStandardHpfTable::adjustColumnWidth)
            ->setObjectName(QStringLiteral("actionFitColumns"));
    }
    if (menuFlags & eMenuColumns) {
        d->columnsMenu = m_pContextMenu->addMenu(QStringLiteral("显示列"));
        d->columnsMenu->setObjectName(QStringLiteral("hpfColumnsMenu"));
        connect(d->columnsMenu, &QMenu::aboutToShow, this, [this] {
            d->columnsMenu->clear();
            const QVector<int> shown = d->shownColumns(true);
            for (int column = 0; column < d->columnCount(); ++column) {
                if (d->hiddenByProgram.contains(column))
                    continue;
                QAction* action = d->columnsMenu->addAction(
                    d->itemModel->source() ? d->itemModel->source()->headerText(column) : QString());
                action->setCheckable(true);
                action->setChecked(isColumnVisible(column));
                // The last shown column stays: a table without columns cannot get them back.
                action->setEnabled(!(shown.size() == 1 && shown.front() == column));
                connect(action, &QAction::toggled, this,
                        [this, column](bool on) { d->view->setColumnHidden(column, !on); });
            }
        });
    }
    if (menuFlags & eMenuClearFilters) {
        d->clearFiltersAction = m_pContextMenu->addAction(QStringLiteral("清除筛选"), this, [this] {
            d->itemModel->clearFilters();
            for (int column = 0; column < d->columnCount(); ++column)
                d->header->setColumnFiltered(column, false);
        });
        d->clearFiltersAction->setObjectName(QStringLiteral("actionClearFilters"));
    }
    if (menuFlags & (eMenuFitColumns | eMenuColumns | eMenuClearFilters))
        m_pContextMenu->addSeparator();
    if (menuFlags & eMenuSelectAll) {
        m_pContextMenu
            ->addAction(
                QStringLiteral("全选"), this,
                [this] {
                    const int rows = d->itemModel->rowCount();
                    const int columns = d->columnCount();
                    if (rows > 0 && columns > 0) {
                        // Also in single-selection mode, so that "全选" then "复制" takes everything.
                        d->view->selectionModel()->select(
                            QItemSelection(d->itemModel->index(0, 0), d->itemModel->index(rows - 1, columns - 1)),
                            QItemSelectionModel::ClearAndSelect);
                    }
                })
            ->setObjectName(QStringLiteral("actionSelectAll"));
    }
    if (menuFlags & eMenuRefresh) {
        m_pRefreshAction = m_pContextMenu->addAction(QStringLiteral("刷新"), this,
                                                     [this] { deliverEvent(this, eEventTableRefresh, tableId(), 0); });
        m_pRefreshAction->setObjectName(QStringLiteral("actionRefresh"));
    }
    if (menuFlags & eMenuResetLayout) {
        m_pContextMenu
            ->addAction(QStringLiteral("恢复默认布局"), this,
                        [this] {
                            const int n = d->columnCount();
                            for (int column = 0; column < n; ++column) {
                                const int from = d->header->visualIndex(column);
                                if (from != column)
                                    d->header->moveSection(from, column);
                                d->view->setColumnHidden(column, !d->defaultVisible.value(column, true));
                            }
                            adjustColumnWidth();
                        })
            ->setObjectName(QStringLiteral("actionResetLayout"));
    }
    connect(d->view, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (!m_pContextMenu || m_pContextMenu->isEmpty())
            return;
        if (d->copyAction)
            d->copyAction->setEnabled(d->view->selectionModel()->hasSelection());
        if (d->clearFiltersAction)
            d->clearFiltersAction->setEnabled(!d->itemModel->filteredColumns().isEmpty());
        m_pContextMenu->popup(d->view->viewport()->mapToGlobal(pos));
    });

    setFlag(d->flags);
}

} // namespace WB
