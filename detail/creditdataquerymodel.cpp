#include "detail/creditdataquerymodel.h"

#include "detail/creditdataquerydata.h"
#include "panel/hpftablesetup.h"

#include <boost/make_shared.hpp>

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

void CCreditDataQueryModel::setSubjects(const std::vector<rqservice::CStkSubjectsPtr>& subjects)
{
    clear();
    reserve(int(subjects.size()));
    // A detail lists a handful of exchanges: one shared text each instead of one per row.
    std::string lastExchange;
    QString exchange;
    for (const rqservice::CStkSubjectsPtr& subject : subjects) {
        if (!subject) {
            continue;
        }
        auto row = boost::make_shared<CCreditDataQueryData>();
        row->brokerKeyNo = subject->brokerKeyNo;
        row->rowKey = subject->getCsKey();
        row->stockCode = WB::sToQs(subject->stockCode);
        if (exchange.isNull() || lastExchange != subject->exchangeName) {
            lastExchange = subject->exchangeName;
            exchange = WB::sToQs(lastExchange);
        }
        row->exchangeName = exchange;
        row->ratio = subject->ratio;
        row->stockName = WB::sToQs(subject->stockName);
        addData(row);
    }
}

} // namespace DVK
