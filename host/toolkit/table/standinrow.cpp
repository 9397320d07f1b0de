#include "standinrow.h"

#include <limits>

namespace standin {

QString CPlainRow::getTextFromAll(int column)
{
    return getText(column);
}

QString CPlainRow::getText(int)
{
    return QString();
}

int CPlainRow::getInt(int)
{
    return std::numeric_limits<int>::max();
}

double CPlainRow::getDouble(int)
{
    return std::numeric_limits<double>::max();
}

long long CPlainRow::getLonglong(int)
{
    return std::numeric_limits<long long>::max();
}

const QColor* CPlainRow::getTextColor(int)
{
    return utils::CSingletonT<WB::CUiResource>::instance()->getColor(QStringLiteral("cle_default"));
}

std::string CPlainRow::getKey()
{
    return std::string();
}

} // namespace standin
