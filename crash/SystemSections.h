// The last sections of the crash report (time, program and user, operating system, processors,
// memory, one block per loaded module) and the minidump "Crash.dmp" in the program's folder.
#pragma once

#include "platform/debug/CrashRecord.h"
#include "platform/debug/ModuleList.h"

#include <QString>

#include <cstdint>
#include <ctime>

class CCrashReporter;

// Writes "Crash.dmp" beside the report; the process's current folder stays as it is.
void WriteMiniDump(CCrashReporter& reporter, const taluvo::debug::CrashRecord& record);
void WriteSystemInfo(CCrashReporter& reporter);
void WriteModuleList(CCrashReporter& reporter);
bool WriteModuleEntry(CCrashReporter& reporter, const taluvo::debug::ModuleInfo& module, int number);

// Local date and time as "month/day/year hh:mm:ss" with the seconds rounded down to even, as
// file times of the report have always been shown; empty when the time cannot be converted.
QString FormatDosTimeText(time_t time);

// The version data a module's file carries: on this system the numbers in its file name and
// soname, and the soname as the product's name.
class CFileVersionInfo {
public:
    explicit CFileVersionInfo(const QString& fileName) { Read(fileName); }
    // True when the file is an ELF image.
    bool Read(const QString& fileName);
    void GetFileVersion(uint16_t words[4]) const;
    void GetProductVersion(uint16_t words[4]) const;
    const QString& GetCompanyName() const { return m_companyName; }
    const QString& GetProductName() const { return m_productName; }
    const QString& GetFileDescription() const { return m_fileDescription; }
    void Free();

private:
    uint16_t m_fileVersion[4] = {};
    uint16_t m_productVersion[4] = {};
    // Never null, so an absent text prints as nothing.
    QString m_companyName = QStringLiteral(""), m_productName = QStringLiteral(""),
            m_fileDescription = QStringLiteral("");
};

// Connects the sections above and the minidump to the reporter.
void InstallSystemSections(CCrashReporter& reporter);
