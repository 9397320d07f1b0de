#pragma once
// Holds a backend to the client centre's promise: every callback runs exactly once, on a
// service thread, never on the caller's or the GUI thread, whatever the backend does.

#include "hostservice.h"
#include "standinservice.h"

namespace DVK {

class CAnswerGuard
{
public:
    static void query(const standin::IServiceBackendPtr& backend,
                      const boost::shared_ptr<rqservice::CVoprQueryDataReq>& request, const QueryCallback& callback);
    static void operate(const standin::IServiceBackendPtr& backend,
                        const boost::shared_ptr<rqservice::COperateDataReq>& request, const OperateCallback& callback);
};

} // namespace DVK
