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
    // Created here and handed to the host table, whose lifetime it shares.
    CCreditDataQueryModel* dataModel = nullptr;
};

} // namespace DVK
