#include "creditqueries.h"

#include "brokerkey.h"
#include "hostaccess.h"
#include "sqldialect.h"
#include "uploadvalidation.h"
#include "utf8sequence.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <boost/make_shared.hpp>

namespace rqservice {

namespace {

// QString::toStdString goes through a QByteArray: one allocation and copy more per cell, which
// shows on a 100,000-row detail. A cell is encoded on the stack, so a short one ends in the
// string's own buffer with no allocation at all. Lone surrogates are left to Qt's conversion.
std::string fieldText(const QVariant& value)
{
    const QString text = value.toString();
    const ushort* in = text.utf16();
    const int size = text.size();
    char small[192];
    std::string large;
    if (size_t(size) * 3 > sizeof(small))
        large.resize(size_t(size) * 3);
    char* const begin = large.empty() ? small : &large[0];
    char* p = begin;
    for (int i = 0; i < size; ++i) {
        char32_t c = in[i];
        if (QChar::isSurrogate(c)) {
            if (!QChar::isHighSurrogate(c) || i + 1 == size || !QChar::isLowSurrogate(in[i + 1]))
                return text.toStdString();
            c = QChar::surrogateToUcs4(ushort(c), in[++i]);
        }
        p = utf8::writeSequence(c, p);
    }
    if (large.empty())
        return std::string(begin, p);
    large.resize(size_t(p - begin));
    return large;
}

} // namespace

CCreditQueries::CCreditQueries(QSqlDatabase& db, const ISqlDialect& dialect)
    : m_db(db)
    , m_dialect(dialect)
{
}

utils::RQError CCreditQueries::findBroker(int keyNo, const std::string& id, Broker& broker)
{
    QSqlQuery q(m_db);
    q.setForwardOnly(m_dialect.forwardOnlyReads());
    if (keyNo == -1) {
        q.prepare(QStringLiteral("SELECT broker_key_no, broker_id, broker_name FROM brokers WHERE broker_id = ? "
                                 "ORDER BY broker_key_no LIMIT 2"));
        q.bindValue(0, QString::fromStdString(id));
    } else {
        q.prepare(QStringLiteral("SELECT broker_key_no, broker_id, broker_name FROM brokers "
                                 "WHERE broker_key_no = ? AND broker_id = ?"));
        q.bindValue(0, keyNo);
        q.bindValue(1, QString::fromStdString(id));
    }
    if (!q.exec()) {
        return utils::RQError::failure(m_dialect.describeError(q.lastError(), "查询券商"));
    }
    const std::string key = CBrokerKey{keyNo, id}.toString();
    if (!q.next()) {
        return utils::RQError::failure("未找到券商: " + key);
    }
    broker.keyNo = q.value(0).toInt();
    broker.id = fieldText(q.value(1));
    broker.name = fieldText(q.value(2));
    if (q.next()) {
        return utils::RQError::failure("券商代码不唯一, 请指定券商编号: " + key);
    }
    return utils::RQError();
}

utils::RQError CCreditQueries::summary(const QDate& tradingDay, std::vector<IDataPtr>& records)
{
    QSqlQuery q(m_db);
    q.setForwardOnly(m_dialect.forwardOnlyReads());
    // The newest id is the broker's last committed upload (writers of a broker queue in id order).
    if (!q.exec(QStringLiteral("SELECT b.broker_key_no, b.broker_id, b.broker_name, u.id, u.upload_date "
                               "FROM brokers b LEFT JOIN uploads u ON u.id = "
                               "(SELECT max(id) FROM uploads WHERE broker_key_no = b.broker_key_no) "
                               "ORDER BY b.broker_key_no"))) {
        return utils::RQError::failure(m_dialect.describeError(q.lastError(), "查询券商汇总"));
    }
    const std::string today = tradingDay.toString(QStringLiteral("yyyyMMdd")).toStdString();
    while (q.next()) {
        boost::shared_ptr<CVoprCvionRateBaseInfo> r = boost::make_shared<CVoprCvionRateBaseInfo>();
        r->brokerKeyNo = q.value(0).toInt();
        r->brokerId = fieldText(q.value(1));
        r->brokerName = fieldText(q.value(2));
        r->tradingDay = today;
        if (!q.value(3).isNull()) {
            standin::CHostAccess::uploadId(*r) = q.value(3).toLongLong();
            r->lastUploadDate = fieldText(q.value(4));
        }
        records.push_back(r);
    }
    if (q.lastError().isValid()) {
        records.clear();
        return utils::RQError::failure(m_dialect.describeError(q.lastError(), "查询券商汇总"));
    }
    return utils::RQError();
}

utils::RQError CCreditQueries::detail(const std::string& key, std::vector<IDataPtr>& records)
{
    CBrokerKey parsed;
    if (unstorable(key)) {
        return utils::RQError::failure("查询条件格式错误: 含有无法识别的字符");
    }
    if (!CBrokerKey::parse(key, parsed)) {
        return utils::RQError::failure("查询条件格式错误: \"" + key + "\", 应为 券商编号____券商代码");
    }
    Broker broker;
    const utils::RQError found = findBroker(parsed.brokerKeyNo, parsed.brokerId, broker);
    if (!found.isSuccess()) {
        return found;
    }
    boost::shared_ptr<CVoprCvionRateDetail> detail = boost::make_shared<CVoprCvionRateDetail>();
    detail->brokerKeyNo = broker.keyNo;
    detail->brokerId = broker.id;
    detail->brokerName = broker.name;
    // One statement, so a concurrent upload is seen whole or not at all.
    const utils::RQError read = readRatios(
        QStringLiteral("SELECT line_no, exchange_name, stock_code, stock_name, ratio FROM ratios "
                       "WHERE upload_id = (SELECT max(id) FROM uploads WHERE broker_key_no = ?) ORDER BY line_no"),
        broker, broker.keyNo, detail->subjects);
    if (!read.isSuccess()) {
        return read;
    }
    records.push_back(detail);
    return utils::RQError();
}

utils::RQError CCreditQueries::readRatios(const QString& sql, const Broker& broker, long long key,
                                          std::vector<CStkSubjectsPtr>& rows)
{
    QSqlQuery q(m_db);
    q.setForwardOnly(m_dialect.forwardOnlyReads());
    q.prepare(sql);
    q.bindValue(0, key);
    if (!q.exec()) {
        return utils::RQError::failure(m_dialect.describeError(q.lastError(), "查询折算率明细"));
    }
    while (q.next()) {
        CStkSubjectsPtr s = boost::make_shared<CStkSubjects>();
        s->brokerKeyNo = broker.keyNo;
        s->brokerId = broker.id;
        s->brokerName = broker.name;
        standin::CHostAccess::lineNo(*s) = q.value(0).toInt();
        s->exchangeName = fieldText(q.value(1));
        s->stockCode = fieldText(q.value(2));
        s->stockName = fieldText(q.value(3));
        s->ratio = q.value(4).toDouble();
        rows.push_back(s);
    }
    if (q.lastError().isValid()) {
        rows.clear();
        return utils::RQError::failure(m_dialect.describeError(q.lastError(), "查询折算率明细"));
    }
    return utils::RQError();
}

utils::RQError CCreditQueries::history(int keyNo, int count, int version, std::vector<UploadEntry>& uploads)
{
    QSqlQuery q(m_db);
    q.setForwardOnly(m_dialect.forwardOnlyReads());
    const QString audit = version >= 3   ? QStringLiteral("user_name, row_count, client_user, restored_from")
                          : version == 2 ? QStringLiteral("NULL, row_count, user_name, NULL")
                                         : QStringLiteral("NULL, (SELECT count(*) FROM ratios WHERE ratios.upload_id "
                                                          "= uploads.id), NULL, NULL");
    q.prepare(QStringLiteral("SELECT id, upload_date, upload_time, %1 FROM uploads "
                             "WHERE broker_key_no = ? ORDER BY id DESC LIMIT ?")
                  .arg(audit));
    q.bindValue(0, keyNo);
    q.bindValue(1, count);
    if (!q.exec()) {
        return utils::RQError::failure(m_dialect.describeError(q.lastError(), "查询上传记录"));
    }
    while (q.next()) {
        UploadEntry u;
        u.id = q.value(0).toLongLong();
        u.date = fieldText(q.value(1));
        u.time = fieldText(q.value(2));
        u.user = q.value(3).isNull() ? std::string() : fieldText(q.value(3));
        u.rows = q.value(4).toLongLong();
        u.clientUser = q.value(5).isNull() ? std::string() : fieldText(q.value(5));
        u.restoredFrom = q.value(6).toLongLong();
        uploads.push_back(u);
    }
    if (q.lastError().isValid()) {
        uploads.clear();
        return utils::RQError::failure(m_dialect.describeError(q.lastError(), "查询上传记录"));
    }
    return utils::RQError();
}

utils::RQError CCreditQueries::uploadRows(const Broker& broker, long long uploadId, std::vector<CStkSubjectsPtr>& rows)
{
    return readRatios(QStringLiteral("SELECT r.line_no, r.exchange_name, r.stock_code, r.stock_name, r.ratio "
                                     "FROM ratios r JOIN uploads u ON u.id = r.upload_id "
                                     "WHERE r.upload_id = ? AND u.broker_key_no = %1 ORDER BY r.line_no")
                          .arg(broker.keyNo),
                      broker, uploadId, rows);
}

} // namespace rqservice
