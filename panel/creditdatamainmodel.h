#pragma once

#include "hosttoolkit.h"

namespace DVK {

// The broker summary's columns, by id, in the order they stand.
enum ECreditDataMainColumn
{
    eMainColumnBrokerName,
    eMainColumnTradingDay,
    eMainColumnLastUploadDate,
    eMainColumnOperation, // the row buttons, drawn by the panel's delegate
    eMainColumnCount,
};

// Every column holds text; the first three filter.
class CCreditDataMainModel : public WB::IBaseHpfTableModel
{
public:
    CCreditDataMainModel();

    int columnCount() override;
    QString headerText(int column) override;
    QVariant::Type columnType(int column) override;
    QString columnAuxText(int column) override;
    bool columnAuxFlag(int column) override;
    const QColor* rowBackgroundColor(int row) override;
    utils::CFlags<utils::EFormatNumberFlag> columnFlag(int column) override;
};

} // namespace DVK
