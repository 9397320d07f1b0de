#include "detail/creditdataquerydata.h"

#include "detail/creditdataquerymodel.h"

#include <limits>

namespace DVK {

namespace {
constexpr int kRatioDecimals = 2;
}

QString CCreditDataQueryData::getText(int column)
{
    switch (column) {
    case eQueryColumnCode: return stockCode;
    case eQueryColumnExchange: return exchangeName;
    case eQueryColumnRatio:
        // Through the virtual getDouble so the text always matches the value the column sorts by.
        return WB::formatDoubleNumber(getDouble(eQueryColumnRatio), kRatioDecimals,
                                      utils::CFlags<utils::EFormatNumberFlag>(), false, QStringLiteral("非法值"));
    case eQueryColumnName: return stockName;
    default: return QStringLiteral("-");
    }
}

double CCreditDataQueryData::getDouble(int column)
{
    return column == eQueryColumnRatio ? ratio : std::numeric_limits<double>::max();
}

std::string CCreditDataQueryData::getKey()
{
    return rowKey.toUtf8().toStdString();
}

} // namespace DVK
