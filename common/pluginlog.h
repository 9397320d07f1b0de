#pragma once
// The client's rule for writing a line: its log switch is on and the logger takes INFO.

#include "hostservice.h"

#include <log4cxx/level.h>

namespace DVK {

// INFO as the client's loggers number it; every line of the plug-in is written at this level.
constexpr int kPluginLogLevel = 20000;

inline bool pluginLogEnabled()
{
    return utils::CSingletonT<utils::CLogCenter>::instance()->logEnabled() && g_RQStdLogger &&
           g_RQStdLogger->isEnabledFor(log4cxx::Level::toLevel(kPluginLogLevel));
}

} // namespace DVK
