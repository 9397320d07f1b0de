#pragma once
// What the formula cells of a BIFF sheet show: the result Excel cached with each formula (a
// number, TRUE or FALSE, an error, an empty text), or, for a text result, the STRING record that
// follows its FORMULA record. A formula written without a cached result has nothing to show.

#include <QString>
#include <QTextCodec>

namespace WB {

namespace xls {
class CPieces;
class CRecords;
} // namespace xls

class CXlsFormulaResults
{
public:
    // A cell to put into the sheet.
    struct Shown
    {
        enum class EKind
        {
            Nothing,   // nothing to put (yet)
            Number,    // number, as its style shows it
            Text,      // text as it is
            StyledText // text, unless its style hides it
        };
        EKind kind = EKind::Nothing;
        int row = 0;
        int column = 0;
        quint16 xf = 0;
        double number = 0;
        QString text;
    };

    void clear() { m_pendingRow = m_pendingColumn = -1; }

    // A FORMULA record of at least 20 bytes. False with error when its result cannot be shown.
    bool readFormula(const uchar* record, Shown& shown, QString& error);
    // A STRING record: the text result of the formula just before it.
    bool readText(xls::CRecords& record, xls::CPieces& pieces, bool biff8, QTextCodec* codec, Shown& shown,
                  QString& error);

    // Whether a formula still waits for its STRING record; then why that is refused.
    bool waiting() const { return m_pendingRow >= 0; }
    QString missingText() const;

private:
    // The cell whose formula gave a text result, which the next STRING record carries.
    int m_pendingRow = -1;
    int m_pendingColumn = -1;
    quint16 m_pendingXf = 0;
};

} // namespace WB
