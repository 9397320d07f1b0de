#include "detail/creditdataquerydata.h"

#include "detail/creditdataquerymodel.h"

#include <limits>

namespace DVK {

namespace {
constexpr int kRatioDecimals = 2;
}

QString CCreditDataQueryData::getTextFromAll(int column)
{
    return getText(column);
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

// The parentheses keep a function-like max macro (Windows headers) from expanding here.
int CCreditDataQueryData::getInt(int)
{
    return (std::numeric_limits<int>::max)();
}

double CCreditDataQueryData::getDouble(int column)
{
    return column == eQueryColumnRatio ? ratio : (std::numeric_limits<double>::max)();
}

long long CCreditDataQueryData::getLonglong(int)
{
    return (std::numeric_limits<long long>::max)();
}

const QColor* CCreditDataQueryData::getTextColor(int)
{
    return utils::CSingletonT<WB::CUiResource>::instance()->getColor(QStringLiteral("cle_default"));
}

std::string CCreditDataQueryData::getKey()
{
    return rowKey.toUtf8().toStdString();
}

} // namespace DVK
