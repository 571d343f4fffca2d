// Program entry. Until the main window exists, the program sets up its tracing and says so.
#include "core/DebugTracer.h"
#include "crash/CrashHandler.h"
#include "platform/base/Process.h"

#include <cstdio>

TRACE_MODULE("Taluvo");

int main()
{
    InstallCrashHandler();
    CDebugTracer* tracer = CDbgTracer::Instance();
    tracer->SetLogFile(taluvo::ProgramFilePath(QStringLiteral("trc")));
    TRACE1(u"Taluvo started. Program folder: %s\r\n", taluvo::ProgramFolder());
    std::fprintf(stderr, "taluvo: the main window is not built yet; tracing is set up, nothing else runs.\n");
    return 0;
}
