#include "panel/creditdatamaindata.h"

#include "panel/creditdatamainmodel.h"

#include <limits>

namespace DVK {

QString CCreditDataMainData::getTextFromAll(int column)
{
    return getText(column);
}

QString CCreditDataMainData::getText(int column)
{
    switch (column) {
    case eMainColumnBrokerName: return brokerName;
    case eMainColumnTradingDay: return tradingDay;
    case eMainColumnLastUploadDate: return lastUploadDate;
    default:
        // The operation column's buttons are drawn by the delegate over this text.
        return QStringLiteral("-");
    }
}

// The parentheses keep a function-like max macro (Windows headers) from expanding here.
int CCreditDataMainData::getInt(int)
{
    return (std::numeric_limits<int>::max)();
}

double CCreditDataMainData::getDouble(int)
{
    return (std::numeric_limits<double>::max)();
}

long long CCreditDataMainData::getLonglong(int)
{
    return (std::numeric_limits<long long>::max)();
}

const QColor* CCreditDataMainData::getTextColor(int)
{
    return utils::CSingletonT<WB::CUiResource>::instance()->getColor(QStringLiteral("cle_default"));
}

std::string CCreditDataMainData::getKey()
{
    return rowKey.toUtf8().toStdString();
}

} // namespace DVK
