#include "dialogs/TraceSmtp.h"

#include "core/DebugTracer.h"

#include <ctime>

TRACE_MODULE("CEMailTestDlg");

namespace {

// Every line end becomes CR LF: a CR without its LF gets one, an LF without its CR gets one.
QString WithCrLfLineEnds(const QString& text)
{
    QString out;
    out.reserve(text.size() + 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r')) {
            out += QStringLiteral("\r\n");
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
                ++i;
        } else if (c == QLatin1Char('\n')) {
            out += QStringLiteral("\r\n");
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

CTraceSmtp::CTraceSmtp(HWND output, HWND progress)
    : m_hOutput(output)
    , m_hProgress(progress)
    , m_output(output)
    , m_progress(progress)
{
    TRACE_SCOPE(u"CTraceSmtp::CTraceSmtp");
}

CTraceSmtp::~CTraceSmtp()
{
    TRACE_SCOPE(u"CTraceSmtp::~CTraceSmtp");
    // The connection ends without a word in the log: the hooks must not reach the edit, which may
    // be gone with its dialog.
    m_output = nullptr;
    m_progress = nullptr;
    m_hOutput = nullptr;
    m_hProgress = nullptr;
}

QString CTraceSmtp::TimeStamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    if (!localtime_r(&now, &local))
        return QStringLiteral("[Invalid time]");
    return QString::asprintf("[%.2d:%.2d:%.2d]", local.tm_hour, local.tm_min, local.tm_sec);
}

void CTraceSmtp::AppendOutput(const QString& text)
{
    if (!m_output.m_hWnd)
        return;
    QString line = WithCrLfLineEnds(text);
    if (!line.endsWith(QLatin1Char('\n')))
        line += QStringLiteral("\r\n");
    qsizetype start = 0;
    while (start < line.size()
        && (line[start] == QLatin1Char(' ') || line[start] == QLatin1Char('\r') || line[start] == QLatin1Char('\n')))
        ++start;
    line.remove(0, start);
    while (line.endsWith(QLatin1Char(' ')))
        line.chop(1);
    if (line.isEmpty() || line == QStringLiteral("\r\n"))
        return;
    m_output.AppendText(line, FALSE, FALSE);
}

BOOL CTraceSmtp::OnWarning(int, const QString& text)
{
    if (text.isNull())
        return FALSE;
    QString oneLine = text;
    oneLine.remove(QStringLiteral("\r\n"));
    AppendOutput(QStringLiteral("%1 Warning: %2").arg(TimeStamp(), oneLine));
    return FALSE;
}

BOOL CTraceSmtp::OnError(int, const QString& text)
{
    if (text.isEmpty())
        return FALSE;
    AppendOutput(QStringLiteral("%1 Error: %2").arg(TimeStamp(), text));
    return FALSE;
}

void CTraceSmtp::OnCommandResponse(const QString& command, int, const QString& reply)
{
    // The greeting has no command and is not shown.
    if (command.isNull() || reply.isNull())
        return;
    AppendOutput(QStringLiteral("%1 SMTP Command: %2").arg(TimeStamp(), command));
    AppendOutput(QStringLiteral("%1 SMTP Response: %2").arg(TimeStamp(), reply));
}

BOOL CTraceSmtp::OnSendProgress(const char*, DWORD sent, DWORD total)
{
    if (m_progress.m_hWnd)
        m_progress.SetWindowText(QStringLiteral("Sending %1 (%2) KBytes").arg(sent / 1024).arg(total / 1024));
    return TRUE;
}
