#pragma once

#include "hosttoolkit.h"

namespace DVK {

class CCreditDataQueryModel;

// The detail table of the query dialog.
class CCreditDataQueryTable : public WB::CStandardHpfTable
{
    Q_OBJECT
public:
    CCreditDataQueryTable(int tableId, QWidget* parent);
    ~CCreditDataQueryTable() override;

    CCreditDataQueryModel* getDataModel() const;

private:
    // Created and deleted here: the host table only borrows it.
    CCreditDataQueryModel* dataModel = nullptr;
};

} // namespace DVK
