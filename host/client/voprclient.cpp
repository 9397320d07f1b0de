#include "hostservice.h"
#include "standinservice.h"

#include "answerguard.h"
#include "voprclientprivate.h"

namespace standin {

IServiceBackend::~IServiceBackend() = default;

} // namespace standin

namespace DVK {

CVoprClient::CVoprClient(std::unique_ptr<Private> data)
    : d(std::move(data))
{
}

CVoprClient::~CVoprClient() = default;

void CVoprClient::queryData_async(const boost::shared_ptr<rqservice::CVoprQueryDataReq>& request,
                                  const QueryCallback& callback, unsigned char /*flag*/)
{
    CAnswerGuard::query(d->backend, request, callback);
}

} // namespace DVK
