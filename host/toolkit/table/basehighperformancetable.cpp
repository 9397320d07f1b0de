#include "hosttoolkit.h"

namespace WB {

CBaseHighPerformanceTable::CBaseHighPerformanceTable(int id, QWidget* parent)
    : IBaseTable(id, parent)
{
}

CBaseHighPerformanceTable::~CBaseHighPerformanceTable() = default;

} // namespace WB
