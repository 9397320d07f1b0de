#include "detail/creditdataquerydata.h"

#include "common/hpftablesetup.h"

#include <limits>

namespace DVK {

CCreditDataQueryData::CCreditDataQueryData() = default;
CCreditDataQueryData::~CCreditDataQueryData() = default;

QString CCreditDataQueryData::getTextFromAll(int column)
{
    return getText(column);
}

QString CCreditDataQueryData::getText(int column)
{
    switch (column) {
    case 0: return stockCode;
    case 1: return exchangeName;
    case 2:
        // Through the virtual getDouble so the text always matches the value the column sorts by.
        return WB::formatDoubleNumber(getDouble(2), 2, utils::CFlags<utils::EFormatNumberFlag>(), false,
                                      QStringLiteral("非法值"));
    case 3: return stockName;
    default: return QStringLiteral("-");
    }
}

int CCreditDataQueryData::getInt(int)
{
    return std::numeric_limits<int>::max();
}

double CCreditDataQueryData::getDouble(int column)
{
    return column == 2 ? ratio : std::numeric_limits<double>::max();
}

long long CCreditDataQueryData::getLonglong(int)
{
    return std::numeric_limits<long long>::max();
}

const QColor* CCreditDataQueryData::getTextColor(int)
{
    return defaultTextColor();
}

std::string CCreditDataQueryData::getKey()
{
    return rowKey.toUtf8().toStdString();
}

} // namespace DVK
