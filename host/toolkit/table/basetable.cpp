#include "hosttoolkit.h"

namespace WB {

IBaseTable::IBaseTable(int id, QWidget* parent)
    : CBaseWidget(parent)
    , m_id(id)
{
}

IBaseTable::~IBaseTable() = default;

int IBaseTable::tableId() const
{
    return m_id;
}

} // namespace WB
