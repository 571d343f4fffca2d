// The program's exception family. Every exception carries one wide message that already says what
// failed, where and which expression was false; handlers trace the whole message and show users
// the short text.
#pragma once

#include "platform/base/Format.h"
#include "platform/base/WinTypes.h"

#include <QString>

class CCmnException {
public:
    explicit CCmnException(const QString& message = QString())
        : m_szMessage(message)
    {
    }
    explicit CCmnException(const char16_t* message)
        : m_szMessage(message ? QString::fromUtf16(message) : QString())
    {
    }

    void SetMessage(const QString& message) { m_szMessage = message; }
    const QString& GetMessage() const { return m_szMessage; }

    // Cuts the message in place at its first carriage return, else before "\nFile: ", and returns
    // it: trace the whole message before asking for the short one.
    const QString& GetShortText();

protected:
    QString m_szMessage; // null: no message
};

class CFailException : public CCmnException {
public:
    CFailException(const QString& text, const char* file, int line, const char* expression);
};

class CFailExceptionFmt : public CCmnException {
public:
    template <typename... A>
    CFailExceptionFmt(const char* file, int line, const char* expression, const char16_t* format, const A&... args)
    {
        Build(file, line, expression, taluvo::FormatN(kCapacity, format, args...));
    }

private:
    static constexpr qsizetype kCapacity = 4096;
    void Build(const char* file, int line, const char* expression, const QString& text);
};

class CSocketException : public CCmnException {
public:
    // Reads the calling thread's last WinSock error: build it right after the failed call.
    CSocketException(const QString& text, const char* file, int line, const char* expression);
    int GetErrorCode() const { return m_nError; }

private:
    int m_nError;
};

// The text of a Windows error number (or, with a module name, of that module's message table),
// without its trailing line break; "Unable to get error description." when there is none.
QString GetErrorDescription(DWORD code, const char16_t* moduleName = nullptr);

// The WinSock error text of a code; "Unknown error" for codes not in the table.
const char16_t* GetSocketErrorText(int code);

// The throw convention: state an assumption; when it is false, throw with its location.
#define FAIL_CHECK(expr, text)                                                                                         \
    do {                                                                                                               \
        if (!(expr))                                                                                                   \
            throw CFailException((text), __FILE__, __LINE__, #expr);                                                   \
    } while (0)

#define FAIL_CHECK_FMT(expr, format, ...)                                                                              \
    do {                                                                                                               \
        if (!(expr))                                                                                                   \
            throw CFailExceptionFmt(__FILE__, __LINE__, #expr, (format), ##__VA_ARGS__);                               \
    } while (0)

#define SOCKET_CHECK(expr, text)                                                                                       \
    do {                                                                                                               \
        if (!(expr))                                                                                                   \
            throw CSocketException((text), __FILE__, __LINE__, #expr);                                                 \
    } while (0)
