#pragma once
// The host's own log lines, for every room of the host: written at INFO only while the client's
// log switch is on.

namespace rqservice {

void serviceLogInfo(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

} // namespace rqservice
