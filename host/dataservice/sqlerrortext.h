#pragma once
// SQLite failures in words the back-office user can act on.

#include "host_export.h"

#include <string>

class QSqlError;

namespace rqservice {

// "<action>失败: <reason> (<driver text>)". The reason comes from SQLite's result code; where
// the driver dropped it (Qt's COMMIT and BEGIN keep only SQLite's message), from that message.
HOST_EXPORT std::string describeSqlError(const QSqlError& error, const char* action);
// Whether the failure is another connection's lock that was waited for in vain.
bool isBusyError(const QSqlError& error);

} // namespace rqservice
