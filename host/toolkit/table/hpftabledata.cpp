#include "hosttoolkit.h"

#include <limits>

namespace WB {

IBaseHpfTableData::IBaseHpfTableData() = default;

IBaseHpfTableData::~IBaseHpfTableData() = default;

QString IBaseHpfTableData::getTextFromAll(int column)
{
    return getText(column);
}

QString IBaseHpfTableData::getText(int)
{
    return QString();
}

int IBaseHpfTableData::getInt(int)
{
    return std::numeric_limits<int>::max();
}

double IBaseHpfTableData::getDouble(int)
{
    return std::numeric_limits<double>::max();
}

long long IBaseHpfTableData::getLonglong(int)
{
    return std::numeric_limits<long long>::max();
}

const QColor* IBaseHpfTableData::getTextColor(int)
{
    return utils::CSingletonT<CUiResource>::instance()->getColor(QStringLiteral("cle_default"));
}

std::string IBaseHpfTableData::getKey()
{
    return std::string();
}

QString IBaseHpfTableData::qsKey()
{
    // Rows are looked up by key on every paint of a button cell; converting once is enough
    // because a row's key does not change after it is added.
    // An empty key stays null and is converted again, which costs nothing.
    if (m_qsKey.isNull())
        m_qsKey = QString::fromStdString(getKey());
    return m_qsKey;
}

void IBaseHpfTableData::assign(const IBaseHpfTableData&)
{
    // The cached key belongs to this row's own getKey(), which the derived copy may change.
    m_qsKey = QString();
}

} // namespace WB
