#include "crash/CrashReporter.h"

#include "crash/CallStack.h"
#include "platform/base/FileWrite.h"
#include "platform/base/TextCodec.h"
#include "platform/debug/ExceptionSection.h"
#include "platform/debug/ProcessMemory.h"
#include "platform/debug/SafeText.h"

using namespace taluvo::debug;

CCrashReporter::CCrashReporter() = default;

CCrashReporter::~CCrashReporter()
{
    CloseReport();
}

void CCrashReporter::SetReportPath(const QString& path)
{
    m_reportPath = path;
}

QString CCrashReporter::GetDumpPath() const
{
    return m_reportPath.left(m_reportPath.lastIndexOf(QLatin1Char('/')) + 1) + QStringLiteral("Crash.dmp");
}

const std::vector<ModuleInfo>& CCrashReporter::Modules()
{
    if (!m_modulesRead && m_process > 0) {
        m_modules = ReadModules(m_process);
        m_modulesRead = true;
    }
    return m_modules;
}

QString CCrashReporter::GetExceptionName(uint32_t code)
{
    char buffer[256];
    SafeText text(buffer, sizeof(buffer));
    AppendExceptionName(code, text);
    return taluvo::AnsiDecode(text.Text());
}

int CCrashReporter::WriteReportText(const QString& text)
{
    if (m_reportFile < 0)
        return 0;
    // QString holds UTF-16 in the machine's order, which on this machine is little-endian.
    // A failed write is ignored; every later step still runs.
    taluvo::WriteAll(m_reportFile, text.utf16(), static_cast<size_t>(text.size()) * 2);
    return static_cast<int>(text.size());
}

void CCrashReporter::CloseReport()
{
    if (m_reportFile < 0)
        return;
    taluvo::SyncFile(m_reportFile);
    taluvo::CloseFile(m_reportFile); // also releases the lock
    m_reportFile = -1;
}

int CCrashReporter::CrashExceptionFilter(const CrashRecord& record)
{
    m_process = record.processId;
    m_reportOpened = false;
    const QByteArray path = taluvo::AnsiEncode(m_reportPath);
    m_reportFile = taluvo::OpenUserFileForAppend(path.constData());
    if (m_reportFile < 0)
        return 0;
    m_reportOpened = true;
    // Another process writing its report to the same file finishes first.
    taluvo::LockFileExclusive(m_reportFile);

    WriteExceptionReport(record);
    if (m_hooks.writeMiniDump)
        m_hooks.writeMiniDump(*this, record);
    const int result = FinishCrashReport();
    CloseReport();
    return result;
}

void CCrashReporter::WriteExceptionReport(const CrashRecord& record)
{
    static char section[16 * 1024];
    SafeText text(section, sizeof(section));
    FormatExceptionSection(record, record.processId, text);
    WriteReportText(taluvo::AnsiDecode(text.Text(), static_cast<qsizetype>(text.Length())));

    if (!m_symbols.Initialize(record.processId))
        return; // no symbols: the report ends after the registers
    WriteCallStack(*this, record, false);
    ReportPrintf(u"========================\r\n");
    ReportPrintf(u"Local Variables And Parameters\r\n");
    WriteCallStack(*this, record, true);
    m_symbols.Cleanup();
    ReportPrintf(u"\r\n");
}

int CCrashReporter::FinishCrashReport()
{
    if (!m_firstReportPending)
        return 0;
    m_firstReportPending = false;
    if (m_hooks.writeSystemInfo)
        m_hooks.writeSystemInfo(*this);
    if (m_hooks.writeModuleList)
        m_hooks.writeModuleList(*this);
    ReportPrintf(u"%hs", kReportEndMarker);
    CloseReport();
    // The helper itself reads the program's memory but does not trace it; any tracer is a debugger.
    if (TracerOf(m_process) != 0)
        return 0;
    if (m_hooks.showCrashDialog)
        m_hooks.showCrashDialog(*this);
    return 1;
}
