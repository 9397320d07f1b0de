#pragma once

#include "celltext.h"

#include <QHash>
#include <QString>
#include <QTextCodec>

#include <vector>

namespace WB {

class CSheetGrid;

// Loads the first sheet of a legacy .xls workbook (BIFF8, or BIFF5 in a "Book" stream) into a
// grid. Every cell kind a person sees is read: text (shared or inline), numbers and dates, and
// formulas by the result Excel cached with them (number, text, TRUE/FALSE, #DIV/0! and the
// other errors), booleans and error cells. A formula written without a cached result (as
// xlwt does) has nothing to show and reads empty.
class CXlsSheetLoader
{
public:
    // Caps on the workbook's shared strings, as for .xlsx.
    static constexpr qint64 kMaxSharedStrings = 1000000;
    static constexpr qint64 kMaxSharedChars = 16 * 1024 * 1024;

    bool load(const QString& path, CSheetGrid& grid);
    int sheetCount() const { return m_sheetCount; }
    QString error() const { return m_error; }

private:
    bool fail(const QString& message);
    bool readGlobals(const QByteArray& stream, qint64& firstSheet);
    bool readSheet(const QByteArray& stream, qint64 at, CSheetGrid& grid);
    QString numberText(double value, quint16 xf) const;

    int m_sheetCount = 0;
    bool m_biff8 = true;
    bool m_date1904 = false;
    QTextCodec* m_codec = nullptr; // of BIFF5's 8-bit texts
    QHash<int, QString> m_formats;
    std::vector<quint16> m_xfFormats;
    std::vector<EDateKind> m_xfDateKinds;
    QString m_sharedPool;
    std::vector<std::pair<quint32, quint32>> m_shared; // offset and length in m_sharedPool
    QString m_error;
};

} // namespace WB
