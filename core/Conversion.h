// Conversions between wide text and the ANSI code page (UTF-8 with lossless byte escapes).
// Each converter owns its result; a null source gives a null (invalid) result.
#pragma once

#include "platform/base/TextCodec.h"
#include "platform/base/WinTypes.h"

#include <QByteArray>
#include <QString>

class CAnsiToWide {
public:
    explicit CAnsiToWide(const char* text, qsizetype len = -1)
        : m_text(taluvo::AnsiDecode(text, len))
    {
    }
    explicit CAnsiToWide(const QByteArray& text)
        : m_text(text.isNull() ? QString() : taluvo::AnsiDecode(text))
    {
    }

    BOOL IsValid() const { return m_text.isNull() ? FALSE : TRUE; }
    const QString& Get() const { return m_text; }
    operator const QString&() const { return m_text; }
    // NUL-terminated code units, valid while the converter lives; null for a null source.
    const char16_t* c_str() const
    {
        return m_text.isNull() ? nullptr : reinterpret_cast<const char16_t*>(m_text.utf16());
    }

private:
    QString m_text;
};

class CWideToAnsi {
public:
    explicit CWideToAnsi(const QString& text)
        : m_text(text.isNull() ? QByteArray() : taluvo::AnsiEncode(text))
    {
    }
    explicit CWideToAnsi(const char16_t* text)
        : m_text(taluvo::AnsiEncode(text))
    {
    }

    BOOL IsValid() const { return m_text.isNull() ? FALSE : TRUE; }
    const QByteArray& Get() const { return m_text; }
    operator const QByteArray&() const { return m_text; }
    const char* c_str() const { return m_text.isNull() ? nullptr : m_text.constData(); }

private:
    QByteArray m_text;
};
