#pragma once

#include "hosttoolkit.h"

namespace DVK {

class CCreditDataMainModel;

// The broker summary table of the panel. It adds no signal, slot or property, so it has no
// meta-object of its own: to Qt it is the host table.
class CCreditDataMainTable : public WB::CStandardHpfTable
{
public:
    CCreditDataMainTable(int tableId, QWidget* parent);
    ~CCreditDataMainTable() override;

    CCreditDataMainModel* getDataModel() const;

private:
    // Created here, owned by the host table (setDataModel); kept to reach it typed.
    CCreditDataMainModel* dataModel = nullptr;
};

} // namespace DVK
