#include "hosttoolkit.h"

namespace WB {

IBaseHpfTableData::IBaseHpfTableData() = default;

IBaseHpfTableData::~IBaseHpfTableData() = default;

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
