#include "hostservice.h"
#include "standinservice.h"

#include "hostaccess.h"
#include "securitymaster.h"

#include <QFile>

#include <boost/make_shared.hpp>
#include <boost/thread/mutex.hpp>

namespace {

// Guards m_dataCenter: the GUI thread and service threads may ask for it at once.
boost::mutex& dataCenterMutex()
{
    static boost::mutex mutex;
    return mutex;
}

bool readMaster(const QString& path, rqservice::CSecurityMasterPtr& master)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    rqservice::CSecurityMasterPtr loaded = boost::make_shared<rqservice::CSecurityMaster>();
    if (loaded->loadCsv(file.readAll()) == 0) {
        return false;
    }
    master = loaded;
    return true;
}

} // namespace

namespace rqservice {

TraderCenter::TraderCenter() = default;

TraderCenter* TraderCenter::instance()
{
    static TraderCenter theInstance;
    return &theInstance;
}

IDataCenterPtr TraderCenter::getDataCenter()
{
    boost::mutex::scoped_lock lock(dataCenterMutex());
    if (!m_dataCenter) {
        CSecurityMasterPtr master;
        if (!readMaster(QStringLiteral(":/host/securities.csv"), master)) {
            // Never null: without its list the client still runs, it just finds nothing.
            master = boost::make_shared<CSecurityMaster>();
        }
        m_dataCenter = master;
    }
    return m_dataCenter;
}

} // namespace rqservice

namespace standin {

bool loadSecurityMaster(const QString& csvPath)
{
    rqservice::CSecurityMasterPtr master;
    if (!readMaster(csvPath, master)) {
        return false;
    }
    boost::mutex::scoped_lock lock(dataCenterMutex());
    CHostAccess::dataCenter(*rqservice::TraderCenter::instance()) = master;
    return true;
}

} // namespace standin
