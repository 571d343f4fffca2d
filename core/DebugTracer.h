// Diagnostic trace lines, to the debugger (standard error) or appended to a file.
//
// Every source file registers a module name with TRACE_MODULE; the module's level, a bit mask from
// section "TraceLevel" of the program's INI file, decides which lines that file writes:
// 0x01 TRACE0 (errors), 0x02 TRACE1 (results), 0x04 TRACE2 (steps), 0x08 TRACE3 (finest steps),
// 0x10 ENTRY/EXIT lines of TRACE_SCOPE. A disabled line costs one test; its arguments are not
// evaluated. Lines from different threads never mix: the header and the message of one line are
// written under one lock.
#pragma once

#include "platform/base/CriticalSection.h"
#include "platform/base/Format.h"
#include "platform/base/WinTypes.h"

#include <QString>

class CDebugTracer {
public:
    // Format flags: which prefix parts a line gets.
    enum : DWORD {
        FLAG_THREAD = 0x01,
        FLAG_DATE = 0x02,
        FLAG_TIME = 0x04,
        FLAG_FILE = 0x08,
        FLAG_LINE = 0x10,
        FLAG_LABEL = 0x20,
        FLAGS_ALL = 0x3F,
    };
    static constexpr qsizetype kLineCapacity = 32768;

    // The process-wide tracer reads the INI file named after the executable in the program's folder.
    CDebugTracer();
    // A tracer on another INI file (tests, tools).
    explicit CDebugTracer(const QString& iniPath);
    CDebugTracer(const CDebugTracer&) = delete;
    CDebugTracer& operator=(const CDebugTracer&) = delete;

    DWORD GetModuleTraceLevel(const QString& moduleName);
    BOOL SetLogFile(const QString& path);
    void SetOutput(BOOL toDebugger, BOOL writeIni);
    void SetFlags(DWORD flags);

    // Begins a line: takes the lock (kept until WriteMessage) and writes the prefix.
    template <typename... A> void WriteHeader(const char16_t* format, const A&... args)
    {
        EnterCriticalSection(&m_lock);
        WriteHeaderText(taluvo::FormatN(kLineCapacity, format, args...));
    }
    // Ends the line begun by WriteHeader on this thread and leaves the lock.
    template <typename... A> void WriteMessage(const char16_t* format, const A&... args)
    {
        WriteMessageText(taluvo::FormatN(kLineCapacity, format, args...));
    }

    void Output();

    const QString& IniPath() const { return m_szIniPath; }
    QString LogPath() const;
    BOOL IsOutputToDebugger() const { return m_bOutputToDebugger; }

private:
    void Init(const QString& iniPath);
    void WriteHeaderText(const QString& formatted);
    void WriteMessageText(const QString& message); // leaves the lock, whatever happens

    QString m_szIniPath;
    QString m_szLogPath;
    DWORD m_dwFlags = FLAGS_ALL;
    BOOL m_bOutputToDebugger = TRUE;
    mutable CRITICAL_SECTION m_lock;
    QString m_lineBuffer;
};

// Holder of the process-wide tracer: created on first use, and kept until the process ends so
// that tracing from late static destructors and exiting threads is always safe.
class CDbgTracer {
public:
    static CDebugTracer* Instance();
};

// ENTRY line at construction, EXIT line (same source line) at destruction, when the module level
// has bit 0x10 at construction.
class CTraceScope {
public:
    CTraceScope(const char16_t* qualifiedName, DWORD moduleLevel, const char* file, int line);
    ~CTraceScope();
    CTraceScope(const CTraceScope&) = delete;
    CTraceScope& operator=(const CTraceScope&) = delete;

private:
    QString m_szScope;
    DWORD m_dwLevel;
    int m_nLine;
    const char* m_szFile;
};

constexpr DWORD TRACE_LEVEL_0 = 0x01;
constexpr DWORD TRACE_LEVEL_1 = 0x02;
constexpr DWORD TRACE_LEVEL_2 = 0x04;
constexpr DWORD TRACE_LEVEL_3 = 0x08;
constexpr DWORD TRACE_LEVEL_SCOPE = 0x10;

// Registers this source file's module; the level is read once, before main runs.
#define TRACE_MODULE(name)                                                                                             \
    static const DWORD s_dwTraceModuleLevel = CDbgTracer::Instance()->GetModuleTraceLevel(QStringLiteral(name))

#define TALUVO_TRACE_AT(bit, header, ...)                                                                              \
    do {                                                                                                               \
        if (s_dwTraceModuleLevel & (bit)) {                                                                            \
            CDebugTracer* tracer_ = CDbgTracer::Instance();                                                            \
            tracer_->WriteHeader(header, u"#FILE_LINE#", __FILE__, __LINE__);                                          \
            tracer_->WriteMessage(__VA_ARGS__);                                                                        \
        }                                                                                                              \
    } while (0)

#define TRACE0(...) TALUVO_TRACE_AT(TRACE_LEVEL_0, u"%s\t%hs(%d)\t::TRACE0:\t", __VA_ARGS__)
#define TRACE1(...) TALUVO_TRACE_AT(TRACE_LEVEL_1, u"%s\t%hs(%d)\t::TRACE1:\t", __VA_ARGS__)
#define TRACE2(...) TALUVO_TRACE_AT(TRACE_LEVEL_2, u"%s\t%hs(%d)\t::TRACE2:\t", __VA_ARGS__)
#define TRACE3(...) TALUVO_TRACE_AT(TRACE_LEVEL_3, u"%s\t%hs(%d)\t::TRACE3:\t", __VA_ARGS__)

#define TALUVO_CONCAT_(a, b) a##b
#define TALUVO_CONCAT(a, b) TALUVO_CONCAT_(a, b)
#define TRACE_SCOPE(name)                                                                                              \
    CTraceScope TALUVO_CONCAT(traceScope_, __LINE__)(name, s_dwTraceModuleLevel, __FILE__, __LINE__)
