#include "servicecalls.h"

#include "scriptedservice.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <boost/make_shared.hpp>
#include <boost/thread/thread.hpp>

#include <set>

namespace testsupport {

namespace {

// What start's call answers through the setter it is given, once the service is idle; a failure
// when it was answered other than exactly once.
template <class Outcome, class Start>
Outcome onlyAnswer(rqservice::CEmbeddedDataService& service, Start start)
{
    auto outcome = boost::make_shared<std::pair<Outcome, int>>();
    start([outcome](const Outcome& o) { *outcome = {o, outcome->second + 1}; });
    // waitIdle() returns after the callback ran, so the outcome is complete and visible here.
    service.waitIdle();
    if (outcome->second == 1)
        return outcome->first;
    Outcome failed{};
    failed.error = utils::RQError::failure("answered " + std::to_string(outcome->second) + " times");
    return failed;
}

} // namespace

QueryOutcome queryService(rqservice::CEmbeddedDataService& service, int type, const std::string& key)
{
    auto request = boost::make_shared<rqservice::CVoprQueryDataReq>();
    request->queryType = type;
    request->queryKey = key;
    const boost::thread::id caller = boost::this_thread::get_id();
    return onlyAnswer<QueryOutcome>(service, [&](auto set) {
        service.query(request, [set, caller](const utils::RQError& error,
                                             const std::vector<rqservice::IDataPtr>& records, int, bson::BSONObj) {
            const bool offCaller = boost::this_thread::get_id() != caller;
            set({offCaller ? error : utils::RQError::failure("answered on the caller's thread"), records});
        });
    });
}

HistoryOutcome historyOf(rqservice::CEmbeddedDataService& service, const std::string& key, int count)
{
    return onlyAnswer<HistoryOutcome>(service, [&](auto set) {
        service.history(key, count, [set](const utils::RQError& error, const rqservice::UploadHistory& history) {
            set({error, history});
        });
    });
}

RestoreOutcome restoreUpload(rqservice::CEmbeddedDataService& service, const std::string& key, long long uploadId)
{
    return onlyAnswer<RestoreOutcome>(service, [&](auto set) {
        service.restore(key, uploadId, [set](const utils::RQError& error, const std::string& reply) {
            const QJsonObject answer = QJsonDocument::fromJson(QByteArray::fromStdString(reply)).object();
            set({error, static_cast<long long>(answer.value(QStringLiteral("uploadId")).toDouble())});
        });
    });
}

boost::shared_ptr<rqservice::COperateDataReq> uploadRequest(int keyNo, const std::string& id, const SubjectRows& rows)
{
    auto detail = boost::make_shared<rqservice::CVoprCvionRateDetail>();
    detail->brokerKeyNo = keyNo;
    detail->brokerId = id;
    detail->subjects = rows;
    auto request = boost::make_shared<rqservice::COperateDataReq>();
    request->dataType = rqservice::eDataTypeCvionRateDetail;
    request->operateType = 2;
    request->dataList.push_back(detail);
    return request;
}

SubjectRows uniformRows(int count, double ratio)
{
    SubjectRows rows;
    for (int i = 0; i < count; ++i)
        rows.push_back(makeSubject(-1, "", "上交所", std::to_string(600000 + i), i ? "证券" : "浦发银行", ratio));
    return rows;
}

boost::shared_ptr<PendingUpload> startUpload(rqservice::CEmbeddedDataService& service,
                                             const boost::shared_ptr<rqservice::COperateDataReq>& request)
{
    auto pending = boost::make_shared<PendingUpload>();
    pending->clock.start();
    service.operate(request, [pending](const utils::RQError& error, bson::BSONObj) {
        pending->error = error;
        pending->outcome = outcomeText(error);
        pending->answeredMs = pending->clock.elapsed();
        ++pending->answers;
    });
    return pending;
}

utils::RQError operateService(rqservice::CEmbeddedDataService& service,
                              const boost::shared_ptr<rqservice::COperateDataReq>& request)
{
    const auto pending = startUpload(service, request);
    service.waitIdle();
    const int answers = pending->answers;
    return answers == 1 ? pending->error : utils::RQError::failure("answered " + std::to_string(answers) + " times");
}

ScopedTimeouts::ScopedTimeouts(int queryMs, int uploadMs)
    : m_saved(standin::serviceTimeouts())
{
    standin::ServiceTimeouts shorter = m_saved;
    shorter.queryMs = queryMs;
    shorter.uploadMs = uploadMs;
    shorter.reserveMs = 300;
    shorter.connectMs = 2000;
    standin::setServiceTimeouts(shorter);
}

ScopedTimeouts::~ScopedTimeouts()
{
    standin::setServiceTimeouts(m_saved);
}

namespace {

// Waits for the call's answer, then for the service's thread to be free.
TimedCall finish(rqservice::CEmbeddedDataService& service, const boost::shared_ptr<PendingUpload>& pending)
{
    while (!pending->answers.load() && pending->clock.elapsed() < 120000)
        QTest::qWait(5);
    TimedCall timed;
    timed.answeredMs = pending->clock.restart();
    timed.outcome = pending->answers.load() ? pending->outcome : QStringLiteral("no answer");
    service.waitIdle();
    timed.busyAfterMs = pending->clock.elapsed();
    return timed;
}

} // namespace

TimedCall timedSummary(rqservice::CEmbeddedDataService& service)
{
    auto pending = boost::make_shared<PendingUpload>();
    pending->clock.start();
    auto request = boost::make_shared<rqservice::CVoprQueryDataReq>();
    request->queryType = rqservice::eDataTypeCvionRateBaseInfo;
    service.query(request,
                  [pending](const utils::RQError& e, const std::vector<rqservice::IDataPtr>& r, int, bson::BSONObj) {
                      pending->outcome = e.isSuccess() ? QStringLiteral("ok %1").arg(r.size()) : outcomeText(e);
                      ++pending->answers; // publishes the outcome
                  });
    return finish(service, pending);
}

TimedCall timedUpload(rqservice::CEmbeddedDataService& service,
                      const boost::shared_ptr<rqservice::COperateDataReq>& request)
{
    return finish(service, startUpload(service, request));
}

QStringList previousSchema(bool pg)
{
    QStringList previous{
        "CREATE TABLE brokers (broker_key_no INTEGER PRIMARY KEY, broker_id TEXT NOT NULL, broker_name TEXT NOT NULL)",
        QString("CREATE TABLE uploads (id %1, broker_key_no INTEGER NOT NULL REFERENCES brokers(broker_key_no), "
                "upload_date TEXT NOT NULL, upload_time TEXT NOT NULL)")
            .arg(pg ? "BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY" : "INTEGER PRIMARY KEY AUTOINCREMENT"),
        "CREATE INDEX uploads_by_broker ON uploads(broker_key_no, id)",
        QString(
            "CREATE TABLE ratios (upload_id %1 NOT NULL, line_no INTEGER NOT NULL, exchange_name TEXT NOT NULL, "
            "stock_code TEXT NOT NULL, stock_name TEXT NOT NULL, ratio %2 NOT NULL, PRIMARY KEY (upload_id, line_no))")
            .arg(pg ? "BIGINT" : "INTEGER", pg ? "DOUBLE PRECISION" : "REAL"),
        "INSERT INTO brokers VALUES (1, 'CITIC', '中信证券')",
        "INSERT INTO uploads (id, broker_key_no, upload_date, upload_time) VALUES (1, 1, '20240104', '235959'), "
        "(2, 1, '20240105', '000000')",
        "INSERT INTO ratios VALUES (1, 1, '上交所', '600000', '浦发银行', 0.5), "
        "(2, 1, '上交所', '600000', '浦发银行', 0.6), (2, 2, '深交所', '000858', '五粮液', 0.7)"};
    if (!pg)
        return previous << "PRAGMA user_version = 1";
    // Made by the database's owner, as the service made them.
    return QStringList{"SET ROLE credit"} + previous << "CREATE TABLE credit_schema (version INTEGER NOT NULL)"
                                                     << "INSERT INTO credit_schema VALUES (1)"
                                                     << "SELECT setval(pg_get_serial_sequence('uploads', 'id'), 2)";
}

QString outcomeText(const utils::RQError& error)
{
    return error.isSuccess() ? QStringLiteral("ok") : QString::fromStdString(error.errorMsg());
}

QString citicDetail(rqservice::CEmbeddedDataService& service)
{
    const QueryOutcome outcome = queryService(service, 12295, "1____CITIC");
    const auto detail = outcome.records.size() == 1
                            ? boost::dynamic_pointer_cast<rqservice::CVoprCvionRateDetail>(outcome.records.front())
                            : nullptr;
    if (!outcome.error.isSuccess() || !detail)
        return QStringLiteral("error: ") + QString::fromStdString(outcome.error.errorMsg());
    std::set<double> ratios;
    for (const auto& s : detail->subjects)
        ratios.insert(s->ratio);
    return QStringLiteral("%1 x %2").arg(detail->subjects.size()).arg(ratios.size() == 1 ? *ratios.begin() : -1);
}

QStringList everyCall(rqservice::CEmbeddedDataService& service)
{
    const QString summary = outcomeText(queryService(service, 12294).error);
    const QString detail = citicDetail(service);
    return {summary, detail, outcomeText(operateService(service, uploadRequest(1, "CITIC", uniformRows(1, 0.65))))};
}

} // namespace testsupport
