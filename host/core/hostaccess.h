#pragma once
// The stand-in's way into the client classes' private state, for the controls of standin::.

#include "hostservice.h"
#include "standinservice.h"

namespace standin {

class CHostAccess
{
public:
    static DVK::CVoprClientCenter::Private& centre();
    static std::set<int>& rights(DVK::CUserManager& users) { return users.m_rights; }
    static rqservice::IDataCenterPtr& dataCenter(rqservice::TraderCenter& trader) { return trader.m_dataCenter; }
    static long long& uploadId(rqservice::CVoprCvionRateBaseInfo& info) { return info.m_uploadId; }
    static long long uploadId(const rqservice::CVoprCvionRateBaseInfo& info) { return info.m_uploadId; }
    static int& lineNo(rqservice::CStkSubjects& subject) { return subject.m_lineNo; }
    static int lineNo(const rqservice::CStkSubjects& subject) { return subject.m_lineNo; }
};

} // namespace standin
