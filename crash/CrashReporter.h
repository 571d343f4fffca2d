// The crash report, written by the crash helper for the program it serves.
//
// CrashExceptionFilter takes the record the crashed thread left and appends one report to the
// report file: exception, fault address and registers, then the call stack twice (the second
// time with the parameters and locals of every frame). The sections of system and module
// information, the minidump and the crash dialog join through CrashReportHooks.
#pragma once

#include "platform/base/Format.h"
#include "platform/debug/CrashRecord.h"
#include "platform/debug/ModuleList.h"
#include "platform/debug/SymbolEngine.h"

#include <QString>

#include <functional>
#include <string>
#include <vector>

class CCrashReporter;

// Where the later sections of the report join; each may be empty.
struct CrashReportHooks {
    // After the exception sections, for every crash: the minidump.
    std::function<void(CCrashReporter&, const taluvo::debug::CrashRecord&)> writeMiniDump;
    // Once per process, before the end marker: system information and the module list.
    std::function<void(CCrashReporter&)> writeSystemInfo;
    std::function<void(CCrashReporter&)> writeModuleList;
    // Once per process, after the report is closed and no debugger is attached: the crash dialog.
    std::function<void(CCrashReporter&)> showCrashDialog;
};

class CCrashReporter {
public:
    CCrashReporter();
    ~CCrashReporter();
    CCrashReporter(const CCrashReporter&) = delete;
    CCrashReporter& operator=(const CCrashReporter&) = delete;

    void SetReportPath(const QString& path);
    const QString& GetReportPath() const { return m_reportPath; }
    // "Crash.dmp" in the report's folder (the program's folder).
    QString GetDumpPath() const;

    // The modules of the crashed process, read once on first use: the minidump and the report's
    // module list share them, and neither needs the other to have run.
    const std::vector<taluvo::debug::ModuleInfo>& Modules();

    // Writes the report for a crash of the process the record names. 0: the report is written
    // and a debugger takes over (or the report could not be opened); 1: the report is written
    // and the dialog has run.
    int CrashExceptionFilter(const taluvo::debug::CrashRecord& record);
    // Whether the last CrashExceptionFilter could open the report file.
    bool ReportOpened() const { return m_reportOpened; }

    void WriteExceptionReport(const taluvo::debug::CrashRecord& record);
    int FinishCrashReport();

    static QString GetExceptionName(uint32_t code);

    // Appends formatted text to the open report; returns the number of characters written.
    template <typename... A> int ReportPrintf(const char16_t* format, const A&... args)
    {
        return WriteReportText(taluvo::FormatN(kReportPrintfCapacity, format, args...));
    }

    taluvo::debug::CSymbolEngine& SymbolEngine() { return m_symbols; }
    pid_t Process() const { return m_process; }

    CrashReportHooks m_hooks;

    // Longest text one ReportPrintf writes: a whole symbol description with its indentation.
    static constexpr qsizetype kReportPrintfCapacity = 4096;

private:
    int WriteReportText(const QString& text);
    void CloseReport();

    QString m_reportPath;
    int m_reportFile = -1;
    pid_t m_process = 0;
    bool m_firstReportPending = true;
    bool m_reportOpened = false;
    taluvo::debug::CSymbolEngine m_symbols;
    std::vector<taluvo::debug::ModuleInfo> m_modules;
    bool m_modulesRead = false;
};
