// The proxy settings of a session: WinInet's proxy list ("http=host:port https=host:port", or one
// "host:port" for every scheme) and its bypass list.
#pragma once

#include <QString>

namespace taluvo::inet {

struct ProxyList {
    QString http; // "http://host:port" of the proxy for http addresses; empty: none
    QString https; // the same for https addresses
    // An entry was given for the scheme but names no usable server ("http=:8080"): its addresses
    // fail rather than go out directly.
    bool httpUnusable = false;
    bool httpsUnusable = false;
};

// Entries are separated by blanks or ';'. "scheme=server" names the proxy of one scheme, a bare
// server serves every scheme that has no entry of its own. A server is "host", "host:port" or
// "http://host:port" (port 80 when none is given). Entries of other schemes are ignored.
ProxyList ParseProxyList(const QString& list);

// Whether the bypass list names the host: entries separated by ';', ',' or blanks, compared
// without regard to case, '*' matching any run of characters (none included). An entry may carry a
// scheme ("http://") and a port (":8080"); then only addresses of that scheme and port match.
// "<local>" matches host names without a dot (and not address literals).
// Whether the host is an IPv4 or IPv6 address literal (no name lookup happens for it).
bool IsAddressLiteral(const QString& host);

bool BypassMatches(const QString& bypassList, const QString& scheme, const QString& host, int port);

} // namespace taluvo::inet
