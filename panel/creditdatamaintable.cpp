#include "panel/creditdatamaintable.h"

#include "panel/creditdatamainmodel.h"
#include "panel/hpftablesetup.h"

namespace DVK {

CCreditDataMainTable::CCreditDataMainTable(int tableId, QWidget* parent)
    : WB::CStandardHpfTable(tableId, parent, QFlags<WB::EBaseTableMenuFlag>(QFlag(0xFF)))
{
    trimStandardTable(this, m_pContextMenu, m_pRefreshAction);
    dataModel = new CCreditDataMainModel();
    setDataModel(dataModel);
    for (int column = 0; column < 3; ++column) {
        setColumnFilterable(column, true);
    }
}

CCreditDataMainTable::~CCreditDataMainTable()
{
    // The host table does not own its model; it lets go of one deleted before it.
    delete dataModel;
}

CCreditDataMainModel* CCreditDataMainTable::getDataModel() const
{
    return dataModel;
}

} // namespace DVK
