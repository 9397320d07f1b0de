#include "postgreslocation.h"
#include "standinservice.h"

namespace standin {

QString maskedDatabaseLocation(const QString& location)
{
    if (rqservice::CPostgresLocation::isUri(location))
        return rqservice::CPostgresLocation(location).masked();
    // An address of no kind we know: its scheme alone, whatever else it holds.
    if (rqservice::CPostgresLocation::isUnknownScheme(location))
        return location.section(QLatin1String("://"), 0, 0) + QStringLiteral("://***");
    return location; // a file's path carries no password
}

} // namespace standin
