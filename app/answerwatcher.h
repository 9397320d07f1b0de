#pragma once

#include "hostservice.h"
#include "standinservice.h"

#include <QObject>

// Passes requests to the real service and tells the GUI thread after each answer was handed
// over. The notice is posted after the answer's own queued signals, so by the time it arrives
// the panel has already shown the answer.
class CAnswerWatcher : public QObject, public standin::IServiceBackend
{
    Q_OBJECT
public:
    CAnswerWatcher(standin::IServiceBackendPtr inner, QObject* parent = nullptr);

    void query(const boost::shared_ptr<rqservice::CVoprQueryDataReq>& request,
               const DVK::QueryCallback& callback) override;
    void operate(const boost::shared_ptr<rqservice::COperateDataReq>& request,
                 const DVK::OperateCallback& callback) override;

signals:
    void queryAnswered(int queryType, bool success);

private:
    standin::IServiceBackendPtr m_inner;
};
