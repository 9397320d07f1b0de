#include "detail/creditdataquerytable.h"

#include "common/hpftablesetup.h"
#include "detail/creditdataquerymodel.h"

namespace DVK {

CCreditDataQueryTable::CCreditDataQueryTable(int tableId, QWidget* parent)
    : WB::CStandardHpfTable(tableId, parent, kEveryTableMenu)
{
    trimStandardTable(this, m_pContextMenu, m_pRefreshAction);
    dataModel = new CCreditDataQueryModel();
    setDataModel(dataModel);
    // The ratio and the name are too varied to filter by.
    setColumnFilterable(eQueryColumnCode, true);
    setColumnFilterable(eQueryColumnExchange, true);
}

// The host table deletes the model it was given.
CCreditDataQueryTable::~CCreditDataQueryTable() = default;

CCreditDataQueryModel* CCreditDataQueryTable::getDataModel() const
{
    return dataModel;
}

} // namespace DVK
