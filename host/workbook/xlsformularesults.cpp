#include "xlsformularesults.h"

#include "biffrecords.h"
#include "celltext.h"

namespace WB {

using namespace xls;
using le::f64;
using le::u16;

bool CXlsFormulaResults::readFormula(const uchar* d, Shown& shown, QString& error)
{
    shown = Shown();
    shown.row = u16(d);
    shown.column = u16(d + 2);
    shown.xf = u16(d + 4);
    const uchar* result = d + 6;
    if (result[6] != 0xFF || result[7] != 0xFF) {
        shown.kind = Shown::EKind::Number;
        shown.number = f64(result);
        return true;
    }
    switch (result[0]) {
    case 0:
        m_pendingRow = shown.row;
        m_pendingColumn = shown.column;
        m_pendingXf = shown.xf;
        return true;
    case 1:
        shown.kind = Shown::EKind::Text;
        shown.text = result[2] ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        return true;
    case 2:
        if (!errorText(result[2], shown.text)) {
            error = QStringLiteral("the formula at %1 gives the unknown error code %2")
                        .arg(cellName(shown.row, shown.column))
                        .arg(result[2]);
            return false;
        }
        shown.kind = Shown::EKind::Text;
        return true;
    case 3: return true; // an empty text shows nothing
    default:
        error = QStringLiteral("the formula at %1 has a result of unknown type %2")
                    .arg(cellName(shown.row, shown.column))
                    .arg(result[0]);
        return false;
    }
}

bool CXlsFormulaResults::readText(CRecords& record, CPieces& pieces, bool biff8, QTextCodec* codec, Shown& shown,
                                  QString& error)
{
    shown = Shown();
    if (m_pendingRow < 0) {
        error = QStringLiteral("a STRING record at offset %1 follows no formula").arg(record.offset);
        return false;
    }
    record.withContinues(pieces);
    if (!(biff8 ? pieces.unicodeString(2, shown.text) : pieces.byteString(2, codec, shown.text))) {
        error = QStringLiteral("the text result of the formula at %1 is cut short")
                    .arg(cellName(m_pendingRow, m_pendingColumn));
        return false;
    }
    // Half a surrogate pair is refused before any style is asked.
    shown.kind = CCellText::unpairedSurrogate(shown.text.constData(), shown.text.size()) >= 0
                     ? Shown::EKind::Text
                     : Shown::EKind::StyledText;
    shown.row = m_pendingRow;
    shown.column = m_pendingColumn;
    shown.xf = m_pendingXf;
    clear();
    return true;
}

QString CXlsFormulaResults::missingText() const
{
    return QStringLiteral("the text result of the formula at %1 is missing (no STRING record)")
        .arg(cellName(m_pendingRow, m_pendingColumn));
}

} // namespace WB
