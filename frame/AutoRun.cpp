#include "frame/AutoRun.h"

#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "frame/mainfrm.h"
#include "platform/base/Process.h"
#include "platform/shell/Autostart.h"

TRACE_MODULE("CMainFrame");

using taluvo::shell::EAutostart;

QString AutoRunEntryPath()
{
    return taluvo::shell::AutostartEntryPath(QStringLiteral("taluvo.desktop"));
}

void ManageAutoRun(BOOL on)
{
    TRACE_SCOPE(u"ManageAutoRun");
    try {
        const QString path = AutoRunEntryPath();
        if (!on) {
            // A missing entry is not an error.
            FAIL_CHECK_FMT(taluvo::shell::RemoveAutostartEntry(path) == EAutostart::ok,
                u"Unable to remove autostart entry.\n%s", path);
            return;
        }
        const QString program = taluvo::ExecutablePath();
        FAIL_CHECK(!program.isEmpty(), QStringLiteral("Unable to allocate memory for store application path."));
        const EAutostart result = taluvo::shell::AddAutostartEntry(path, QString::fromUtf16(APP_NAME), program);
        FAIL_CHECK_FMT(result != EAutostart::folderFailed, u"Unable to open autostart folder.\n%s",
            path.left(path.lastIndexOf(QLatin1Char('/'))));
        FAIL_CHECK_FMT(result == EAutostart::ok, u"Unable to write autostart entry.\n%s", path);
    } catch (CCmnException& e) {
        TRACE0(u"ManageAutoRun. Exception - %s\n", e.GetMessage());
        MessageBox(GetDesktopWindow(), e.GetShortText(), QStringLiteral("Error."), MB_OK | MB_ICONERROR);
    }
}
