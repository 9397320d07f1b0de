#pragma once
// The workbook globals of a BIFF workbook stream: its sheets, the one it opens on, the date
// system, the code page of BIFF5's texts, the number formats and cell styles, and the shared
// strings the cells refer to.

#include "numberformat.h"
#include "standinworkbook.h"

#include <QHash>
#include <QString>
#include <QTextCodec>

#include <utility>
#include <vector>

namespace WB {

namespace xls {
class CPieces;
}

class CXlsWorkbookGlobals
{
public:
    // Reads them from the stream's start; false with error() when the first sheet cannot be read
    // from them (no worksheet first, a cut short or oversized string table, no EOF).
    bool read(const QByteArray& stream);
    QString error() const { return m_error; }

    // The workbook's sheets, the one read and the one it opens on.
    const standin::WorkbookReport& sheets() const { return m_sheets; }
    // Where the first sheet's substream starts in the stream.
    qint64 firstSheet() const { return m_firstSheet; }
    bool biff8() const { return m_biff8; }
    bool date1904() const { return m_date1904; }
    QTextCodec* codec() const { return m_codec; }
    const CCellFormats& cellFormats() const { return m_cellFormats; }
    size_t sharedCount() const { return m_shared.size(); }
    // Shared string index (below sharedCount()) as characters in the pool.
    const QChar* sharedString(size_t index, int& length) const
    {
        length = int(m_shared[index].second);
        return m_sharedPool.constData() + m_shared[index].first;
    }
    // The shared strings' memory given back once the sheet is read.
    void dropSharedStrings();

private:
    bool fail(const QString& message);
    bool readSheetEntry(const uchar* record, int length, xls::CPieces& pieces);

    standin::WorkbookReport m_sheets;
    qint64 m_firstSheet = -1;
    int m_activeTab = -1; // 0-based, from WINDOW1
    quint8 m_firstSheetType = 0;
    bool m_biff8 = true;
    bool m_date1904 = false;
    QTextCodec* m_codec = QTextCodec::codecForName("windows-1252"); // of BIFF5's 8-bit texts
    QHash<int, QString> m_formats;
    std::vector<quint16> m_xfFormats;
    CCellFormats m_cellFormats;
    QString m_sharedPool;
    std::vector<std::pair<quint32, quint32>> m_shared; // offset and length in m_sharedPool
    QString m_error;
};

} // namespace WB
