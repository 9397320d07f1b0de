#include "panel/creditdatamaindata.h"

#include "common/hpftablesetup.h"

#include <limits>

namespace DVK {

CCreditDataMainData::CCreditDataMainData() = default;
CCreditDataMainData::~CCreditDataMainData() = default;

QString CCreditDataMainData::getTextFromAll(int column)
{
    return getText(column);
}

QString CCreditDataMainData::getText(int column)
{
    switch (column) {
    case 0: return brokerName;
    case 1: return tradingDay;
    case 2: return lastUploadDate;
    default:
        // Column 3 shows buttons drawn by the delegate over this text.
        return QStringLiteral("-");
    }
}

int CCreditDataMainData::getInt(int)
{
    return std::numeric_limits<int>::max();
}

double CCreditDataMainData::getDouble(int)
{
    return std::numeric_limits<double>::max();
}

long long CCreditDataMainData::getLonglong(int)
{
    return std::numeric_limits<long long>::max();
}

const QColor* CCreditDataMainData::getTextColor(int)
{
    return defaultTextColor();
}

std::string CCreditDataMainData::getKey()
{
    return rowKey.toUtf8().toStdString();
}

} // namespace DVK
