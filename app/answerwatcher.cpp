#include "answerwatcher.h"

CAnswerWatcher::CAnswerWatcher(standin::IServiceBackendPtr inner, QObject* parent)
    : QObject(parent)
    , m_inner(std::move(inner))
{
}

void CAnswerWatcher::query(const boost::shared_ptr<rqservice::CVoprQueryDataReq>& request,
                           const DVK::QueryCallback& callback)
{
    const int type = request ? request->queryType : 0;
    // The watcher is owned by the client centre's backend slot and outlives every answer.
    m_inner->query(request,
                   [this, type, callback](const utils::RQError& error, const std::vector<rqservice::IDataPtr>& records,
                                          int flag, bson::BSONObj reply) {
                       callback(error, records, flag, reply);
                       emit queryAnswered(type, error.isSuccess());
                   });
}

void CAnswerWatcher::operate(const boost::shared_ptr<rqservice::COperateDataReq>& request,
                             const DVK::OperateCallback& callback)
{
    m_inner->operate(request, callback);
}
