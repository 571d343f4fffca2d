// Request headers added by the caller and response headers queried from a request.
#include "platform/inet/InetObjects.h"

#include "platform/base/KernelObjects.h"
#include "platform/base/TextCodec.h"
#include "platform/base/Time.h"

#include <QList>

#include <algorithm>
#include <cstring>
#include <ctime>

using namespace taluvo::inet::detail;

namespace {

bool ParseHeaderLines(LPCWSTR text, DWORD length, std::vector<Header>& out)
{
    const QString headers = length == static_cast<DWORD>(-1) ? QString::fromUtf16(text)
                                                             : QString::fromUtf16(text, static_cast<qsizetype>(length));
    const QByteArray bytes = taluvo::AnsiEncode(headers);
    for (QByteArray line : bytes.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || line.contains('\r'))
            return false;
        const QByteArray name = line.left(colon).trimmed();
        if (name.isEmpty() || name.contains(' ') || name.contains('\t'))
            return false;
        out.push_back({ name, line.mid(colon + 1).trimmed() });
    }
    return true;
}

const char* HeaderNameOfLevel(DWORD level)
{
    switch (level) {
    case HTTP_QUERY_CONTENT_TYPE:
        return "Content-Type";
    case HTTP_QUERY_CONTENT_LENGTH:
        return "Content-Length";
    case HTTP_QUERY_DATE:
        return "Date";
    case HTTP_QUERY_LAST_MODIFIED:
        return "Last-Modified";
    case HTTP_QUERY_LOCATION:
        return "Location";
    default:
        return nullptr;
    }
}

} // namespace

BOOL HttpAddRequestHeaders(HINTERNET hRequest, LPCWSTR lpszHeaders, DWORD dwHeadersLength, DWORD dwModifiers)
{
    std::shared_ptr<Request> request = FindAs<Request>(hRequest, Kind::Request);
    if (!request)
        return FALSE;
    std::vector<Header> lines;
    if (lpszHeaders == nullptr || !ParseHeaderLines(lpszHeaders, dwHeadersLength, lines)) {
        SetLastError(ERROR_HTTP_INVALID_HEADER);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(request->lock);
    if (request->started) {
        SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
        return FALSE;
    }
    const bool add = (dwModifiers & HTTP_ADDREQ_FLAG_ADD) != 0;
    const bool replace = (dwModifiers & HTTP_ADDREQ_FLAG_REPLACE) != 0;
    const bool addIfNew = (dwModifiers & HTTP_ADDREQ_FLAG_ADD_IF_NEW) != 0;
    std::vector<Header>& headers = request->headers;
    for (const Header& line : lines) {
        auto existing = std::find_if(headers.begin(), headers.end(),
            [&](const Header& h) { return h.name.compare(line.name, Qt::CaseInsensitive) == 0; });
        const bool found = existing != headers.end();
        if (addIfNew && found) {
            SetLastError(ERROR_HTTP_HEADER_ALREADY_EXISTS);
            return FALSE;
        }
        if (replace) {
            if (found) {
                // Replace the first, drop the others; an empty value removes the header.
                headers.erase(std::remove_if(std::next(existing), headers.end(),
                                  [&](const Header& h) { return h.name.compare(line.name, Qt::CaseInsensitive) == 0; }),
                    headers.end());
                if (line.value.isEmpty())
                    headers.erase(existing);
                else
                    *existing = line;
            } else if (add) {
                headers.push_back(line);
            } else {
                SetLastError(ERROR_HTTP_HEADER_NOT_FOUND);
                return FALSE;
            }
        } else {
            headers.push_back(line);
        }
    }
    return TRUE;
}

BOOL HttpQueryInfo(HINTERNET hRequest, DWORD dwInfoLevel, LPVOID lpBuffer, LPDWORD lpdwBufferLength, LPDWORD lpdwIndex)
{
    std::shared_ptr<Request> request = FindAs<Request>(hRequest, Kind::Request);
    if (!request)
        return FALSE;
    if (lpdwBufferLength == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD level = dwInfoLevel & HTTP_QUERY_HEADER_MASK;
    const DWORD modifiers = dwInfoLevel & HTTP_QUERY_MODIFIER_FLAGS_MASK;
    QByteArray value;
    {
        std::lock_guard<std::mutex> guard(request->lock);
        if (!request->sawResponse || !request->headersDone) {
            SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
            return FALSE;
        }
        const DWORD index = lpdwIndex ? *lpdwIndex : 0;
        if (level == HTTP_QUERY_STATUS_CODE) {
            value = QByteArray::number(request->statusCode);
        } else if (level == HTTP_QUERY_STATUS_TEXT) {
            value = request->statusText;
        } else if (level == HTTP_QUERY_RAW_HEADERS_CRLF) {
            value = request->rawHeaders;
        } else if (const char* name = HeaderNameOfLevel(level)) {
            DWORD seen = 0;
            bool found = false;
            for (const Header& header : request->responseHeaders) {
                if (header.name.compare(name, Qt::CaseInsensitive) == 0 && seen++ == index) {
                    value = header.value;
                    found = true;
                    break;
                }
            }
            if (!found) {
                SetLastError(ERROR_HTTP_HEADER_NOT_FOUND);
                return FALSE;
            }
        } else {
            SetLastError(ERROR_HTTP_INVALID_QUERY_REQUEST);
            return FALSE;
        }
    }
    if (modifiers & HTTP_QUERY_FLAG_NUMBER) {
        bool ok = false;
        const qulonglong number = value.trimmed().toULongLong(&ok);
        if (!ok || number > 0xFFFFFFFFull) {
            SetLastError(ERROR_HTTP_INVALID_HEADER);
            return FALSE;
        }
        if (lpBuffer == nullptr || *lpdwBufferLength < sizeof(DWORD)) {
            *lpdwBufferLength = sizeof(DWORD);
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        const DWORD out = static_cast<DWORD>(number);
        std::memcpy(lpBuffer, &out, sizeof(out));
        *lpdwBufferLength = sizeof(DWORD);
    } else if (modifiers & HTTP_QUERY_FLAG_SYSTEMTIME) {
        const time_t t = curl_getdate(value.constData(), nullptr);
        tm parts {};
        if (t == -1 || !gmtime_r(&t, &parts)) {
            SetLastError(ERROR_HTTP_INVALID_HEADER);
            return FALSE;
        }
        if (lpBuffer == nullptr || *lpdwBufferLength < sizeof(SYSTEMTIME)) {
            *lpdwBufferLength = sizeof(SYSTEMTIME);
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        SYSTEMTIME st {};
        taluvo::SystemTimeFromTm(parts, st);
        std::memcpy(lpBuffer, &st, sizeof(st));
        *lpdwBufferLength = sizeof(SYSTEMTIME);
    } else {
        const QString text = taluvo::AnsiDecode(value);
        const DWORD needed = static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));
        if (lpBuffer == nullptr || *lpdwBufferLength < needed) {
            *lpdwBufferLength = needed;
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        std::memcpy(lpBuffer, text.utf16(), needed);
        *lpdwBufferLength = needed - sizeof(char16_t);
    }
    if (lpdwIndex)
        ++*lpdwIndex;
    return TRUE;
}
