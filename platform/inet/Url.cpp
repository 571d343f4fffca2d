// Splitting and canonicalising addresses as WinInet's InternetCrackUrl and InternetCanonicalizeUrl do.
#include "platform/base/KernelObjects.h"
#include "platform/base/TextCodec.h"
#include "platform/inet/WinInet.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstring>

namespace {

struct SchemeInfo {
    const char* name;
    INTERNET_SCHEME number;
    INTERNET_PORT defaultPort;
    bool needsHost;
};

constexpr SchemeInfo kSchemes[] = {
    { "http", INTERNET_SCHEME_HTTP, 80, true },
    { "https", INTERNET_SCHEME_HTTPS, 443, true },
    { "ftp", INTERNET_SCHEME_FTP, 21, true },
    { "gopher", INTERNET_SCHEME_GOPHER, 70, true },
    { "file", INTERNET_SCHEME_FILE, 0, false },
    { "news", INTERNET_SCHEME_NEWS, 0, false },
    { "mailto", INTERNET_SCHEME_MAILTO, 0, false },
};

const SchemeInfo* FindScheme(QStringView scheme)
{
    for (const SchemeInfo& info : kSchemes) {
        if (scheme.compare(QLatin1String(info.name), Qt::CaseInsensitive) == 0)
            return &info;
    }
    return nullptr;
}

// Length of a valid scheme at the start of the text (letter, then letters, digits, "+-."), followed
// by ':'; 0 when there is none.
qsizetype SchemeLength(QStringView text)
{
    if (text.isEmpty() || !(text[0].isLetter() && text[0].unicode() < 0x80))
        return 0;
    for (qsizetype i = 1; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u':')
            return i;
        const bool ok = (c < 0x80) && (QChar(c).isLetterOrNumber() || c == u'+' || c == u'-' || c == u'.');
        if (!ok)
            return 0;
    }
    return 0;
}

bool IsDelimiter(QChar c, bool includeQuery)
{
    return c == QLatin1Char('/') || (includeQuery && (c == QLatin1Char('?') || c == QLatin1Char('#')));
}

// The parts of an address, as views into it.
struct Parts {
    QStringView scheme;
    bool hasAuthority = false;
    QStringView user, password, host;
    bool hasPort = false;
    QStringView port;
    QStringView path; // up to '?' or '#'
    QStringView extra; // from '?' or '#'
};

// FALSE with the error number when the address cannot be split.
bool Split(QStringView url, Parts& parts, DWORD& error)
{
    const qsizetype schemeLength = SchemeLength(url);
    if (schemeLength == 0) {
        error = ERROR_INTERNET_UNRECOGNIZED_SCHEME;
        return false;
    }
    parts.scheme = url.left(schemeLength);
    QStringView rest = url.mid(schemeLength + 1);
    if (rest.startsWith(u"//")) {
        parts.hasAuthority = true;
        rest = rest.mid(2);
        qsizetype end = 0;
        while (end < rest.size() && !IsDelimiter(rest[end], true))
            ++end;
        QStringView authority = rest.left(end);
        rest = rest.mid(end);
        const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
        if (at >= 0) {
            const QStringView userInfo = authority.left(at);
            const qsizetype colon = userInfo.indexOf(QLatin1Char(':'));
            parts.user = colon >= 0 ? userInfo.left(colon) : userInfo;
            if (colon >= 0)
                parts.password = userInfo.mid(colon + 1);
            authority = authority.mid(at + 1);
        }
        if (authority.startsWith(QLatin1Char('['))) {
            const qsizetype close = authority.indexOf(QLatin1Char(']'));
            if (close < 0) {
                error = ERROR_INTERNET_INVALID_URL;
                return false;
            }
            parts.host = authority.mid(1, close - 1);
            authority = authority.mid(close + 1);
            if (!authority.isEmpty() && !authority.startsWith(QLatin1Char(':'))) {
                error = ERROR_INTERNET_INVALID_URL;
                return false;
            }
        } else {
            const qsizetype colon = authority.indexOf(QLatin1Char(':'));
            parts.host = colon >= 0 ? authority.left(colon) : authority;
            authority = colon >= 0 ? authority.mid(colon) : QStringView();
        }
        if (authority.startsWith(QLatin1Char(':'))) {
            parts.hasPort = true;
            parts.port = authority.mid(1);
        }
    }
    qsizetype extra = 0;
    while (extra < rest.size() && rest[extra] != QLatin1Char('?') && rest[extra] != QLatin1Char('#'))
        ++extra;
    parts.path = rest.left(extra);
    parts.extra = rest.mid(extra);
    return true;
}

bool FillComponent(LPWSTR& buffer, DWORD& length, QStringView value, const char16_t* base, DWORD& error)
{
    if (length == 0 && buffer == nullptr)
        return true; // not asked for
    if (buffer == nullptr) {
        // Pointer into the caller's address.
        buffer = const_cast<LPWSTR>(value.isNull() ? base : reinterpret_cast<const char16_t*>(value.utf16()));
        length = static_cast<DWORD>(value.size());
        return true;
    }
    if (length <= static_cast<DWORD>(value.size())) {
        length = static_cast<DWORD>(value.size()) + 1;
        error = ERROR_INSUFFICIENT_BUFFER;
        return false;
    }
    if (!value.isEmpty())
        std::memcpy(buffer, value.utf16(), value.size() * sizeof(char16_t));
    buffer[value.size()] = 0;
    length = static_cast<DWORD>(value.size());
    return true;
}

bool IsUnsafe(unsigned char byte, bool spacesOnly)
{
    if (spacesOnly)
        return byte == ' ';
    return byte <= 0x20 || byte >= 0x7F || std::strchr("\"<>\\^`{|}", byte) != nullptr;
}

// Percent-encodes the unsafe characters of a piece (non-ASCII as the bytes of the ANSI code page);
// everything else, '%' included, stays as it is.
QString Encode(QStringView piece, bool spacesOnly)
{
    QString out;
    out.reserve(piece.size());
    qsizetype i = 0;
    while (i < piece.size()) {
        const char16_t c = piece[i].unicode();
        if (c < 0x80 && !IsUnsafe(static_cast<unsigned char>(c), spacesOnly)) {
            out.append(QChar(c));
            ++i;
            continue;
        }
        if (c >= 0x80 && spacesOnly) {
            out.append(QChar(c));
            ++i;
            continue;
        }
        // One character (a surrogate pair as one) to its bytes.
        const qsizetype units
            = (QChar::isHighSurrogate(c) && i + 1 < piece.size() && piece[i + 1].isLowSurrogate()) ? 2 : 1;
        const QByteArray bytes = taluvo::AnsiEncode(piece.mid(i, units));
        for (unsigned char byte : bytes)
            out.append(QStringLiteral("%%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper());
        i += units;
    }
    return out;
}

// RFC 3986 removal of "." and ".." segments.
QString RemoveDotSegments(QStringView path)
{
    QStringList output;
    const QList<QStringView> segments = path.split(QLatin1Char('/'));
    const bool absolute = path.startsWith(QLatin1Char('/'));
    for (qsizetype i = absolute ? 1 : 0; i < segments.size(); ++i) {
        const QStringView segment = segments[i];
        const bool last = i + 1 == segments.size();
        if (segment == u".") {
            if (last)
                output.append(QString());
        } else if (segment == u"..") {
            if (!output.isEmpty())
                output.removeLast();
            if (last)
                output.append(QString());
        } else {
            output.append(segment.toString());
        }
    }
    return (absolute ? QStringLiteral("/") : QString()) + output.join(QLatin1Char('/'));
}

bool IsTrimmable(QChar c)
{
    return c.unicode() <= 0x20;
}

} // namespace

BOOL InternetCrackUrl(LPCWSTR lpszUrl, DWORD dwUrlLength, DWORD dwFlags, URL_COMPONENTSW* lpUrlComponents)
{
    if (lpszUrl == nullptr || lpUrlComponents == nullptr || lpUrlComponents->dwStructSize == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const QStringView url = dwUrlLength == 0 ? QStringView(lpszUrl) : QStringView(lpszUrl, dwUrlLength);
    Parts parts;
    DWORD error = ERROR_SUCCESS;
    if (!Split(url, parts, error)) {
        SetLastError(error);
        return FALSE;
    }
    const SchemeInfo* scheme = FindScheme(parts.scheme);
    INTERNET_PORT port = scheme ? scheme->defaultPort : 0;
    if (parts.hasPort && !parts.port.isEmpty()) {
        bool ok = false;
        const uint number = parts.port.toUInt(&ok);
        if (!ok || number == 0 || number > 65535 || !parts.port[0].isDigit()) {
            SetLastError(ERROR_INTERNET_INVALID_URL);
            return FALSE;
        }
        port = static_cast<INTERNET_PORT>(number);
    }
    if (scheme && scheme->needsHost && parts.host.isEmpty()) {
        SetLastError(ERROR_INTERNET_INVALID_URL);
        return FALSE;
    }
    URL_COMPONENTSW& uc = *lpUrlComponents;
    const bool wantExtra = uc.dwExtraInfoLength != 0 || uc.lpszExtraInfo != nullptr;
    const QStringView path = wantExtra ? parts.path : url.mid(parts.path.utf16() - url.utf16());
    const char16_t* end = lpszUrl + url.size();
    if (!FillComponent(uc.lpszScheme, uc.dwSchemeLength, parts.scheme, end, error)
        || !FillComponent(uc.lpszHostName, uc.dwHostNameLength, parts.host, end, error)
        || !FillComponent(uc.lpszUserName, uc.dwUserNameLength, parts.user, end, error)
        || !FillComponent(uc.lpszPassword, uc.dwPasswordLength, parts.password, end, error)
        || !FillComponent(uc.lpszUrlPath, uc.dwUrlPathLength, path, end, error)
        || (wantExtra && !FillComponent(uc.lpszExtraInfo, uc.dwExtraInfoLength, parts.extra, end, error))) {
        SetLastError(error);
        return FALSE;
    }
    uc.nScheme = scheme ? scheme->number : INTERNET_SCHEME_UNKNOWN;
    uc.nPort = port;
    return TRUE;
}

BOOL InternetCanonicalizeUrl(LPCWSTR lpszUrl, LPWSTR lpszBuffer, LPDWORD lpdwBufferLength, DWORD dwFlags)
{
    if (lpszUrl == nullptr || lpdwBufferLength == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const bool browserMode = (dwFlags & ICU_BROWSER_MODE) != 0;
    const bool encode = (dwFlags & ICU_NO_ENCODE) == 0;
    const bool spacesOnly = (dwFlags & ICU_ENCODE_SPACES_ONLY) != 0;
    const bool removeMeta = (dwFlags & ICU_NO_META) == 0;

    QStringView url(lpszUrl);
    while (!url.isEmpty() && IsTrimmable(url.front()))
        url = url.mid(1);
    // Browser mode keeps trailing blanks that belong to a query or fragment.
    const bool hasExtra = url.contains(QLatin1Char('?')) || url.contains(QLatin1Char('#'));
    if (!(browserMode && hasExtra)) {
        while (!url.isEmpty() && IsTrimmable(url.back()))
            url.chop(1);
    }
    Parts parts;
    DWORD error = ERROR_SUCCESS;
    if (!Split(url, parts, error)) {
        SetLastError(error);
        return FALSE;
    }
    QString result = parts.scheme.toString().toLower() + QLatin1Char(':');
    QString path = parts.path.toString();
    if (parts.hasAuthority) {
        result += QStringLiteral("//");
        // The authority is everything between "//" and the path, kept as it was written.
        const qsizetype start = parts.scheme.size() + 3;
        result += url.mid(start, (parts.path.utf16() - url.utf16()) - start);
        const SchemeInfo* scheme = FindScheme(parts.scheme);
        if (path.isEmpty() && scheme && scheme->needsHost)
            path = QStringLiteral("/");
        if (removeMeta)
            path = RemoveDotSegments(path);
    }
    result += encode ? Encode(path, spacesOnly) : path;
    result += (encode && !browserMode) ? Encode(parts.extra, spacesOnly) : parts.extra.toString();

    const DWORD needed = static_cast<DWORD>(result.size()) + 1;
    if (lpszBuffer == nullptr || *lpdwBufferLength < needed) {
        *lpdwBufferLength = needed;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(lpszBuffer, result.utf16(), result.size() * sizeof(char16_t));
    lpszBuffer[result.size()] = 0;
    *lpdwBufferLength = static_cast<DWORD>(result.size());
    return TRUE;
}
