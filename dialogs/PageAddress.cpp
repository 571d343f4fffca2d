#include "dialogs/PageAddress.h"

#include "core/InternetUtils.h"

namespace {

bool HasWebScheme(const QString& address)
{
    return address.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
        || address.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

} // namespace

QString LowerSchemeAndHost(const QString& address)
{
    QString result = address.trimmed();
    qsizetype authority = 0;
    const qsizetype schemeEnd = result.indexOf(QLatin1String("://"));
    if (schemeEnd > 0) {
        bool isScheme = result.at(0).isLetter();
        for (qsizetype i = 1; i < schemeEnd && isScheme; ++i) {
            const QChar c = result.at(i);
            isScheme = c.isLetterOrNumber() || c == u'+' || c == u'-' || c == u'.';
        }
        if (isScheme) {
            result.replace(0, schemeEnd, result.left(schemeEnd).toLower());
            authority = schemeEnd + 3;
        }
    }
    qsizetype end = authority;
    while (end < result.size() && result.at(end) != u'/' && result.at(end) != u'?' && result.at(end) != u'#')
        ++end;
    // User information keeps its letters; the host and port after it are lower-cased.
    const qsizetype at = end > authority ? result.lastIndexOf(u'@', end - 1) : -1;
    const qsizetype hostStart = (at >= authority) ? at + 1 : authority;
    result.replace(hostStart, end - hostStart, result.mid(hostStart, end - hostStart).toLower());
    return result;
}

QString NormalizePageUrl(const QString& typed)
{
    QString url = typed.trimmed();
    if (url.isEmpty())
        return url;
    if (!HasWebScheme(url))
        url.prepend(QLatin1String("http://"));
    QString host;
    QString path;
    INTERNET_SCHEME scheme = INTERNET_SCHEME_HTTP;
    INTERNET_PORT port = 0;
    if (!CrackUrl(url, host, path, scheme, &port) || host.isEmpty())
        return url;
    const bool https = scheme == INTERNET_SCHEME_HTTPS;
    QString result = QLatin1String(https ? "https://" : "http://");
    host = host.toLower();
    result += host.contains(u':') ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    if (port != (https ? 443 : 80))
        result += QLatin1Char(':') + QString::number(port);
    return result + path;
}
