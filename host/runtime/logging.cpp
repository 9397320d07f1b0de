#include "hostservice.h"

#include "hostlog.h"

#include <log4cxx/level.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <exception>
#include <string>

log4cxx::LoggerPtr g_RQStdLogger = log4cxx::Logger::getLogger("RQStd");

namespace {

std::string formatV(const char* format, va_list args)
{
    char small[512];
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (needed < 0) {
        return std::string();
    }
    if (static_cast<size_t>(needed) < sizeof small) {
        return std::string(small, static_cast<size_t>(needed));
    }
    std::string text(static_cast<size_t>(needed) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), format, args);
    text.resize(static_cast<size_t>(needed));
    return text;
}

void reportLostLine(const char* why)
{
    // Once for the process: a full disk would otherwise repeat it for every line.
    static std::atomic<bool> told{false};
    if (!told.exchange(true)) {
        std::fprintf(stderr, "log write failed (%s); lines the log cannot take are dropped\n", why);
        std::fflush(stderr);
    }
}

// A log that cannot be written (its disk full) costs the line, never the program or the answer
// the line was about: log4cxx lets the appender's exception through to the caller.
void writeLine(const log4cxx::LoggerPtr& logger, const log4cxx::LevelPtr& level, const std::string& text)
{
    try {
        logger->forcedLog(level, text);
    } catch (const std::exception& e) {
        reportLostLine(e.what());
    } catch (...) {
        reportLostLine("unknown error");
    }
}

} // namespace

void rqStdLogNew(const log4cxx::LoggerPtr& logger, int level, const char* format, ...)
{
    if (!logger || !format) {
        return;
    }
    va_list args;
    va_start(args, format);
    const std::string text = formatV(format, args);
    va_end(args);
    writeLine(logger, log4cxx::Level::toLevel(level), text);
}

namespace rqservice {

void serviceLogInfo(const char* format, ...)
{
    const log4cxx::LoggerPtr logger = g_RQStdLogger;
    if (!logger || !format || !utils::CSingletonT<utils::CLogCenter>::instance()->logEnabled() ||
        !logger->isEnabledFor(log4cxx::Level::getInfo())) {
        return;
    }
    va_list args;
    va_start(args, format);
    const std::string text = formatV(format, args);
    va_end(args);
    writeLine(logger, log4cxx::Level::getInfo(), text);
}

} // namespace rqservice
