#pragma once

#include "hostservice.h"
#include "standinservice.h"

namespace DVK {

// A client keeps the backend that was current when the centre handed it out.
struct CVoprClient::Private
{
    standin::IServiceBackendPtr backend;
};

} // namespace DVK
