#include "core/InternetUtils.h"

#include "core/DebugTracer.h"
#include "platform/base/KernelObjects.h"
#include "platform/shell/CommandLine.h"
#include "platform/shell/Launch.h"
#include "platform/shell/OnlineState.h"

#include <vector>

TRACE_MODULE("InternetUtils");

namespace {

constexpr int kNoBrowserRegistered = 32;
constexpr int kBrowserNotStarted = 31;
constexpr int kBrowserStarted = 33;

// The command line as the trace shows it: every argument in double quotes.
QString QuotedCommandLine(const QStringList& argv)
{
    QStringList quoted;
    for (const QString& argument : argv)
        quoted << QLatin1Char('"') + argument + QLatin1Char('"');
    return quoted.join(QLatin1Char(' '));
}

} // namespace

BOOL CrackUrl(const QString& szUrl, QString& strHost, QString& strPath, INTERNET_SCHEME& nScheme, INTERNET_PORT* pnPort)
{
    const char16_t* source = reinterpret_cast<const char16_t*>(szUrl.utf16());
    std::vector<char16_t> canonical(INTERNET_MAX_URL_LENGTH);
    DWORD length = static_cast<DWORD>(canonical.size());
    if (!InternetCanonicalizeUrl(source, canonical.data(), &length, ICU_BROWSER_MODE | ICU_NO_META)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return FALSE;
        canonical.assign(length, 0);
        if (!InternetCanonicalizeUrl(source, canonical.data(), &length, ICU_BROWSER_MODE | ICU_NO_META))
            return FALSE;
    }
    std::vector<char16_t> host(INTERNET_MAX_HOST_NAME_LENGTH);
    std::vector<char16_t> path(INTERNET_MAX_URL_LENGTH);
    URL_COMPONENTS components {};
    components.dwStructSize = sizeof(components);
    components.lpszHostName = host.data();
    components.dwHostNameLength = static_cast<DWORD>(host.size());
    components.lpszUrlPath = path.data();
    components.dwUrlPathLength = static_cast<DWORD>(path.size());
    const BOOL result = InternetCrackUrl(canonical.data(), 0, 0, &components);
    if (!result)
        return FALSE;
    nScheme = components.nScheme;
    if (pnPort)
        *pnPort = components.nPort;
    strHost = QString::fromUtf16(host.data(), components.dwHostNameLength);
    strPath = QString::fromUtf16(path.data(), components.dwUrlPathLength);
    return result;
}

void SplitInterval(DWORD dwSeconds, int& nDays, int& nHours, int& nMinutes)
{
    nDays = nHours = nMinutes = 0;
    DWORD m = dwSeconds / 60;
    if (m >= 1440) {
        nDays = static_cast<int>(m / 1440);
        m %= 1440;
    }
    if (m >= 60) {
        nHours = static_cast<int>(m / 60);
        m %= 60;
    }
    nMinutes = static_cast<int>(m);
}

QString FormatInterval(int nDays, int nHours, int nMinutes)
{
    if (nDays == 0 && nHours == 0 && nMinutes == 0)
        return QStringLiteral("Invalid interval");
    QString text;
    const struct {
        int value;
        const char* unit;
    } parts[] = { { nDays, " day" }, { nHours, " hour" }, { nMinutes, " minute" } };
    for (const auto& part : parts) {
        if (part.value <= 0)
            continue;
        if (!text.isEmpty())
            text += QStringLiteral(", ");
        text += QString::number(part.value) + QLatin1String(part.unit);
        if (part.value > 1)
            text += QLatin1Char('s');
    }
    return text;
}

BOOL CountActiveRasConnections()
{
    return taluvo::shell::GetOnlineState().pointToPointUp > 0 ? TRUE : FALSE;
}

int GotoURL(HWND hWnd, const QString& szUrl, BOOL fOpenNewWindow, int iShowCmd)
{
    TRACE1(u"GotoURL. szUrl: %s, fOpenNewWindow: %s, iShowCmd: %d\r\n", szUrl, fOpenNewWindow ? u"TRUE" : u"FALSE",
        iShowCmd);
    if (!fOpenNewWindow) {
        const int result = taluvo::shell::OpenUrl(szUrl);
        TRACE1(u"GotoURL. Using ShellExecute(). Result: %d\r\n", result);
        return result;
    }
    QString desktopFile, command;
    if (!taluvo::shell::FindDefaultBrowser(desktopFile, command)) {
        if (desktopFile.isEmpty())
            TRACE1(u"GotoURL. Unable to find the default handler of \"x-scheme-handler/http\".\r\n");
        else
            TRACE1(u"GotoURL. Unable to read the Exec value of \"%s\".\r\n", desktopFile);
        // No browser of its own registered: the desktop's opener may still know one.
        const int result = taluvo::shell::OpenUrl(szUrl);
        TRACE1(u"GotoURL. Using xdg-open. Result: %d\r\n", result);
        return result > 32 ? kBrowserStarted : kNoBrowserRegistered;
    }
    TRACE1(u"GotoURL. Using desktop file: \"%s\"\r\n", desktopFile);
    TRACE1(u"GotoURL. Default value: \"%s\".\r\n", command);
    // The whole Exec line counts: wrappers such as "env VAR=1 browser %u" or "flatpak run id %u"
    // start the browser only with all their arguments.
    bool placed = false;
    QStringList argv
        = taluvo::shell::SplitCommandLine(command, szUrl, taluvo::shell::Placeholders::DesktopEntry, &placed);
    if (!placed)
        argv << szUrl;
    if (argv.front().isEmpty() || !taluvo::shell::IsWebAddress(szUrl)) {
        TRACE1(u"GotoURL. Refused to start \"%s\" with \"%s\".\r\n", command, szUrl);
        return kBrowserNotStarted;
    }
    TRACE1(u"GotoURL. Command line: \"%s\".\r\n", QuotedCommandLine(argv));
    DWORD error = 0;
    if (!taluvo::shell::RunProgram(argv, &error)) {
        TRACE1(u"GotoURL. CreateProcess failed. Error: %d.\r\n", error);
        return kBrowserNotStarted;
    }
    return kBrowserStarted;
}
