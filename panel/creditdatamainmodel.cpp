#include "panel/creditdatamainmodel.h"

#include "common/hpftablesetup.h"

namespace DVK {

// A row added under the key of a stored row replaces it in place.
CCreditDataMainModel::CCreditDataMainModel()
    : WB::IBaseHpfTableModel(true)
{
}

int CCreditDataMainModel::columnCount()
{
    return eMainColumnCount;
}

QString CCreditDataMainModel::headerText(int column)
{
    switch (column) {
    case eMainColumnBrokerName: return QStringLiteral("券商名");
    case eMainColumnTradingDay: return QStringLiteral("当前交易日");
    case eMainColumnLastUploadDate: return QStringLiteral("最近上传日期");
    case eMainColumnOperation: return QStringLiteral("操作");
    default: return QString();
    }
}

QVariant::Type CCreditDataMainModel::columnType(int column)
{
    return column >= 0 && column < eMainColumnCount ? QVariant::String : QVariant::Invalid;
}

QString CCreditDataMainModel::columnAuxText(int)
{
    return QString();
}

bool CCreditDataMainModel::columnAuxFlag(int)
{
    return false;
}

const QColor* CCreditDataMainModel::rowBackgroundColor(int row)
{
    return alternatingRowColor(row);
}

utils::CFlags<utils::EFormatNumberFlag> CCreditDataMainModel::columnFlag(int)
{
    return utils::CFlags<utils::EFormatNumberFlag>();
}

} // namespace DVK
