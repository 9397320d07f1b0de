#include "hostservice.h"

#include "answerguard.h"

namespace DVK {

IServiceBackend::~IServiceBackend() = default;

CVoprClient::CVoprClient(IServiceBackendPtr backend)
    : m_backend(std::move(backend))
{
}

void CVoprClient::queryData_async(const boost::shared_ptr<rqservice::CVoprQueryDataReq>& request,
                                  const QueryCallback& callback, unsigned char /*flag*/)
{
    CAnswerGuard::query(m_backend, request, callback);
}

} // namespace DVK
