#include "crash/CrashHandler.h"

#include "core/WorkerThread.h"
#include "platform/base/Process.h"
#include "platform/base/TextCodec.h"
#include "platform/debug/CrashCapture.h"

QString CrashReportPath()
{
    return taluvo::ProgramFilePath(QStringLiteral("RPT"));
}

bool InstallCrashHandler(const QString& helperPath)
{
    QString helper = helperPath;
    if (helper.isEmpty()) {
        const QString exe = taluvo::ExecutablePath();
        helper = exe.left(exe.lastIndexOf(QLatin1Char('/')) + 1) + QStringLiteral("taluvo-crashreport");
    }
    taluvo::debug::CrashCaptureOptions options;
    options.reportPath = taluvo::AnsiEncode(CrashReportPath()).toStdString();
    options.helperPath = taluvo::AnsiEncode(helper).toStdString();
    CWorkerThread::SetThreadStartHook(&taluvo::debug::PrepareThreadForCrashes);
    return taluvo::debug::InstallCrashCapture(options);
}
