#include "crash/SystemSections.h"

#include "crash/CrashReporter.h"
#include "platform/base/FileStatus.h"
#include "platform/base/TextCodec.h"
#include "platform/debug/MiniDump.h"
#include "platform/debug/SystemInfo.h"

using namespace taluvo::debug;

namespace {

// Texts of the version block are cut to 199 characters, so that one odd resource cannot stretch
// the report.
constexpr qsizetype kVersionTextLength = 199;

} // namespace

QString FormatDosTimeText(time_t time)
{
    tm local {};
    if (!localtime_r(&time, &local) || local.tm_year + 1900 < 1980 || local.tm_year + 1900 > 2107)
        return QString(); // outside what a DOS date word holds
    return taluvo::Format(u"%d/%d/%d %02d:%02d:%02d", local.tm_mon + 1, local.tm_mday, local.tm_year + 1900,
        local.tm_hour, local.tm_min, local.tm_sec & ~1);
}

bool CFileVersionInfo::Read(const QString& fileName)
{
    Free();
    ModuleInfo module;
    module.path = taluvo::AnsiEncode(fileName).toStdString();
    if (!ReadElfIdentity(module.path, module.buildId, module.soname))
        return false;
    ModuleVersions(module, m_fileVersion, m_productVersion);
    m_productName = taluvo::AnsiDecode(QByteArray::fromStdString(module.soname));
    return true;
}

void CFileVersionInfo::GetFileVersion(uint16_t words[4]) const
{
    for (int i = 0; i < 4; ++i)
        words[i] = m_fileVersion[i];
}

void CFileVersionInfo::GetProductVersion(uint16_t words[4]) const
{
    for (int i = 0; i < 4; ++i)
        words[i] = m_productVersion[i];
}

void CFileVersionInfo::Free()
{
    for (int i = 0; i < 4; ++i)
        m_fileVersion[i] = m_productVersion[i] = 0;
    m_companyName = m_productName = m_fileDescription = QStringLiteral("");
}

void WriteMiniDump(CCrashReporter& reporter, const CrashRecord& record)
{
    // Built from the report's folder, not through a change of the current folder, which would
    // move every relative path the helper still uses.
    WriteMiniDumpFile(taluvo::AnsiEncode(reporter.GetDumpPath()).toStdString(), record, reporter.Modules());
}

void WriteSystemInfo(CCrashReporter& reporter)
{
    reporter.ReportPrintf(u"Error occurred at %s.\r\n", FormatDosTimeText(std::time(nullptr)));
    std::string program = ProcessExecutable(reporter.Process());
    std::string user = ProcessUserName(reporter.Process());
    reporter.ReportPrintf(
        u"%hs, run by %hs.\r\n", program.empty() ? "Unknown" : program, user.empty() ? "Unknown" : user);
    reporter.ReportPrintf(u"\r\nOperating system information:\r\n\r\n");
    const OsVersion os = ReadOsVersion();
    reporter.ReportPrintf(u"Operating system:  %hs (%hs).\r\n", os.name, os.release);
    reporter.ReportPrintf(u"%d processor(s), type %d.\r\n", ReadProcessorInfo().count, kProcessorTypeAmd64);
    const MemoryStatus memory = ReadMemoryStatus(reporter.Process());
    reporter.ReportPrintf(u"%d%% memory in use.\r\n", memory.memoryLoad);
    reporter.ReportPrintf(u"%d MBytes physical memory.\r\n", memory.totalPhysical >> 20);
    reporter.ReportPrintf(u"%d MBytes physical memory free.\r\n", memory.availablePhysical >> 20);
    reporter.ReportPrintf(u"%d MBytes paging file.\r\n", memory.totalSwap >> 20);
    reporter.ReportPrintf(u"%d MBytes paging file free.\r\n", memory.freeSwap >> 20);
    reporter.ReportPrintf(u"%d MBytes user address space.\r\n", memory.totalVirtual >> 20);
    reporter.ReportPrintf(u"%d MBytes user address space free.\r\n", memory.availableVirtual >> 20);
    reporter.ReportPrintf(u"\r\n");
}

void WriteModuleList(CCrashReporter& reporter)
{
    int number = 1;
    for (const ModuleInfo& module : reporter.Modules())
        WriteModuleEntry(reporter, module, number++);
}

bool WriteModuleEntry(CCrashReporter& reporter, const ModuleInfo& module, int number)
{
    uint64_t fileSize = 0;
    QString fileTime;
    taluvo::SFileStatus status;
    if (taluvo::GetFileStatus(module.path, status)) {
        fileSize = status.size;
        fileTime = FormatDosTimeText(static_cast<time_t>(status.modified));
    }
    reporter.ReportPrintf(u"Module %d\r\n", number);
    reporter.ReportPrintf(u"%hs\r\n", module.path);
    // The whole base: on this machine modules load far above 4 GB.
    reporter.ReportPrintf(
        u"Image Base: 0x%08I64x  Image Size: 0x%08x\r\n", module.base, static_cast<uint32_t>(module.size));
    // ELF images carry neither a checksum nor a link time; the build id identifies them.
    reporter.ReportPrintf(u"Checksum:   0x%08x  Time Stamp: 0x%08x\r\n", 0, 0);
    reporter.ReportPrintf(u"Build Id:   %hs\r\n", BuildIdText(module.buildId));
    reporter.ReportPrintf(u"File Size:  %-10I64d  File Time:  %s\r\n", fileSize, fileTime);
    reporter.ReportPrintf(u"Version Information:\r\n");
    CFileVersionInfo version(taluvo::AnsiDecode(QByteArray::fromStdString(module.path)));
    reporter.ReportPrintf(u"   Company:    %s\r\n", version.GetCompanyName().left(kVersionTextLength));
    reporter.ReportPrintf(u"   Product:    %s\r\n", version.GetProductName().left(kVersionTextLength));
    reporter.ReportPrintf(u"   FileDesc:   %s\r\n", version.GetFileDescription().left(kVersionTextLength));
    uint16_t v[4];
    version.GetFileVersion(v);
    reporter.ReportPrintf(u"   FileVer:    %d.%d.%d.%d\r\n", v[0], v[1], v[2], v[3]);
    version.GetProductVersion(v);
    reporter.ReportPrintf(u"   ProdVer:    %d.%d.%d.%d\r\n", v[0], v[1], v[2], v[3]);
    version.Free();
    reporter.ReportPrintf(u"\r\n");
    return true;
}

void InstallSystemSections(CCrashReporter& reporter)
{
    reporter.m_hooks.writeMiniDump = [](CCrashReporter& r, const CrashRecord& record) { WriteMiniDump(r, record); };
    reporter.m_hooks.writeSystemInfo = [](CCrashReporter& r) { WriteSystemInfo(r); };
    reporter.m_hooks.writeModuleList = [](CCrashReporter& r) { WriteModuleList(r); };
}
