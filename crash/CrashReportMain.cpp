// taluvo-crashreport: the crash helper. The program starts it at its own start and hands it a
// socket and a shared crash record; the helper sleeps until the program crashes, then writes the
// report and the minidump while the crashed thread waits, lets the program end, shows the crash
// dialog (after the first report, when no debugger is attached) and exits. When the program ends
// normally, the helper sees the end of the socket and exits too.
#include "crash/CrashReportDlg.h"
#include "crash/CrashReporter.h"
#include "crash/SystemSections.h"
#include "platform/base/TextCodec.h"
#include "platform/debug/CrashCapture.h"
#include "res/resource.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    using namespace taluvo::debug;
    if (argc < 2 || std::strcmp(argv[1], kHelperServeArgument) != 0) {
        std::fprintf(stderr,
            "taluvo-crashreport: writes the crash reports of taluvo, which starts it; "
            "it is not meant to be run by hand.\n");
        return 2;
    }
    CrashHelperChannel channel;
    if (!channel.Open(kHelperSocketFd, kHelperSharedFd))
        return 1;
    if (!channel.WaitForCrash())
        return 0;
    CCrashReporter reporter;
    reporter.SetReportPath(taluvo::AnsiDecode(channel.Record().reportPath));
    InstallSystemSections(reporter);
    CrashDialogRequest dialog;
    InstallCrashDialog(reporter, dialog);
    reporter.CrashExceptionFilter(channel.Record());
    channel.Answer(reporter.ReportOpened());
    taluvo::res::RegisterResources();
    ShowCrashDialog(dialog, argc, argv);
    return 0;
}
