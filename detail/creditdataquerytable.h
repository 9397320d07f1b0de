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
    // Created here, owned by the host table (setDataModel); kept to reach it typed.
    CCreditDataQueryModel* dataModel = nullptr;
};

} // namespace DVK
