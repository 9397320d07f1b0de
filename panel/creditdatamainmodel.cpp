#include "panel/creditdatamainmodel.h"

#include "common/hpftablesetup.h"

namespace DVK {

namespace {
constexpr int kColumnCount = 4;
}

// A broker's rows are replaced as a whole; a repeated key replaces the earlier row in place.
CCreditDataMainModel::CCreditDataMainModel()
    : WB::IBaseHpfTableModel(true)
{
}

CCreditDataMainModel::~CCreditDataMainModel() = default;

int CCreditDataMainModel::columnCount()
{
    return kColumnCount;
}

QString CCreditDataMainModel::headerText(int column)
{
    switch (column) {
    case 0: return QStringLiteral("券商名");
    case 1: return QStringLiteral("当前交易日");
    case 2: return QStringLiteral("最近上传日期");
    case 3: return QStringLiteral("操作");
    default: return QString();
    }
}

QVariant::Type CCreditDataMainModel::columnType(int column)
{
    return column >= 0 && column < kColumnCount ? QVariant::String : QVariant::Invalid;
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
