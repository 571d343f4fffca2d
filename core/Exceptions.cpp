#include "core/Exceptions.h"

#include "platform/base/ErrorTexts.h"
#include "platform/base/KernelObjects.h"

namespace {
constexpr qsizetype kWorkingBuffer = 1024;
}

const QString& CCmnException::GetShortText()
{
    if (m_szMessage.isNull())
        return m_szMessage;
    qsizetype cut = m_szMessage.indexOf(QLatin1Char('\r'));
    if (cut < 0)
        cut = m_szMessage.indexOf(QLatin1String("\nFile: "));
    if (cut >= 0)
        m_szMessage.truncate(cut);
    return m_szMessage;
}

CFailException::CFailException(const QString& text, const char* file, int line, const char* expression)
    : CCmnException(taluvo::FormatN(kWorkingBuffer, u"%s\nFile: %hs(%d)\nExpr.: %hs\n", text, file, line, expression))
{
}

void CFailExceptionFmt::Build(const char* file, int line, const char* expression, const QString& text)
{
    const QString suffix = taluvo::Format(u"\nFile: %hs(%d)\nExpr.: %hs\n", file, line, expression);
    m_szMessage = (text + suffix).left(kCapacity - 1);
}

CSocketException::CSocketException(const QString& text, const char* file, int line, const char* expression)
    : m_nError(WSAGetLastError())
{
    m_szMessage = taluvo::FormatN(kWorkingBuffer, u"%s\nFile: %hs(%d)\nError: %s (%d)\nExpr.: %hs", text, file, line,
        GetSocketErrorText(m_nError), m_nError, expression);
}

QString GetErrorDescription(DWORD code, const char16_t* moduleName)
{
    std::optional<QString> message = moduleName ? taluvo::ModuleErrorMessage(QString::fromUtf16(moduleName), code)
                                                : taluvo::SystemErrorMessage(code);
    QString text = message && !message->isEmpty() ? *message : QStringLiteral("Unable to get error description.");
    const qsizetype cr = text.lastIndexOf(QLatin1Char('\r'));
    if (cr >= 0)
        text.truncate(cr);
    return text;
}

const char16_t* GetSocketErrorText(int code)
{
    return taluvo::SocketErrorText(code);
}
