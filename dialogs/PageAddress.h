// What the page address dialog makes of an address. Only the scheme and the host are put in lower
// case: a path, a query or a fragment may differ by letter case on the server, so they are kept as
// typed. A port other than the scheme's own is kept, since the page is fetched from it; user
// information is dropped.
#pragma once

#include <QString>

// Trimmed, with the scheme and the host (and port) in lower case; the rest as it was.
QString LowerSchemeAndHost(const QString& address);

// The address as the dialog accepts it: trimmed, "http://" in front unless it starts with
// "http://" or "https://" (any letter case), then rebuilt from its parts as
// "scheme://host[:port]path". An address that cannot be split stays as it was after the first
// two steps. Empty for a blank text.
QString NormalizePageUrl(const QString& typed);
