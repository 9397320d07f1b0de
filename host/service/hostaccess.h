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
};

} // namespace standin
