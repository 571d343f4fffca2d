// The internet layer's own trace lines, handed to whoever the program named.
#include "platform/inet/InetObjects.h"

namespace taluvo::inet::detail {
namespace {

std::atomic<TraceSink> g_sink { nullptr };
std::atomic<DWORD> g_levels { 0 };

} // namespace

bool Traced(DWORD level)
{
    return (g_levels.load(std::memory_order_relaxed) & level) != 0 && g_sink.load() != nullptr;
}

void Trace(DWORD level, const QString& line)
{
    if (!Traced(level))
        return;
    if (const TraceSink sink = g_sink.load())
        sink(level, line);
}

bool CurlOk(CURLcode code, const char* call)
{
    if (code == CURLE_OK)
        return true;
    if (Traced(kTraceErrors))
        Trace(kTraceErrors,
            QStringLiteral("WinInet - %1 failed: %2 (%3).\n")
                .arg(QLatin1String(call), QLatin1String(curl_easy_strerror(code)))
                .arg(static_cast<int>(code)));
    return false;
}

bool CurlOk(CURLMcode code, const char* call)
{
    if (code == CURLM_OK || code == CURLM_CALL_MULTI_PERFORM)
        return true;
    if (Traced(kTraceErrors))
        Trace(kTraceErrors,
            QStringLiteral("WinInet - %1 failed: %2 (%3).\n")
                .arg(QLatin1String(call), QLatin1String(curl_multi_strerror(code)))
                .arg(static_cast<int>(code)));
    return false;
}

} // namespace taluvo::inet::detail

namespace taluvo::inet {

void SetTraceSink(TraceSink sink, DWORD levels)
{
    detail::g_sink.store(sink);
    detail::g_levels.store(sink ? levels : 0);
}

} // namespace taluvo::inet
