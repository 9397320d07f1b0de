#include "biffrecords.h"

namespace WB {
namespace xls {

double rkValue(quint32 rk)
{
    double value;
    if (rk & 2) {
        value = double(qint32(rk) >> 2);
    } else {
        const quint64 bits = quint64(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return (rk & 1) ? value / 100 : value;
}

QString cellName(int row, int column)
{
    QString letters;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        letters.prepend(QLatin1Char(char('A' + (c - 1) % 26)));
    return letters + QString::number(row + 1);
}

bool errorText(quint8 code, QString& text)
{
    switch (code) {
    case 0x00: text = QStringLiteral("#NULL!"); return true;
    case 0x07: text = QStringLiteral("#DIV/0!"); return true;
    case 0x0F: text = QStringLiteral("#VALUE!"); return true;
    case 0x17: text = QStringLiteral("#REF!"); return true;
    case 0x1D: text = QStringLiteral("#NAME?"); return true;
    case 0x24: text = QStringLiteral("#NUM!"); return true;
    case 0x2A: text = QStringLiteral("#N/A"); return true;
    case 0x2B: text = QStringLiteral("#GETTING_DATA"); return true;
    default: return false;
    }
}

QTextCodec* codecFor(quint16 codePage)
{
    QTextCodec* codec = nullptr;
    if (codePage == 10000)
        codec = QTextCodec::codecForName("macintosh");
    else if (codePage != 1200)
        codec = QTextCodec::codecForName("windows-" + QByteArray::number(codePage));
    if (!codec && codePage != 1200)
        codec = QTextCodec::codecForName("CP" + QByteArray::number(codePage));
    return codec ? codec : QTextCodec::codecForName("windows-1252");
}

QString unpairedRefusal(const QString& what, QChar half)
{
    return QStringLiteral("%1 holds an unpaired surrogate (U+%2)")
        .arg(what, QString::number(half.unicode(), 16).toUpper());
}

bool isCellRecord(quint16 type)
{
    switch (type) {
    case kFormula:
    case kFormulaBiff3:
    case kMulRk:
    case kMulBlank:
    case kRString:
    case kLabelSst:
    case kBlank:
    case kNumber:
    case kLabel:
    case kBoolErr:
    case kRk: return true;
    default: return false;
    }
}

} // namespace xls
} // namespace WB
