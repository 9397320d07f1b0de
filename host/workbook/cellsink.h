#pragma once

#include <QString>

namespace WB {

// Where a loader puts a sheet's cells, in the order the file gives them: a grid to look cells up
// in (CSheetGrid), or the tab-joined lines straight away (CTabLines). Rows and columns are
// 1-based; an empty text is no value.
class ICellSink
{
public:
    virtual ~ICellSink() = default;
    // False (and error() set) past a cap or outside the sheet's bounds.
    virtual bool addCell(qint64 row, qint64 column, const QChar* text, int length) = 0;
    bool addCell(qint64 row, qint64 column, const QString& text)
    {
        return addCell(row, column, text.constData(), text.size());
    }
    // Once every cell is in; false when the sheet cannot be given as it stands.
    virtual bool finish() = 0;
    virtual QString error() const = 0;
    virtual void clear() = 0;
    // Room for about that many cells, within the cell cap, when a loader can tell.
    virtual void reserve(qint64 cells) { Q_UNUSED(cells) }
};

} // namespace WB
