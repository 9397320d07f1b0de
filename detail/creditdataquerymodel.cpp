#include "detail/creditdataquerymodel.h"

#include "common/hpftablesetup.h"

namespace DVK {

CCreditDataQueryModel::CCreditDataQueryModel()
    : WB::IBaseHpfTableModel(true)
{
}

CCreditDataQueryModel::~CCreditDataQueryModel() = default;

int CCreditDataQueryModel::columnCount()
{
    return 4;
}

QString CCreditDataQueryModel::headerText(int column)
{
    switch (column) {
    case 0: return QStringLiteral("证券代码");
    case 1: return QStringLiteral("交易所名称");
    case 2: return QStringLiteral("担保品折算比例");
    case 3: return QStringLiteral("证券名称");
    default: return QString();
    }
}

QVariant::Type CCreditDataQueryModel::columnType(int column)
{
    switch (column) {
    case 0:
    case 1:
    case 3: return QVariant::String;
    case 2:
        // Sorted by the ratio itself, not by its formatted text.
        return QVariant::Double;
    default: return QVariant::Invalid;
    }
}

QString CCreditDataQueryModel::columnAuxText(int)
{
    return QString();
}

bool CCreditDataQueryModel::columnAuxFlag(int)
{
    return false;
}

const QColor* CCreditDataQueryModel::rowBackgroundColor(int row)
{
    return alternatingRowColor(row);
}

utils::CFlags<utils::EFormatNumberFlag> CCreditDataQueryModel::columnFlag(int)
{
    return utils::CFlags<utils::EFormatNumberFlag>();
}

} // namespace DVK
