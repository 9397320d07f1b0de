#include "panel/creditdatamaindata.h"

#include "panel/creditdatamainmodel.h"

namespace DVK {

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

std::string CCreditDataMainData::getKey()
{
    return rowKey.toUtf8().toStdString();
}

} // namespace DVK
