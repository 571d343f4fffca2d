// Value bindings of the INI parser: each ties one parameter to one variable of the caller, converts
// the parameter's text into it, renders it back as text and judges whether its value is acceptable.
//
// A failed conversion leaves the variable as it was wherever the kind allows it: numbers are read
// into a temporary first, because a stream writes 0 into its target when a read fails.
#pragma once

#include "import/IniParser.h"
#include "platform/base/WinTypes.h"

#include <cstdio>
#include <ios>
#include <memory>
#include <sstream>
#include <string>

namespace IniParser {

// A narrow string, optionally limited in length and refusing empty text.
class CStringValue : public CValue {
public:
    static constexpr DWORD kNoLimit = 0xFFFFFFFF;

    CStringValue(std::string* target, DWORD maxLength, bool emptyAllowed)
        : m_pTarget(target)
        , m_dwMaxLength(maxLength)
        , m_bEmptyAllowed(emptyAllowed)
    {
    }
    // The target takes the whole text, even when it is then refused with code 5.
    void FromString(const std::string& text) override;
    std::string ToString() const override;
    bool IsValid() const override;

private:
    std::string* m_pTarget;
    DWORD m_dwMaxLength;
    bool m_bEmptyAllowed;
};

// A NUL-terminated character buffer of a fixed capacity (at least 2). At most capacity - 2
// characters are accepted; a text refused for its length leaves the buffer alone.
class CCharBufferValue : public CValue {
public:
    CCharBufferValue(char* target, DWORD capacity, bool emptyAllowed)
        : m_pTarget(target)
        , m_dwCapacity(capacity)
        , m_bEmptyAllowed(emptyAllowed)
    {
    }
    void FromString(const std::string& text) override;
    std::string ToString() const override;
    // The text and its terminator lie inside the capacity, and it is not empty unless allowed.
    bool IsValid() const override;

private:
    char* m_pTarget;
    DWORD m_dwCapacity;
    bool m_bEmptyAllowed;
};

// A colour written as "red, green, blue" in decimal; the target is laid out as a COLORREF.
class CColorValue : public CValue {
public:
    explicit CColorValue(COLORREF* target)
        : m_pTarget(target)
    {
    }
    void FromString(const std::string& text) override;
    std::string ToString() const override;
    bool IsValid() const override { return m_pTarget != nullptr; }

private:
    COLORREF* m_pTarget;
};

// A bool written as a pair of words, letter case ignored when read.
class CBoolValue : public CValue {
public:
    enum WordPair { wordsTrueFalse = 0, wordsYesNo = 1 };

    CBoolValue(bool* target, int wordPair)
        : m_pTarget(target)
        , m_nWordPair(wordPair)
    {
    }
    // Any other word pair ignores the text.
    void FromString(const std::string& text) override;
    std::string ToString() const override;
    bool IsValid() const override { return m_pTarget != nullptr; }

private:
    bool* m_pTarget;
    int m_nWordPair;
};

// The range a number must lie in.
template <typename T> struct SNumberRange {
    enum Kind { kindAtLeastMin = 0, kindAtMostMax = 1, kindBetween = 2 }; // any other kind refuses every value
    T m_min;
    T m_max;
    int m_nKind;
};

enum NumberFormat : DWORD {
    fmtDec = 0x01,
    fmtHex = 0x02,
    fmtOct = 0x04,
    fmtScientific = 0x08,
    fmtFixed = 0x10,
};

// A number read and written through a stream in the format the flags give (the first flag set
// decides; none keeps the stream's default), always showing its base, at the given precision.
template <typename T> class CNumberValue : public CValue {
public:
    // Takes ownership of the range (null: no range).
    CNumberValue(T* target, SNumberRange<T>* range, DWORD formatFlags, int precision)
        : m_pTarget(target)
        , m_pRange(range)
        , m_dwFormat(formatFlags)
        , m_nPrecision(precision)
    {
    }

    // Code 4 when no number can be read (the target is unchanged) or text is left after it (the
    // target holds the number read); code 5 when the range refuses it (the target holds it too).
    void FromString(const std::string& text) override
    {
        if (!m_pTarget)
            throw new CException(CException::codeBadValue);
        std::istringstream in(text);
        ApplyFormat(in);
        T value {};
        if (!(in >> value))
            throw new CException(CException::codeBadValue);
        *m_pTarget = value;
        if (in.peek() != std::char_traits<char>::eof())
            throw new CException(CException::codeBadValue);
        if (!IsValid())
            throw new CException(CException::codeInvalidValue);
    }

    std::string ToString() const override
    {
        if (!IsValid())
            throw new CException(CException::codeInvalidValue);
        std::ostringstream out;
        ApplyFormat(out);
        out << *m_pTarget;
        return out.str();
    }

    bool IsValid() const override
    {
        if (!m_pTarget)
            return false;
        if (!m_pRange)
            return true;
        const T value = *m_pTarget;
        switch (m_pRange->m_nKind) {
        case SNumberRange<T>::kindAtLeastMin:
            return !(value < m_pRange->m_min);
        case SNumberRange<T>::kindAtMostMax:
            return !(m_pRange->m_max < value);
        case SNumberRange<T>::kindBetween:
            return !(value < m_pRange->m_min) && !(m_pRange->m_max < value);
        default:
            return false;
        }
    }

private:
    void ApplyFormat(std::ios_base& stream) const
    {
        if (m_dwFormat & fmtDec)
            stream.setf(std::ios_base::dec, std::ios_base::basefield);
        else if (m_dwFormat & fmtHex)
            stream.setf(std::ios_base::hex, std::ios_base::basefield);
        else if (m_dwFormat & fmtOct)
            stream.setf(std::ios_base::oct, std::ios_base::basefield);
        else if (m_dwFormat & fmtScientific)
            stream.setf(std::ios_base::scientific, std::ios_base::floatfield);
        else if (m_dwFormat & fmtFixed)
            stream.setf(std::ios_base::fixed, std::ios_base::floatfield);
        stream.setf(std::ios_base::showbase);
        stream.precision(m_nPrecision);
    }

    T* m_pTarget;
    std::unique_ptr<SNumberRange<T>> m_pRange;
    DWORD m_dwFormat;
    int m_nPrecision;
};

} // namespace IniParser
