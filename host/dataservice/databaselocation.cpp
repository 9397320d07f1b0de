#include "standinservice.h"

#include <QStringList>
#include <QUrl>

namespace standin {

namespace {

const QString kMask = QStringLiteral("***");

// "key=value&key=value" with every password value masked; the rest kept as written.
QString maskQuery(const QString& query)
{
    QStringList items = query.split(QLatin1Char('&'));
    for (QString& item : items) {
        const int equals = item.indexOf(QLatin1Char('='));
        const QString key = QUrl::fromPercentEncoding(item.left(equals < 0 ? item.size() : equals).toUtf8());
        if (equals >= 0 && key.trimmed() == QLatin1String("password"))
            item = item.left(equals + 1) + kMask;
    }
    return items.join(QLatin1Char('&'));
}

} // namespace

QString maskedDatabaseLocation(const QString& location)
{
    const int scheme = location.indexOf(QLatin1String("://"));
    if (scheme < 0)
        return location; // a file's path carries no password
    const int start = scheme + 3;
    const int question = location.indexOf(QLatin1Char('?'), start);
    const int slash = location.indexOf(QLatin1Char('/'), start);
    const int authorityEnd = slash >= 0 && (question < 0 || slash < question) ? slash
                             : question >= 0                                  ? question
                                                                              : location.size();
    QString authority = location.mid(start, authorityEnd - start);
    const int at = authority.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        const int colon = authority.left(at).indexOf(QLatin1Char(':'));
        if (colon >= 0)
            authority = authority.left(colon + 1) + kMask + authority.mid(at);
    }
    QString masked = location.left(start) + authority;
    if (question < 0)
        return masked + location.mid(authorityEnd);
    masked += location.mid(authorityEnd, question - authorityEnd);
    const int hash = location.indexOf(QLatin1Char('#'), question);
    const QString query = location.mid(question + 1, hash < 0 ? -1 : hash - question - 1);
    return masked + QLatin1Char('?') + maskQuery(query) + (hash < 0 ? QString() : location.mid(hash));
}

} // namespace standin
