#include "panel/brokersummary.h"

#include <QDateTime>
#include <QHash>

#include <boost/make_shared.hpp>
#include <boost/pointer_cast.hpp>

namespace DVK {

namespace {

struct ListedRow
{
    boost::shared_ptr<CCreditDataMainData> row; // null once a later upload replaced it
    QDateTime uploaded;
};

boost::shared_ptr<CCreditDataMainData> rowFrom(const rqservice::CVoprCvionRateBaseInfo& info)
{
    auto row = boost::make_shared<CCreditDataMainData>();
    row->brokerKeyNo = info.brokerKeyNo;
    row->brokerId = info.brokerId;
    row->rowKey = WB::sToQs(info.getCsKey());
    row->brokerName = WB::sToQs(info.brokerName);
    row->tradingDay = WB::sToQs(info.tradingDay);
    row->lastUploadDate = WB::sToQs(info.lastUploadDate);
    return row;
}

} // namespace

std::vector<boost::shared_ptr<CCreditDataMainData>>
condenseBrokerSummary(const std::vector<rqservice::IDataPtr>& records)
{
    const QString dateFormat = QStringLiteral("yyyyMMdd");
    // A replaced row leaves a hole instead of being erased, so one answer stays linear in its size.
    std::vector<ListedRow> listed;
    QHash<QString, size_t> positionByName;
    listed.reserve(records.size());
    // An answer repeats few dates, and parsing one costs far more than looking it up.
    QHash<QString, QDateTime> parsedDates;
    const auto uploadDate = [&](const QString& text) {
        auto found = parsedDates.find(text);
        if (found == parsedDates.end()) {
            found = parsedDates.insert(text, QDateTime::fromString(text, dateFormat));
        }
        return found.value();
    };

    for (const rqservice::IDataPtr& record : records) {
        const auto info = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateBaseInfo>(record);
        if (!info) {
            continue;
        }
        auto row = rowFrom(*info);
        ListedRow incoming{row, uploadDate(row->lastUploadDate)};
        const auto found = positionByName.find(incoming.row->brokerName);
        if (found == positionByName.end()) {
            positionByName.insert(incoming.row->brokerName, listed.size());
            listed.push_back(std::move(incoming));
        } else if (incoming.uploaded > listed[found.value()].uploaded) {
            listed[found.value()].row.reset();
            found.value() = listed.size();
            listed.push_back(std::move(incoming));
        }
    }

    std::vector<boost::shared_ptr<CCreditDataMainData>> rows;
    rows.reserve(positionByName.size());
    for (ListedRow& entry : listed) {
        if (entry.row) {
            rows.push_back(std::move(entry.row));
        }
    }
    return rows;
}

} // namespace DVK
