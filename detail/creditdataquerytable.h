#pragma once

#include "hosttoolkit.h"

namespace DVK {

class CCreditDataQueryModel;

// The detail table of the query dialog. It adds no signal, slot or property, so it has no
// meta-object of its own: to Qt it is the host table.
class CCreditDataQueryTable : public WB::CStandardHpfTable
{
public:
    CCreditDataQueryTable(int tableId, QWidget* parent);
    ~CCreditDataQueryTable() override;

    CCreditDataQueryModel* getDataModel() const;

private:
    // Created here, owned by the host table (setDataModel); kept to reach it typed.
    CCreditDataQueryModel* dataModel = nullptr;
};

} // namespace DVK
