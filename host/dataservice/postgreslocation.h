#pragma once
// A PostgreSQL location as libpq reads it (a postgresql:// URI or key=value pairs), parsed by
// libpq itself, so that every parameter it names reaches the connection and nothing is guessed.

#include <QList>
#include <QPair>
#include <QString>

namespace rqservice {

class CPostgresLocation
{
public:
    // "postgresql" or "postgres"; any other scheme names no database of ours.
    static bool isUri(const QString& location);
    // Some "scheme://" other than those two: nothing is opened or created for it.
    static bool isUnknownScheme(const QString& location);

    explicit CPostgresLocation(const QString& location);

    // Empty when libpq read the location; otherwise why not (without the location's text).
    QString error() const { return m_error; }
    // The value of a parameter libpq read, empty when not given.
    QString value(const QString& key) const;
    // Every parameter given, in libpq's order.
    const QList<QPair<QString, QString>>& options() const { return m_options; }
    // As messages and logs show it: a URI rebuilt from the parsed form, any password as "***".
    QString masked() const;

private:
    QString m_error;
    QList<QPair<QString, QString>> m_options;
};

} // namespace rqservice
