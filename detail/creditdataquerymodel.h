#pragma once

#include "hosttoolkit.h"

namespace DVK {

// Columns of a broker's detail: code, exchange, conversion ratio (a number), name.
class CCreditDataQueryModel : public WB::IBaseHpfTableModel
{
public:
    CCreditDataQueryModel();
    ~CCreditDataQueryModel() override;

    int columnCount() override;
    QString headerText(int column) override;
    QVariant::Type columnType(int column) override;
    QString columnAuxText(int column) override;
    bool columnAuxFlag(int column) override;
    const QColor* rowBackgroundColor(int row) override;
    utils::CFlags<utils::EFormatNumberFlag> columnFlag(int column) override;
};

} // namespace DVK
