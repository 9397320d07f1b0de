#include "hostservice.h"
#include "standinservice.h"

#include "hostaccess.h"

namespace DVK {

// The demo user may view the summary (10079) and upload (10413) until told otherwise.
CUserManager::CUserManager()
    : m_rights{10079, 10413}
{
}

bool CUserManager::checkUserAuth(int right) const
{
    return m_rights.count(right) > 0;
}

} // namespace DVK

namespace standin {

void setGrantedRights(const std::set<int>& rights)
{
    CHostAccess::rights(*utils::CSingletonT<DVK::CUserManager>::instance()) = rights;
}

std::set<int> grantedRights()
{
    return CHostAccess::rights(*utils::CSingletonT<DVK::CUserManager>::instance());
}

} // namespace standin
