#include "uploadwriter.h"

#include "brokerkey.h"
#include "creditqueries.h"
#include "servicecall.h"
#include "hostlog.h"
#include "sqldialect.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace rqservice {

CUploadWriter::CUploadWriter(QSqlDatabase& db, const ISqlDialect& dialect)
    : m_db(db)
    , m_dialect(dialect)
{
}

std::string CUploadWriter::describe(const QSqlError& error, const char* action, bool beginning) const
{
    if (!m_call || !m_dialect.ranOutOfTime(error))
        return m_dialect.describeError(error, action);
    const std::string holder = m_dialect.holderOf(error);
    if (!holder.empty())
        return m_call->waitedOutText("保存上传数据", "该券商的另一次上传正在进行") + " (占用者: " + holder + ")";
    const char* reason = m_dialect.waitedFor(beginning);
    return reason ? m_call->waitedOutText("保存上传数据", reason) : m_call->timedOutText("保存上传数据");
}

utils::RQError CUploadWriter::write(const CVoprCvionRateDetail& detail, const QString& clientUser,
                                    long long restoredFrom, CServiceCall& call, std::string& reply)
{
    m_call = &call;
    CCreditQueries::Broker broker;
    const utils::RQError found =
        CCreditQueries(m_db, m_dialect).findBroker(detail.brokerKeyNo, detail.brokerId, broker);
    if (!found.isSuccess()) {
        return found;
    }
    const std::string refusal = m_dialect.uploadRefusal(m_db);
    if (!refusal.empty()) {
        return utils::RQError::failure(refusal);
    }
    QSqlError lockError;
    if (!m_dialect.beginWrite(m_db, broker.keyNo, call.waitMs(), lockError)) {
        return utils::RQError::failure(describe(lockError, "保存上传数据", true));
    }
    std::vector<const CStkSubjects*> present;
    present.reserve(detail.subjects.size());
    for (const CStkSubjectsPtr& s : detail.subjects) {
        if (s)
            present.push_back(s.get());
    }
    long long uploadId = 0;
    QSqlError storeError;
    utils::RQError stored;
    if (!m_dialect.storeUpload(m_db, broker.keyNo, clientUser, restoredFrom, present, uploadId, storeError))
        stored = utils::RQError::failure(describe(storeError, "保存上传数据", false));
    if (stored.isSuccess()) {
        // The commit waits for readers of the file (SQLite) no longer than the call allows, and
        // does not start once the caller has been told the call timed out.
        m_dialect.limitWaits(m_db, call.waitMs());
        if (!call.beginCommit())
            stored = utils::RQError::failure(call.timedOutText("保存上传数据"));
    }
    if (stored.isSuccess() && !m_db.commit()) {
        stored = utils::RQError::failure(call.commitInterrupted() ? call.commitUnknownText()
                                                                  : describe(m_db.lastError(), "保存上传数据", false));
    }
    if (!stored.isSuccess()) {
        m_db.rollback();
        m_dialect.recoverAfterFailedWrite(m_db);
        return stored;
    }
    reply = "{\"uploadId\":" + std::to_string(uploadId) + ",\"brokerKeyNo\":" + std::to_string(broker.keyNo) + "}";
    serviceLogInfo("[CEmbeddedDataService] stored upload %lld of broker %s", uploadId,
                   CBrokerKey{broker.keyNo, broker.id}.toString().c_str());
    return utils::RQError();
}

utils::RQError CUploadWriter::insert(int brokerKeyNo, const QString& date, const QString& time, const QString& user,
                                     const std::vector<CStkSubjectsPtr>& rows, long long& uploadId)
{
    std::vector<const CStkSubjects*> present;
    present.reserve(rows.size());
    for (const CStkSubjectsPtr& s : rows) {
        if (s) {
            present.push_back(s.get());
        }
    }
    QSqlQuery q(m_db);
    if (!q.prepare(m_dialect.returningId(QStringLiteral("INSERT INTO uploads (broker_key_no, upload_date, upload_time, "
                                                        "user_name, row_count) VALUES (?, ?, ?, ?, ?)")))) {
        return utils::RQError::failure(describe(q.lastError(), "保存上传记录", false));
    }
    q.bindValue(0, brokerKeyNo);
    q.bindValue(1, date);
    q.bindValue(2, time);
    q.bindValue(3, user.isEmpty() ? QVariant(QVariant::String) : QVariant(user));
    q.bindValue(4, qlonglong(present.size()));
    if (!q.exec() || !m_dialect.insertedId(q, uploadId)) {
        return utils::RQError::failure(describe(q.lastError(), "保存上传记录", false));
    }
    QSqlError error;
    if (!m_dialect.insertRatios(m_db, uploadId, present, error)) {
        return utils::RQError::failure(describe(error, "保存折算率", false));
    }
    return utils::RQError();
}

} // namespace rqservice
