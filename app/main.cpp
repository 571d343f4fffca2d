// Program entry: tracing, the single-instance guard, the main window and the message loop.
#include "app/ShutdownSignals.h"
#include "core/DebugTracer.h"
#include "core/Globals.h"
#include "core/WorkerThread.h"
#include "crash/CrashHandler.h"
#include "frame/mainfrm.h"
#include "platform/base/Allocator.h"
#include "platform/base/ErrorTexts.h"
#include "platform/base/Format.h"
#include "platform/base/KernelObjects.h"
#include "platform/base/Process.h"
#include "platform/net/WinSock.h"
#include "platform/shell/ShutdownSignals.h"
#include "platform/shell/Sound.h"
#include "platform/ui/Application.h"
#include "res/resource.h"

TRACE_MODULE("Taluvo");

using taluvo::net::WSACleanup;
using taluvo::net::WSAStartup;

namespace {

constexpr int kWindowWidth = 640;
constexpr int kWindowHeight = 450;
// Workers still running when the window has gone (a check, an alert e-mail) get this long in all.
constexpr DWORD kExitWorkerWaitMs = 5000;

int Run(int showCommand)
{
    CMessageLoop theLoop;
    _Module.AddMessageLoop(&theLoop);

    RECT rect { 0, 0, kWindowWidth, kWindowHeight };
    RECT desktop;
    if (GetWindowRect(GetDesktopWindow(), &desktop)) {
        const int width = desktop.right - desktop.left;
        const int height = desktop.bottom - desktop.top;
        if (width > kWindowWidth) {
            rect.left += (width - kWindowWidth) / 2;
            rect.right += (width - kWindowWidth) / 2;
        }
        if (height > kWindowHeight) {
            rect.top += (height - kWindowHeight) / 2;
            rect.bottom += (height - kWindowHeight) / 2;
        }
    } else {
        TRACE0(u"GetWindowRect() of desktop failed.\n");
    }

    int result = 0;
    {
        CMainFrame wndMain;
        // The window publishes itself while it is created, before its toolbar server starts.
        const HWND hWndMain = wndMain.CreateEx(GetDesktopWindow(), &rect);
        if (!hWndMain) {
            TRACE0(u"Main window creation failed!\n");
            _Module.RemoveMessageLoop();
            return 0;
        }
        wndMain.ShowWindow(showCommand);
        wndMain.SetForegroundWindow();
        // A signal that came while the window was being made closes it now.
        if (taluvo::shell::ShutdownRequested())
            wndMain.PostMessage(WM_CLOSE);
        result = theLoop.Run();
        g_hMainWnd = nullptr;
    }
    _Module.RemoveMessageLoop();
    return result;
}

// The sound library's complaints (no sound card, a device that cannot be opened) are the trace's,
// not the terminal's: a start prints nothing.
void TraceSoundMessage(const QString& message)
{
    TRACE1(u"Sound: %s\r\n", message);
}

QString SingleInstanceLockFailure(DWORD error)
{
    const QString reason = taluvo::SystemErrorMessage(error).value_or(QString()).trimmed();
    return taluvo::Format(u"Unable to take the single-instance lock \"%s\".\n%s\nThe program does not start "
                          u"without it: a second copy could work on the same database.",
        taluvo::NamedLockPath(QStringLiteral("TALUVO_MUTEX")), reason);
}

} // namespace

int main(int argc, char** argv)
{
    // Before any thread starts, so every heap the program makes follows the same rules.
    const bool allocatorTuned = taluvo::TuneAllocator();
    taluvo::shell::InstallShutdownSignals();
    InstallCrashHandler();
    const QString programPath = taluvo::ExecutablePath();
    if (programPath.isEmpty())
        return -1;
    CDbgTracer::Instance()->SetLogFile(taluvo::ProgramFilePath(QStringLiteral("trc")));
    TRACE1(u"Taluvo started. Program folder: %s\r\n", taluvo::ProgramFolder());
    taluvo::shell::SetSoundMessageSink(&TraceSoundMessage);
    if (!allocatorTuned)
        TRACE0(u"The allocator's thresholds could not be set; the C library's defaults stay.\r\n");

    taluvo::ui::CUiApplication application(argc, argv);
    taluvo::res::RegisterResources();
    _Module.Init(nullptr, nullptr);

    WSADATA wsaData;
    if (WSAStartup(0x0101, &wsaData) != 0) {
        TRACE0(u"WSAStartup failed.\n");
        return -1;
    }

    HANDLE hMutex = CreateMutex(nullptr, TRUE, u"TALUVO_MUTEX");
    if (!hMutex) {
        // Without the lock a second copy could run on the same database unnoticed.
        MessageBox(GetDesktopWindow(), SingleInstanceLockFailure(GetLastError()), QStringLiteral("Error"),
            MB_OK | MB_ICONERROR);
        WSACleanup();
        return -1;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        MessageBox(GetDesktopWindow(), QStringLiteral("Other instance of application already running."),
            QStringLiteral("Warning"), MB_OK | MB_ICONINFORMATION);
        CloseHandle(hMutex);
        WSACleanup();
        return -1;
    }

    taluvo::app::ListenForShutdownSignals();
    const int result = Run(SW_SHOW);
    if (!CWorkerThread::WaitForAllWorkers(kExitWorkerWaitMs))
        TRACE0(u"%d worker threads still running at exit.\r\n", CWorkerThread::RunningWorkers());

    _Module.Term();
    WSACleanup();
    CloseHandle(hMutex);
    return result;
}
