#include "platform/inet/ProxyConfig.h"

#include <QStringList>

#include <arpa/inet.h>

namespace taluvo::inet {
namespace {

QStringList SplitEntries(const QString& list, const QString& separators)
{
    QStringList entries;
    QString current;
    for (QChar c : list) {
        if (separators.contains(c) || c.isSpace()) {
            if (!current.isEmpty())
                entries.append(current);
            current.clear();
        } else {
            current.append(c);
        }
    }
    if (!current.isEmpty())
        entries.append(current);
    return entries;
}

// "host", "host:port", "http://host:port", "[::1]:3128" -> "http://host:port"
QString ProxyUrl(QString server)
{
    const int schemeEnd = server.indexOf(QStringLiteral("://"));
    if (schemeEnd >= 0)
        server = server.mid(schemeEnd + 3);
    while (server.endsWith(QLatin1Char('/')))
        server.chop(1);
    if (server.isEmpty())
        return {};
    QString host = server;
    QString port = QStringLiteral("80");
    if (server.startsWith(QLatin1Char('['))) {
        const int close = server.indexOf(QLatin1Char(']'));
        if (close < 0)
            return {};
        host = server.left(close + 1);
        if (server.mid(close + 1).startsWith(QLatin1Char(':')))
            port = server.mid(close + 2);
    } else {
        const int colon = server.lastIndexOf(QLatin1Char(':'));
        if (colon >= 0) {
            host = server.left(colon);
            port = server.mid(colon + 1);
        }
    }
    bool ok = false;
    const int number = port.toInt(&ok);
    if (host.isEmpty() || !ok || number < 1 || number > 65535)
        return {};
    return QStringLiteral("http://%1:%2").arg(host).arg(number);
}

bool WildcardMatches(QStringView pattern, QStringView text)
{
    // Iterative '*' matching with one backtrack point: linear in practice, no recursion.
    qsizetype p = 0, t = 0, starP = -1, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
            starP = p++;
            starT = t;
        } else if (p < pattern.size() && pattern[p].toCaseFolded() == text[t].toCaseFolded()) {
            ++p;
            ++t;
        } else if (starP >= 0) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == QLatin1Char('*'))
        ++p;
    return p == pattern.size();
}

} // namespace

bool IsAddressLiteral(const QString& host)
{
    const QByteArray text = host.toLatin1();
    unsigned char buffer[16];
    return inet_pton(AF_INET, text.constData(), buffer) == 1 || inet_pton(AF_INET6, text.constData(), buffer) == 1;
}

ProxyList ParseProxyList(const QString& list)
{
    ProxyList result;
    QString common;
    bool haveCommon = false, haveHttp = false, haveHttps = false;
    for (const QString& entry : SplitEntries(list, QStringLiteral(";"))) {
        const int equals = entry.indexOf(QLatin1Char('='));
        if (equals < 0) {
            if (!haveCommon)
                common = ProxyUrl(entry);
            haveCommon = true;
            continue;
        }
        const QString scheme = entry.left(equals).toLower();
        const QString url = ProxyUrl(entry.mid(equals + 1));
        if (scheme == QLatin1String("http") && !haveHttp) {
            result.http = url;
            haveHttp = true;
        } else if (scheme == QLatin1String("https") && !haveHttps) {
            result.https = url;
            haveHttps = true;
        }
    }
    if (!haveHttp)
        result.http = common;
    if (!haveHttps)
        result.https = common;
    result.httpUnusable = (haveHttp || haveCommon) && result.http.isEmpty();
    result.httpsUnusable = (haveHttps || haveCommon) && result.https.isEmpty();
    return result;
}

bool BypassMatches(const QString& bypassList, const QString& scheme, const QString& host, int port)
{
    for (QString entry : SplitEntries(bypassList, QStringLiteral(";,"))) {
        if (entry.compare(QLatin1String("<local>"), Qt::CaseInsensitive) == 0) {
            if (!host.isEmpty() && !host.contains(QLatin1Char('.')) && !IsAddressLiteral(host))
                return true;
            continue;
        }
        const int schemeEnd = entry.indexOf(QStringLiteral("://"));
        if (schemeEnd >= 0) {
            if (entry.left(schemeEnd).compare(scheme, Qt::CaseInsensitive) != 0)
                continue;
            entry = entry.mid(schemeEnd + 3);
        }
        // A trailing ":digits" names a port; a bare IPv6 literal has more than one colon and none.
        QString portText;
        if (entry.startsWith(QLatin1Char('['))) {
            const int close = entry.indexOf(QLatin1Char(']'));
            if (close < 0)
                continue;
            if (entry.mid(close + 1).startsWith(QLatin1Char(':')))
                portText = entry.mid(close + 2);
            entry = entry.mid(1, close - 1);
        } else if (entry.count(QLatin1Char(':')) == 1) {
            const int colon = entry.indexOf(QLatin1Char(':'));
            portText = entry.mid(colon + 1);
            entry.truncate(colon);
        }
        if (!portText.isEmpty() && portText.toInt() != port)
            continue;
        if (!entry.isEmpty() && WildcardMatches(entry, host))
            return true;
    }
    return false;
}

} // namespace taluvo::inet
