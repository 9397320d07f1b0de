#include "detail/creditdataquerymodel.h"

#include "common/hpftablesetup.h"

namespace DVK {

CCreditDataQueryModel::CCreditDataQueryModel()
    : WB::IBaseHpfTableModel(true)
{
}

int CCreditDataQueryModel::columnCount()
{
    return eQueryColumnCount;
}

QString CCreditDataQueryModel::headerText(int column)
{
    switch (column) {
    case eQueryColumnCode: return QStringLiteral("证券代码");
    case eQueryColumnExchange: return QStringLiteral("交易所名称");
    case eQueryColumnRatio: return QStringLiteral("担保品折算比例");
    case eQueryColumnName: return QStringLiteral("证券名称");
    default: return QString();
    }
}

QVariant::Type CCreditDataQueryModel::columnType(int column)
{
    switch (column) {
    case eQueryColumnCode:
    case eQueryColumnExchange:
    case eQueryColumnName: return QVariant::String;
    case eQueryColumnRatio:
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
