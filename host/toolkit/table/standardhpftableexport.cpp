// What leaves the table as text: the CSV export and the copy of the selected cells.
#include "hosttoolkit.h"

#include "hpftableview.h"
#include "standardhpftable_p.h"

#include <QItemSelectionModel>
#include <QMap>
#include <QSaveFile>
#include <QSet>
#include <QStringList>

#include <algorithm>

namespace WB {

namespace {

QString csvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')) &&
        !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

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

} // namespace WB
