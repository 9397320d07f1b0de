#pragma once

#include "hosttoolkit.h"

namespace DVK {

// A broker's detail columns, by id, in the order they stand.
enum ECreditDataQueryColumn
{
    eQueryColumnCode,
    eQueryColumnExchange,
    eQueryColumnRatio, // the only number
    eQueryColumnName,
    eQueryColumnCount,
};

// Code and exchange filter; the ratio sorts by its value.
class CCreditDataQueryModel : public WB::IBaseHpfTableModel
{
public:
    CCreditDataQueryModel();

    int columnCount() override;
    QString headerText(int column) override;
    QVariant::Type columnType(int column) override;
    QString columnAuxText(int column) override;
    bool columnAuxFlag(int column) override;
    const QColor* rowBackgroundColor(int row) override;
    utils::CFlags<utils::EFormatNumberFlag> columnFlag(int column) override;
};

} // namespace DVK
