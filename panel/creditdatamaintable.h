#pragma once

#include "hosttoolkit.h"

namespace DVK {

class CCreditDataMainModel;

// The broker summary table of the panel.
class CCreditDataMainTable : public WB::CStandardHpfTable
{
    Q_OBJECT
public:
    CCreditDataMainTable(int tableId, QWidget* parent);
    ~CCreditDataMainTable() override;

    CCreditDataMainModel* getDataModel() const;

private:
    // Created here, owned by the host table (setDataModel); kept to reach it typed.
    CCreditDataMainModel* dataModel = nullptr;
};

} // namespace DVK
