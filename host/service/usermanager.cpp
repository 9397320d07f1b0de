#include "hostservice.h"

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

void CUserManager::setGrantedRights(const std::set<int>& rights)
{
    m_rights = rights;
}

std::set<int> CUserManager::grantedRights() const
{
    return m_rights;
}

} // namespace DVK
