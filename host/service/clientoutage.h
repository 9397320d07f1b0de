#pragma once
// Test control of the stand-in client centre: a client centre with no client to hand out, as a
// real one is while it has no connection.

#include "host_export.h"

namespace DVK {

// While set, CVoprClientCenter::getClientByName answers null for every name.
HOST_EXPORT void setClientCenterOutage(bool outage);

} // namespace DVK
