#include "demodata.h"

#include "standinservice.h"

#include <boost/thread/mutex.hpp>

#include <algorithm>
#include <cstdint>
#include <set>
#include <unordered_set>

namespace {

// Small deterministic generator: the demo must look the same on every machine.
class Lcg
{
public:
    explicit Lcg(uint32_t seed)
        : m_state(seed * 2654435761u + 12345u)
    {
    }
    uint32_t next()
    {
        m_state = m_state * 1664525u + 1013904223u;
        return m_state >> 8;
    }
    int between(int lo, int hi) { return lo + static_cast<int>(next() % static_cast<uint32_t>(hi - lo + 1)); }

private:
    uint32_t m_state;
};

QDate weekdaysBefore(QDate day, int count)
{
    while (count > 0) {
        day = day.addDays(-1);
        if (day.dayOfWeek() <= 5) {
            --count;
        }
    }
    return day;
}

boost::mutex g_seedMutex;
bool g_demoData = true;
std::vector<standin::SeedBroker> g_givenBrokers;

bool demoDataAsked()
{
    boost::mutex::scoped_lock lock(g_seedMutex);
    return g_demoData;
}

bool startsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// Percent points, drawn the way brokers haircut collateral: large caps keep the most value.
int ratioPercent(const rqservice::InstrumentRecord& security, Lcg& random)
{
    static const std::unordered_set<std::string> blueChips = {
        "600519", "600036", "601318", "600900", "601398", "601288", "601988", "600028", "601857", "600276",
        "600030", "601166", "600000", "600887", "601012", "601088", "600309", "000858", "000333", "000651",
        "000002", "000001", "002415", "002594", "000568", "002714", "300750", "300760", "688981", "688111",
    };
    if (security.stockName.find("ST") != std::string::npos || random.between(0, 24) == 0) {
        return 0; // not accepted as collateral
    }
    if (blueChips.count(security.stockCode)) {
        return random.between(65, 70);
    }
    if (security.exchangeId == "BJ") {
        return random.between(40, 50);
    }
    const std::string& code = security.stockCode;
    if (startsWith(code, "300") || startsWith(code, "301") || startsWith(code, "688") || startsWith(code, "689")) {
        return random.between(50, 60);
    }
    return random.between(45, 60);
}

} // namespace

namespace rqservice {

std::vector<CDemoData::Broker> CDemoData::brokers()
{
    {
        boost::mutex::scoped_lock lock(g_seedMutex);
        if (!g_demoData) {
            std::vector<Broker> given;
            for (const standin::SeedBroker& b : g_givenBrokers)
                given.push_back({b.keyNo, b.id.toStdString(), b.name.toStdString()});
            return given;
        }
    }
    return {
        {1, "CITIC", "中信证券"}, {2, "HTSC", "华泰证券"}, {3, "GTJA", "国泰君安"},
        {4, "CMS", "招商证券"},   {5, "GFZQ", "广发证券"}, {6, "HTZQ", "海通证券"},
    };
}

std::vector<CDemoData::Upload> CDemoData::uploads(const QDate& tradingDay,
                                                  const std::vector<InstrumentRecordPtr>& securities)
{
    // Weekdays back from the trading day, per broker; the last broker never uploaded.
    static const std::vector<std::vector<int>> plan = {
        {25, 12, 3}, {18, 6}, {30, 15, 1}, {22, 9}, {40, 20, 11}, {},
    };
    static const char* const times[] = {"091502", "103327", "142210", "160845", "083011"};

    std::vector<Upload> result;
    if (securities.empty() || !demoDataAsked()) {
        return result;
    }
    const std::vector<Broker> all = brokers();
    for (size_t b = 0; b < all.size() && b < plan.size(); ++b) {
        for (size_t u = 0; u < plan[b].size(); ++u) {
            Lcg random(static_cast<uint32_t>(all[b].keyNo * 100 + static_cast<int>(u)));
            Upload upload;
            upload.brokerKeyNo = all[b].keyNo;
            upload.date = weekdaysBefore(tradingDay, plan[b][u]).toString(QStringLiteral("yyyyMMdd"));
            upload.time = QString::fromLatin1(times[(b + u) % 5]);
            const int wanted = std::min(random.between(20, 60), static_cast<int>(securities.size()));
            std::set<size_t> picked;
            while (static_cast<int>(picked.size()) < wanted) {
                picked.insert(random.next() % securities.size());
            }
            for (size_t index : picked) {
                const InstrumentRecord& security = *securities[index];
                Row row{security.exchangeName, security.stockCode, security.stockName,
                        ratioPercent(security, random) / 100.0};
                upload.rows.push_back(row);
            }
            result.push_back(upload);
        }
    }
    return result;
}

} // namespace rqservice

void standin::setNewDatabaseSeed(bool demoData, const std::vector<SeedBroker>& brokers)
{
    boost::mutex::scoped_lock lock(g_seedMutex);
    g_demoData = demoData;
    g_givenBrokers = demoData ? std::vector<SeedBroker>() : brokers;
}
