#include "hostservice.h"
#include "standinservice.h"

#include "hostaccess.h"

#include <QMutex>
#include <QMutexLocker>

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

namespace {

// Read by the data service when an upload is made, set by the client's start-up.
QMutex g_userMutex;
QString g_userName;
bool g_userNameSet = false;

} // namespace

void setGrantedRights(const std::set<int>& rights)
{
    CHostAccess::rights(*utils::CSingletonT<DVK::CUserManager>::instance()) = rights;
}

std::set<int> grantedRights()
{
    return CHostAccess::rights(*utils::CSingletonT<DVK::CUserManager>::instance());
}

void setUserName(const QString& name)
{
    QMutexLocker lock(&g_userMutex);
    g_userName = name;
    g_userNameSet = true;
}

QString userName()
{
    QMutexLocker lock(&g_userMutex);
    if (g_userNameSet)
        return g_userName;
    const QString login = qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
    return login.isEmpty() ? QStringLiteral("demo") : login;
}

} // namespace standin
