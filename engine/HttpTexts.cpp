#include "engine/HttpTexts.h"

#include "core/Exceptions.h"
#include "platform/base/Format.h"
#include "platform/base/Time.h"

QString FormatHttpDate(int64_t t)
{
    static const char16_t* const days[] = { u"Sun", u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat" };
    static const char16_t* const months[]
        = { u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun", u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec" };
    SYSTEMTIME utc;
    if (!taluvo::ToUtcTime(t, utc))
        return QStringLiteral("Unknown");
    return taluvo::Format(u"%s, %0.2d %s %d %0.2d:%0.2d:%0.2d GMT", days[utc.wDayOfWeek % 7], utc.wDay,
        months[(utc.wMonth + 11) % 12], utc.wYear, utc.wHour, utc.wMinute, utc.wSecond);
}

QString GetHttpStatusText(DWORD code)
{
    struct Entry {
        DWORD code;
        const char16_t* text;
    };
    static const Entry table[] = {
        { 100, u"The request can be continued." },
        { 101, u"The server has switched protocols in an upgrade header." },
        { 200, u"The request completed successfully." },
        { 201, u"The request has been fulfilled and resulted in the creation of a new resource." },
        { 202, u"The request has been accepted for processing, but the processing has not been completed." },
        { 203,
            u"The returned meta information in the entity-header is not the definitive set available from the "
            u"originating server." },
        { 204, u"The server has fulfilled the request, but there is no new information to send back." },
        { 205,
            u"The request has been completed, and the client program should reset the document view that caused the "
            u"request to be sent to allow the user to easily initiate another input action." },
        { 206, u"The server has fulfilled the partial GET request for the resource." },
        { 300, u"The requested resource is available at one or more locations." },
        { 301,
            u"The requested resource has been assigned to a new permanent Uniform Resource Identifier (URI), and any "
            u"future references to this resource should be done using one of the returned URIs." },
        { 302, u"The requested resource resides temporarily under a different URI." },
        { 303,
            u"The response to the request can be found under a different URI and should be retrieved using a GET HTTP "
            u"verb on that resource." },
        { 304, u"The requested resource has not been modified." },
        { 305, u"The requested resource must be accessed through the proxy given by the location field." },
        { 307, u"The redirected request keeps the same HTTP verb. HTTP/1.1 behavior." },
        { 400, u"The request could not be processed by the server due to invalid syntax." },
        { 401, u"The requested resource requires user authentication." },
        { 402, u" Not implemented in the HTTP protocol." },
        { 403, u"The server understood the request, but cannot fulfill it." },
        { 404, u"The server has not found anything that matches the requested URI. " },
        { 405, u"The HTTP verb used is not allowed. " },
        { 406, u"No responses acceptable to the client were found." },
        { 407, u"Proxy authentication required." },
        { 408, u"The server timed out waiting for the request." },
        { 409,
            u"The request could not be completed due to a conflict with the current state of the resource. The user "
            u"should resubmit with more information." },
        { 410, u"The requested resource is no longer available at the server, and no forwarding address is known." },
        { 411, u"The server cannot accept the request without a defined content length." },
        { 412,
            u"The precondition given in one or more of the request header fields evaluated to false when it was tested "
            u"on the server." },
        { 413,
            u"The server cannot process the request because the request entity is larger than the server is able to "
            u"process." },
        { 414,
            u"The server cannot service the request because the request URI is longer than the server can interpret." },
        { 415,
            u"The server cannot service the request because the entity of the request is in a format not supported by "
            u"the requested resource for the requested method." },
        { 449, u"The request should be retried after doing the appropriate action." },
        { 500, u"The server encountered an unexpected condition that prevented it from fulfilling the request." },
        { 501, u"The server does not support the functionality required to fulfill the request." },
        { 502,
            u"The server, while acting as a gateway or proxy, received an invalid response from the upstream server it "
            u"accessed in attempting to fulfill the request." },
        { 503, u"The service is temporarily overloaded." },
        { 504, u"The request was timed out waiting for a gateway." },
        { 505, u"The server does not support the HTTP protocol version that was used in the request message." },
    };
    for (const Entry& entry : table)
        if (entry.code == code)
            return QString::fromUtf16(entry.text);
    return taluvo::Format(u"Unknown HTTP status code. Code: %d.", code);
}

QString GetInternetErrorText(DWORD code)
{
    if (code == 0)
        return QStringLiteral("No error.");
    if (code == ERROR_PAGE_TOO_LARGE)
        return QStringLiteral("The page is larger than the 16 MB a check keeps.");
    if (code == ERROR_CHECK_TOO_LONG)
        return QStringLiteral("The server sent the page too slowly: the check ran out of time.");
    if (code >= 12000 && code <= 12174)
        return GetErrorDescription(code, u"wininet.dll");
    return GetErrorDescription(code);
}
