#include "postgreslocation.h"

#include <QStringList>
#include <QUrl>

#include <libpq-fe.h>

namespace rqservice {

namespace {

// "scheme" of "scheme://...": a letter, then letters, digits, '+', '-' or '.'; empty for none.
QString schemeOf(const QString& location)
{
    const int end = location.indexOf(QLatin1String("://"));
    if (end <= 0 || !location.at(0).isLetter() || location.at(0).unicode() > 0x7f)
        return QString();
    for (int i = 1; i < end; ++i) {
        const ushort c = location.at(i).unicode();
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
                             c == '-' || c == '.';
        if (!allowed)
            return QString();
    }
    return location.left(end);
}

QString encoded(const QString& text, const QByteArray& keep = QByteArray())
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text, keep));
}

} // namespace

bool CPostgresLocation::isUri(const QString& location)
{
    const QString scheme = schemeOf(location);
    return scheme == QLatin1String("postgresql") || scheme == QLatin1String("postgres");
}

bool CPostgresLocation::isUnknownScheme(const QString& location)
{
    return !schemeOf(location).isEmpty() && !isUri(location);
}

CPostgresLocation::CPostgresLocation(const QString& location)
{
    char* message = nullptr;
    PQconninfoOption* const parsed = PQconninfoParse(location.toUtf8().constData(), &message);
    if (!parsed) {
        // libpq's message may quote the location, password and all: only its kind is kept.
        m_error = message ? QStringLiteral("数据库地址格式错误, libpq 无法解析") : QStringLiteral("内存不足");
        PQfreemem(message);
        return;
    }
    for (const PQconninfoOption* o = parsed; o->keyword; ++o) {
        if (o->val && *o->val)
            m_options.append({QString::fromUtf8(o->keyword), QString::fromUtf8(o->val)});
    }
    PQconninfoFree(parsed);
    // The Qt driver passes these on as they are; every other one in a list it splits at ';'.
    static const QStringList own{"dbname", "user", "password", "host", "port"};
    for (const auto& option : m_options) {
        if (!own.contains(option.first) && option.second.contains(QLatin1Char(';')))
            m_error = QStringLiteral("数据库地址的参数 %1 含有分号, 无法传给数据库驱动").arg(option.first);
    }
}

QString CPostgresLocation::value(const QString& key) const
{
    for (const auto& option : m_options)
        if (option.first == key)
            return option.second;
    return QString();
}

QString CPostgresLocation::masked() const
{
    if (!m_error.isEmpty())
        return QStringLiteral("postgresql://(无法解析的地址)");
    QString shown = QStringLiteral("postgresql://");
    const QString user = value(QStringLiteral("user"));
    const bool password = !value(QStringLiteral("password")).isEmpty();
    if (!user.isEmpty() || password)
        shown += encoded(user) + (password ? QStringLiteral(":***") : QString()) + QLatin1Char('@');
    // A socket folder or a list of hosts stays a parameter; a single name goes before the path.
    const QString host = value(QStringLiteral("host"));
    const bool plainHost = !host.isEmpty() && !host.contains(QLatin1Char('/')) && !host.contains(QLatin1Char(','));
    if (plainHost) {
        shown += host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : encoded(host);
        if (!value(QStringLiteral("port")).isEmpty() && !value(QStringLiteral("port")).contains(QLatin1Char(',')))
            shown += QLatin1Char(':') + value(QStringLiteral("port"));
    }
    shown += QLatin1Char('/') + encoded(value(QStringLiteral("dbname")));
    QStringList params;
    for (const auto& option : m_options) {
        if (option.first == QLatin1String("user") || option.first == QLatin1String("password") ||
            option.first == QLatin1String("dbname") || (plainHost && option.first == QLatin1String("host")) ||
            (plainHost && option.first == QLatin1String("port") && !option.second.contains(QLatin1Char(','))))
            continue;
        params << option.first + QLatin1Char('=') + encoded(option.second, "/:,");
    }
    return params.isEmpty() ? shown : shown + QLatin1Char('?') + params.join(QLatin1Char('&'));
}

} // namespace rqservice
