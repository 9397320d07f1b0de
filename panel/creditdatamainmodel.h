#pragma once

#include "hosttoolkit.h"

namespace DVK {

// Columns of the broker summary: name, trading day, last upload date, operation buttons.
class CCreditDataMainModel : public WB::IBaseHpfTableModel
{
public:
    CCreditDataMainModel();
    ~CCreditDataMainModel() override;

    int columnCount() override;
    QString headerText(int column) override;
    QVariant::Type columnType(int column) override;
    QString columnAuxText(int column) override;
    bool columnAuxFlag(int column) override;
    const QColor* rowBackgroundColor(int row) override;
    utils::CFlags<utils::EFormatNumberFlag> columnFlag(int column) override;
};

} // namespace DVK
