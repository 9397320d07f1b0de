#include "panel/creditdatamaintable.h"

#include "common/hpftablesetup.h"
#include "panel/creditdatamainmodel.h"

namespace DVK {

CCreditDataMainTable::CCreditDataMainTable(int tableId, QWidget* parent)
    : WB::CStandardHpfTable(tableId, parent, kEveryTableMenu)
{
    trimStandardTable(this, m_pContextMenu, m_pRefreshAction);
    dataModel = new CCreditDataMainModel();
    setDataModel(dataModel);
    for (const int column : {eMainColumnBrokerName, eMainColumnTradingDay, eMainColumnLastUploadDate}) {
        setColumnFilterable(column, true);
    }
}

// The host table deletes the model it was given.
CCreditDataMainTable::~CCreditDataMainTable() = default;

CCreditDataMainModel* CCreditDataMainTable::getDataModel() const
{
    return dataModel;
}

} // namespace DVK
