#include "core/DebugTracer.h"

#include "core/AutoHandle.h"
#include "core/Mutex.h"
#include "platform/base/DebugOutput.h"
#include "platform/base/FileWrite.h"
#include "platform/base/Process.h"
#include "platform/base/Profile.h"
#include "platform/base/TextCodec.h"
#include "platform/base/Time.h"

namespace {

constexpr auto kMarker = u"#FILE_LINE#";
constexpr auto kLabelSeparator = u")\t::";

} // namespace

CDebugTracer::CDebugTracer()
{
    Init(taluvo::ProgramFilePath(QStringLiteral("ini")));
}

CDebugTracer::CDebugTracer(const QString& iniPath)
{
    Init(iniPath);
}

void CDebugTracer::Init(const QString& iniPath)
{
    m_szIniPath = iniPath;
    if (m_szIniPath.isEmpty())
        return; // no program path: stay on the debugger
    m_szLogPath = taluvo::ChangeExtension(m_szIniPath, QStringLiteral("log"));

    const QString type = taluvo::GetProfileText(
        QStringLiteral("Output"), QStringLiteral("Type"), QStringLiteral("Debugger"), m_szIniPath);
    BOOL toDebugger = type.compare(QLatin1String("file"), Qt::CaseInsensitive) == 0 ? FALSE : TRUE;
    const QString file
        = taluvo::GetProfileText(QStringLiteral("Output"), QStringLiteral("File"), QString(), m_szIniPath);
    if (!file.isEmpty() && SetLogFile(file))
        toDebugger = FALSE;
    SetOutput(toDebugger, FALSE);
}

DWORD CDebugTracer::GetModuleTraceLevel(const QString& moduleName)
{
    const DWORD level = taluvo::GetProfileInt(QStringLiteral("TraceLevel"), moduleName, 0, m_szIniPath);
    taluvo::OutputDebugText(
        taluvo::Format(u"CDebugTracer::GetModuleTraceLevel. Module \"%s\", Level: %d\n", moduleName, level));
    return level;
}

BOOL CDebugTracer::SetLogFile(const QString& path)
{
    CCritSecLocker guard(m_lock);
    if (path.size() <= 3)
        return FALSE;
    if (path.compare(m_szLogPath, Qt::CaseInsensitive) == 0)
        return TRUE;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash == 0 ? QStringLiteral("/") : path.left(slash < 0 ? 0 : slash);
    if (!taluvo::FolderExists(folder))
        return FALSE;
    m_szLogPath = path;
    return TRUE;
}

void CDebugTracer::SetOutput(BOOL toDebugger, BOOL writeIni)
{
    CCritSecLocker guard(m_lock);
    m_bOutputToDebugger = toDebugger;
    if (writeIni && !m_szIniPath.isEmpty()) {
        taluvo::WriteProfileText(QStringLiteral("Output"), QStringLiteral("Type"),
            toDebugger ? QStringLiteral("Debugger") : QStringLiteral("File"), m_szIniPath);
        if (!toDebugger)
            taluvo::WriteProfileText(QStringLiteral("Output"), QStringLiteral("File"), m_szLogPath, m_szIniPath);
    }
}

void CDebugTracer::SetFlags(DWORD flags)
{
    CCritSecLocker guard(m_lock);
    m_dwFlags = flags;
}

QString CDebugTracer::LogPath() const
{
    CCritSecLocker guard(m_lock);
    return m_szLogPath;
}

void CDebugTracer::WriteHeaderText(const QString& formatted)
{
    // The lock is already held (WriteHeader); it stays held until WriteMessageText.
    try {
        m_lineBuffer.clear();
        if (m_dwFlags & FLAG_THREAD)
            m_lineBuffer += taluvo::Format(u"[TID:%8X] ", GetCurrentThreadId());
        if (m_dwFlags & (FLAG_DATE | FLAG_TIME)) {
            SYSTEMTIME now;
            GetLocalTime(&now);
            if (m_dwFlags & FLAG_DATE)
                m_lineBuffer += taluvo::ShortDateText(now).left(30) + QLatin1Char(' ');
            if (m_dwFlags & FLAG_TIME)
                m_lineBuffer += taluvo::TimeText24(now).left(30) + QLatin1Char(' ');
        }
        const qsizetype separator = formatted.indexOf(QStringView(kLabelSeparator));
        const qsizetype open = separator < 0 ? -1 : formatted.lastIndexOf(QLatin1Char('('), separator);
        const QStringView marker(kMarker);
        if (formatted.startsWith(marker) && open > 0) {
            // "#FILE_LINE#\t<path>(<line>)\t::<label>:\t" becomes the prefix parts the flags ask for.
            qsizetype pathStart = marker.size();
            if (pathStart < formatted.size() && formatted[pathStart] == QLatin1Char('\t'))
                ++pathStart;
            const QString path = formatted.mid(pathStart, open - pathStart);
            const qsizetype lastSlash
                = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
            const QString fileName = path.mid(lastSlash + 1).toUpper();
            const int line = formatted.mid(open + 1, separator - open - 1).toInt();
            const qsizetype labelStart = separator + QStringView(kLabelSeparator).size();
            const qsizetype labelEnd = formatted.indexOf(QLatin1Char(':'), labelStart);
            const QString label = formatted.mid(labelStart, labelEnd < 0 ? -1 : labelEnd - labelStart).toUpper();
            if (m_dwFlags & FLAG_FILE)
                m_lineBuffer += fileName + QLatin1Char(' ');
            if (m_dwFlags & FLAG_LINE)
                m_lineBuffer += taluvo::Format(u"(%5d) ", line);
            if (m_dwFlags & FLAG_LABEL)
                m_lineBuffer += label + QLatin1Char(' ');
        } else {
            m_lineBuffer += formatted;
        }
        m_lineBuffer.truncate(kLineCapacity - 1);
        Output();
    } catch (...) {
        // Tracing never throws: the part is dropped, the lock stays held for WriteMessage.
    }
}

void CDebugTracer::WriteMessageText(const QString& message)
{
    try {
        m_lineBuffer = message;
        m_lineBuffer.truncate(kLineCapacity - 1);
        Output();
    } catch (...) {
    }
    LeaveCriticalSection(&m_lock);
}

void CDebugTracer::Output()
{
    CCritSecLocker guard(m_lock);
    if (m_bOutputToDebugger) {
        taluvo::OutputDebugText(m_lineBuffer);
        return;
    }
    // Opened and closed per part, so the file is complete at all times and may be deleted
    // while the program runs.
    const QByteArray path = taluvo::AnsiEncode(m_szLogPath);
    CAutoFileHandle file(taluvo::OpenUserFileForAppend(path.constData()));
    if (!file.IsValid())
        return;
    const QByteArray bytes = taluvo::AnsiEncode(m_lineBuffer);
    taluvo::WriteAll(file, bytes.constData(), static_cast<size_t>(bytes.size()));
}

CDebugTracer* CDbgTracer::Instance()
{
    // Deliberately never destroyed (see the class comment).
    static CDebugTracer* const instance = new CDebugTracer();
    return instance;
}

CTraceScope::CTraceScope(const char16_t* qualifiedName, DWORD moduleLevel, const char* file, int line)
    : m_dwLevel(moduleLevel)
    , m_nLine(line)
    , m_szFile(file)
{
    // A scope whose module does not trace scopes costs one test: the text is made only when needed.
    if (m_dwLevel & TRACE_LEVEL_SCOPE) {
        m_szScope = taluvo::FormatN(260, u"[+] %s\r\n", qualifiedName);
        CDebugTracer* tracer = CDbgTracer::Instance();
        tracer->WriteHeader(u"%s\t%hs(%d)\t::ENTRY :\t", kMarker, m_szFile, m_nLine);
        tracer->WriteMessage(u"%s", m_szScope);
    }
}

CTraceScope::~CTraceScope()
{
    if (m_dwLevel & TRACE_LEVEL_SCOPE) {
        m_szScope[1] = QLatin1Char('-');
        CDebugTracer* tracer = CDbgTracer::Instance();
        tracer->WriteHeader(u"%s\t%hs(%d)\t::EXIT  :\t", kMarker, m_szFile, m_nLine);
        tracer->WriteMessage(u"%s", m_szScope);
    }
}
