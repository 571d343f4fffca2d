#include "import/IniValues.h"

#include "platform/base/Format.h"

#include <cstring>

namespace IniParser {

// ---------------------------------------------------------------------------------------------
// CStringValue

void CStringValue::FromString(const std::string& text)
{
    if (!m_pTarget)
        throw new CException(CException::codeBadValue);
    *m_pTarget = text;
    if (!IsValid())
        throw new CException(CException::codeInvalidValue);
}

std::string CStringValue::ToString() const
{
    if (!IsValid())
        throw new CException(CException::codeInvalidValue);
    return *m_pTarget;
}

bool CStringValue::IsValid() const
{
    if (!m_pTarget)
        return false;
    return m_pTarget->size() <= m_dwMaxLength && (m_bEmptyAllowed || !m_pTarget->empty());
}

// ---------------------------------------------------------------------------------------------
// CCharBufferValue

void CCharBufferValue::FromString(const std::string& text)
{
    if (!m_pTarget)
        throw new CException(CException::codeBadValue);
    // A capacity below 2 leaves no room for any character: refuse instead of writing past it.
    if (m_dwCapacity < 2 || text.size() >= static_cast<size_t>(m_dwCapacity) - 1)
        throw new CException(CException::codeInvalidValue);
    // A NUL inside the text ends the copy, as copying a C string would.
    const size_t length = strnlen(text.c_str(), text.size());
    std::memcpy(m_pTarget, text.data(), length);
    m_pTarget[length] = '\0';
    if ((length == 0 && !m_bEmptyAllowed) || !IsValid())
        throw new CException(CException::codeInvalidValue);
}

std::string CCharBufferValue::ToString() const
{
    if (!IsValid())
        throw new CException(CException::codeInvalidValue);
    return std::string(m_pTarget, strnlen(m_pTarget, m_dwCapacity));
}

bool CCharBufferValue::IsValid() const
{
    if (!m_pTarget || m_dwCapacity == 0)
        return false;
    // Never read past the capacity: a buffer without a terminator inside it is not valid.
    const size_t length = strnlen(m_pTarget, m_dwCapacity);
    return length < m_dwCapacity && (m_bEmptyAllowed || length > 0);
}

// ---------------------------------------------------------------------------------------------
// CColorValue

void CColorValue::FromString(const std::string& text)
{
    if (!m_pTarget)
        throw new CException(CException::codeBadValue);
    std::istringstream in(text);
    int red = -1, green = -1, blue = -1;
    char first = 0, second = 0;
    in >> red >> first >> green >> second >> blue;
    if (!in || first != ',' || second != ',' || in.peek() != std::char_traits<char>::eof())
        throw new CException(CException::codeBadValue);
    for (int part : { red, green, blue }) {
        if (part < 0 || part > 255)
            throw new CException(CException::codeBadValue);
    }
    *m_pTarget = RGB(static_cast<BYTE>(red), static_cast<BYTE>(green), static_cast<BYTE>(blue));
}

std::string CColorValue::ToString() const
{
    if (!IsValid())
        throw new CException(CException::codeInvalidValue);
    const QByteArray text
        = taluvo::Format("%u, %u, %u", GetRValue(*m_pTarget), GetGValue(*m_pTarget), GetBValue(*m_pTarget));
    return text.toStdString();
}

// ---------------------------------------------------------------------------------------------
// CBoolValue

void CBoolValue::FromString(const std::string& text)
{
    if (!m_pTarget)
        throw new CException(CException::codeBadValue);
    const char* yes = nullptr;
    const char* no = nullptr;
    switch (m_nWordPair) {
    case wordsTrueFalse:
        yes = "true", no = "false";
        break;
    case wordsYesNo:
        yes = "yes", no = "no";
        break;
    default:
        return;
    }
    if (NameEquals(text, yes))
        *m_pTarget = true;
    else if (NameEquals(text, no))
        *m_pTarget = false;
    else
        throw new CException(CException::codeBadValue);
}

std::string CBoolValue::ToString() const
{
    if (!IsValid())
        throw new CException(CException::codeInvalidValue);
    switch (m_nWordPair) {
    case wordsTrueFalse:
        return *m_pTarget ? "true" : "false";
    case wordsYesNo:
        return *m_pTarget ? "yes" : "no";
    default:
        return std::string();
    }
}

} // namespace IniParser
