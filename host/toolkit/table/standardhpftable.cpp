#include "hosttoolkit.h"

#include "hpfcelldelegate.h"
#include "hpffiltermenu.h"
#include "hpfheaderview.h"
#include "hpfitemmodel.h"
#include "hpfstyle.h"
#include "hpftableview.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QHash>
#include <QMap>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPointer>
#include <QSaveFile>
#include <QScrollBar>
#include <QSet>
#include <QVBoxLayout>

#include <algorithm>

namespace WB {

namespace {

const char kConfigTag[] = "hpf1";
const int kMaxColumnWidth = 10000;
// adjustColumnWidth measures at most this many rows, so it costs the same at 100k rows.
const int kFitSampleRows = 500;
const int kFitMaxWidth = 600;

QString csvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// "a,b,c" of integers; false on anything else.
bool parseIntList(const QString& text, QVector<int>& out)
{
    out.clear();
    if (text.isEmpty())
        return true;
    const QStringList parts = text.split(QLatin1Char(','));
    for (const QString& part : parts) {
        bool ok = false;
        const int value = part.toInt(&ok);
        if (!ok)
            return false;
        out.append(value);
    }
    return true;
}

bool takeField(const QString& part, const QString& name, QVector<int>& out)
{
    const QString prefix = name + QLatin1Char('=');
    if (!part.startsWith(prefix))
        return false;
    return parseIntList(part.mid(prefix.size()), out);
}

QString joinInts(const QVector<int>& values)
{
    QStringList parts;
    parts.reserve(values.size());
    for (int v : values)
        parts.append(QString::number(v));
    return parts.join(QLatin1Char(','));
}

} // namespace

struct CStandardHpfTable::Private
{
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
};

CStandardHpfTable::CStandardHpfTable(int id, QWidget* parent, QFlags<EBaseTableMenuFlag> menuFlags)
    : CBaseHighPerformanceTable(id, parent)
    , d(new Private)
{
    setObjectName(QStringLiteral("hpfTable"));
    qRegisterMetaType<Qt::SortOrder>(); // sortChanged may be queued
    d->menuFlags = menuFlags;
    d->flags = EBaseTableFlags(eTableSortable | eTableAlternateRows | eTableGridLines | eTableRowNumbers | eTableHoverRow);

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
    connect(d->header, &CHpfHeaderView::filterMenuRequested, this,
            [this](int column, const QPoint& globalPos) {
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
    connect(d->view, &CHpfTableView::copyRequested, this, [this] {
        QApplication::clipboard()->setText(selectedCellsText());
    });

    // The context menu of the cells.
    m_pContextMenu = new QMenu(this);
    m_pContextMenu->setObjectName(QStringLiteral("hpfContextMenu"));
    if (menuFlags & eMenuCopy) {
        d->copyAction = m_pContextMenu->addAction(QStringLiteral("复制"), this, [this] {
            QApplication::clipboard()->setText(selectedCellsText());
        });
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
                CMessageBox::warning(this, QStringLiteral("提示"), QStringLiteral("导出失败：无法写入文件 %1").arg(path));
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
                QAction* action = d->columnsMenu->addAction(d->itemModel->source() ? d->itemModel->source()->headerText(column) : QString());
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
        m_pContextMenu->addAction(QStringLiteral("全选"), this, [this] {
            const int rows = d->itemModel->rowCount();
            const int columns = d->columnCount();
            if (rows > 0 && columns > 0) {
                // Also in single-selection mode, so that "全选" then "复制" takes everything.
                d->view->selectionModel()->select(
                    QItemSelection(d->itemModel->index(0, 0), d->itemModel->index(rows - 1, columns - 1)),
                    QItemSelectionModel::ClearAndSelect);
            }
        })->setObjectName(QStringLiteral("actionSelectAll"));
    }
    if (menuFlags & eMenuRefresh) {
        m_pRefreshAction = m_pContextMenu->addAction(QStringLiteral("刷新"), this, [this] {
            deliverEvent(this, eEventTableRefresh, tableId(), 0);
        });
        m_pRefreshAction->setObjectName(QStringLiteral("actionRefresh"));
    }
    if (menuFlags & eMenuResetLayout) {
        m_pContextMenu->addAction(QStringLiteral("恢复默认布局"), this, [this] {
            const int n = d->columnCount();
            for (int column = 0; column < n; ++column) {
                const int from = d->header->visualIndex(column);
                if (from != column)
                    d->header->moveSection(from, column);
                d->view->setColumnHidden(column, !d->defaultVisible.value(column, true));
            }
            adjustColumnWidth();
        })->setObjectName(QStringLiteral("actionResetLayout"));
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
            d->widths[column] = d->header->sectionSize(column) > 0 ? d->header->sectionSize(column)
                                                                    : d->header->defaultSectionSize();
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
    QVector<int> order, widths, visible;
    for (int visual = 0; visual < n; ++visual)
        order.append(d->header->logicalIndex(visual));
    for (int column = 0; column < n; ++column) {
        const bool shown = !d->view->isColumnHidden(column);
        widths.append(shown ? d->header->sectionSize(column) : d->widths.value(column, d->header->defaultSectionSize()));
        visible.append(d->hiddenByProgram.contains(column) ? d->userVisible.value(column, true) : shown);
    }
    const int sort = sortColumn();
    return QStringLiteral("%1:%2:order=%3:w=%4:vis=%5:sort=%6,%7")
        .arg(QLatin1String(kConfigTag))
        .arg(tableId())
        .arg(joinInts(order), joinInts(widths), joinInts(visible))
        .arg(sort)
        .arg(sort >= 0 && sortOrder() == Qt::DescendingOrder ? 1 : 0);
}

bool CStandardHpfTable::loadConfigStr(const QString& config)
{
    const int n = d->columnCount();
    if (n <= 0 || config.isEmpty() || config.contains(QLatin1Char(';')))
        return false;
    const QStringList parts = config.split(QLatin1Char(':'));
    if (parts.size() != 6 || parts[0] != QLatin1String(kConfigTag))
        return false;
    bool idOk = false;
    if (parts[1].toInt(&idOk) != tableId() || !idOk)
        return false;
    QVector<int> order, widths, visible, sort;
    if (!takeField(parts[2], QStringLiteral("order"), order) || !takeField(parts[3], QStringLiteral("w"), widths)
        || !takeField(parts[4], QStringLiteral("vis"), visible) || !takeField(parts[5], QStringLiteral("sort"), sort))
        return false;
    if (order.size() != n || widths.size() != n || visible.size() != n || sort.size() != 2)
        return false;
    QVector<bool> seen(n, false);
    for (int i = 0; i < n; ++i) {
        if (order[i] < 0 || order[i] >= n || seen[order[i]])
            return false;
        seen[order[i]] = true;
        if (widths[i] < 1 || widths[i] > kMaxColumnWidth)
            return false;
        if (visible[i] != 0 && visible[i] != 1)
            return false;
    }
    if (sort[0] < -1 || sort[0] >= n || sort[1] < 0 || sort[1] > 1 || (sort[0] == -1 && sort[1] != 0))
        return false;

    // Everything checked: apply.
    for (int visual = 0; visual < n; ++visual) {
        const int from = d->header->visualIndex(order[visual]);
        if (from != visual)
            d->header->moveSection(from, visual);
    }
    for (int column = 0; column < n; ++column) {
        d->header->resizeSection(column, widths[column]);
        d->widths[column] = widths[column];
    }
    for (int column = 0; column < n; ++column) {
        d->userVisible[column] = visible[column] == 1;
        d->view->setColumnHidden(column, visible[column] == 0 || d->hiddenByProgram.contains(column));
    }
    sortByColumn(sort[0], sort[1] == 1 ? Qt::DescendingOrder : Qt::AscendingOrder);
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

QString CStandardHpfTable::exportCsv() const
{
    // Button columns hold actions, not data: they are left out.
    const QVector<int> columns = d->shownColumns(false);
    QString out;
    QStringList fields;
    for (int column : columns)
        fields.append(csvField(d->itemModel->headerData(column, Qt::Horizontal).toString()));
    out += fields.join(QLatin1Char(',')) + QLatin1String("\r\n");
    const int rows = d->itemModel->displayCount();
    for (int row = 0; row < rows; ++row) {
        IBaseHpfTableData* data = d->itemModel->rawRowAt(row);
        fields.clear();
        for (int column : columns)
            fields.append(csvField(data->getText(column)));
        out += fields.join(QLatin1Char(',')) + QLatin1String("\r\n");
    }
    return out;
}

bool CStandardHpfTable::exportCsvToFile(const QString& path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bom("\xEF\xBB\xBF");
    if (file.write(bom) != bom.size())
        return false;
    const QByteArray body = exportCsv().toUtf8();
    if (file.write(body) != body.size())
        return false;
    return file.commit();
}

QString CStandardHpfTable::selectedCellsText() const
{
    QItemSelectionModel* selection = d->view->selectionModel();
    if (!selection || !selection->hasSelection())
        return QString();
    // Walk the selection ranges rather than every cell: "全选" at 100k rows stays quick.
    QMap<int, QSet<int>> cellsByRow;
    const int rows = d->itemModel->rowCount();
    for (const QItemSelectionRange& range : selection->selection()) {
        for (int row = std::max(0, range.top()); row <= range.bottom() && row < rows; ++row) {
            QSet<int>& cells = cellsByRow[row];
            for (int column = range.left(); column <= range.right(); ++column)
                cells.insert(column);
        }
    }
    const QVector<int> columns = d->shownColumns(false);
    QStringList lines;
    for (auto it = cellsByRow.constBegin(); it != cellsByRow.constEnd(); ++it) {
        IBaseHpfTableData* data = d->itemModel->rawRowAt(it.key());
        QStringList cells;
        for (int column : columns) {
            if (it.value().contains(column))
                cells.append(data->getText(column));
        }
        if (!cells.isEmpty())
            lines.append(cells.join(QLatin1Char('\t')));
    }
    return lines.join(QLatin1Char('\n'));
}

QAbstractItemView* CStandardHpfTable::view() const
{
    return d->view;
}

} // namespace WB
