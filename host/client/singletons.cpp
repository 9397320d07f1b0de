#include "hostservice.h"

// Defined here, not in the header, so that the plug-in and the host share one object each.
namespace utils {

template <>
DVK::CVoprClientCenter* CSingletonT<DVK::CVoprClientCenter>::instance()
{
    static DVK::CVoprClientCenter theInstance;
    return &theInstance;
}

template <>
DVK::CUserManager* CSingletonT<DVK::CUserManager>::instance()
{
    static DVK::CUserManager theInstance;
    return &theInstance;
}

} // namespace utils
