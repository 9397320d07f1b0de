#pragma once
// Log lines of the host's core (the file readers), which does not link log4cxx so that a
// command-line tool starts without it: the full host hands them to its log once it is loaded;
// until then, and in a program without it, they are dropped.

#include "host_export.h"

namespace rqservice {

typedef void (*CoreLogSink)(const char* line);

HOST_EXPORT void setCoreLogSink(CoreLogSink sink);
HOST_EXPORT void coreLogInfo(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

} // namespace rqservice
