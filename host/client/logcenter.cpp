#include "hostservice.h"

namespace utils {

bool CLogCenter::logEnabled() const
{
    return m_enabled.load();
}

void CLogCenter::setLogEnabled(bool enabled)
{
    m_enabled.store(enabled);
}

} // namespace utils
