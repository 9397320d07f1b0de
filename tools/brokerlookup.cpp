#include "brokerlookup.h"

#include <QStringList>

#include <boost/pointer_cast.hpp>

#include <set>

namespace DVK {

namespace {

constexpr int kBrokersNamed = 20; // in the message for a broker the server does not know

using BaseInfoPtr = boost::shared_ptr<rqservice::CVoprCvionRateBaseInfo>;

std::vector<BaseInfoPtr> recordsWith(const std::vector<rqservice::IDataPtr>& summary, const std::string* brokerId,
                                     const std::string* brokerName)
{
    std::vector<BaseInfoPtr> found;
    for (const rqservice::IDataPtr& record : summary) {
        const auto info = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateBaseInfo>(record);
        if (info && (!brokerId || info->brokerId == *brokerId) && (!brokerName || info->brokerName == *brokerName))
            found.push_back(info);
    }
    return found;
}

} // namespace

BrokerLookup lookUpBroker(const std::vector<rqservice::IDataPtr>& summary, const std::string* brokerId,
                          const std::string* brokerName)
{
    BrokerLookup lookup;
    std::vector<BaseInfoPtr> named = recordsWith(summary, brokerId, brokerName);
    if (named.empty())
        return lookup;
    if (!brokerId) {
        QStringList ids;
        for (const BaseInfoPtr& info : named) {
            const QString id = QString::fromStdString(info->brokerId);
            if (!ids.contains(id))
                ids << id;
        }
        if (ids.size() > 1) {
            lookup.refusal = QStringLiteral("%1 brokers are named %2, with the ids %3: give --broker-id")
                                 .arg(ids.size())
                                 .arg(QString::fromStdString(*brokerName), ids.join(QStringLiteral(", ")));
            return lookup;
        }
    }
    lookup.record = named.front();
    QStringList keys;
    for (const BaseInfoPtr& info : recordsWith(summary, &lookup.record->brokerId, nullptr)) {
        const QString key = QString::number(info->brokerKeyNo);
        if (!keys.contains(key))
            keys << key;
    }
    // The dialog keys an upload by the first record with the chosen id, whichever item was chosen.
    if (keys.size() > 1)
        lookup.note = QStringLiteral("the id %1 is on records with the key numbers %2; this is key %3, and the "
                                     "upload dialog sends under %4, the first")
                          .arg(QString::fromStdString(lookup.record->brokerId), keys.join(QStringLiteral(", ")))
                          .arg(lookup.record->brokerKeyNo)
                          .arg(keys.first());
    return lookup;
}

QString knownBrokers(const std::vector<rqservice::IDataPtr>& summary)
{
    std::set<std::string> seen;
    QStringList names;
    for (const rqservice::IDataPtr& record : summary) {
        const auto info = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateBaseInfo>(record);
        if (info && seen.insert(info->brokerId).second && names.size() < kBrokersNamed)
            names << QStringLiteral("%1 (%2)").arg(QString::fromStdString(info->brokerName),
                                                   QString::fromStdString(info->brokerId));
    }
    return names.isEmpty() ? QStringLiteral("none") : names.join(QStringLiteral(", "));
}

} // namespace DVK
