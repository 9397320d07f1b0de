#include "hostservice.h"

namespace utils {

// Defined with its class: the log lines below every room read the switch.
template <>
CLogCenter* CSingletonT<CLogCenter>::instance()
{
    static CLogCenter theInstance;
    return &theInstance;
}

bool CLogCenter::logEnabled() const
{
    return m_enabled.load();
}

void CLogCenter::setLogEnabled(bool enabled)
{
    m_enabled.store(enabled);
}

} // namespace utils
