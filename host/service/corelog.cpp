#include "corelog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <string>

namespace {

std::atomic<rqservice::CoreLogSink> g_sink{nullptr};

} // namespace

namespace rqservice {

void setCoreLogSink(CoreLogSink sink)
{
    g_sink.store(sink);
}

void coreLogInfo(const char* format, ...)
{
    const CoreLogSink sink = g_sink.load();
    if (!sink || !format)
        return;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed >= 0) {
        std::string line(std::size_t(needed) + 1, '\0');
        std::vsnprintf(&line[0], line.size(), format, args);
        line.resize(std::size_t(needed));
        sink(line.c_str());
    }
    va_end(args);
}

} // namespace rqservice
