// printf-style formatting with the Windows conventions the program's format strings are written in.
//
// The width of the format decides the meaning of %s: in a wide format (char16_t) %s is wide text
// and %hs narrow; in a narrow format (char) %s is narrow and %ls wide; %S is always the opposite of
// the format's width. %I64d/%I64X and %lld are 64-bit, %d/%u/%x/%ld are 32-bit (Windows long),
// %hd 16-bit. Arguments are typed, so a mismatch is converted instead of being undefined: a
// number given to %s is written as its decimal text, a text given to %d counts as 0, a missing
// argument as empty text or 0. Narrow text is the ANSI code page (see TextCodec.h).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace taluvo {

class FormatArg {
public:
    enum class Kind { Signed, Unsigned, Double, Narrow, Wide, Pointer };

    template <typename T>
    requires(std::is_integral_v<T>&& std::is_signed_v<T>) FormatArg(T v)
        : m_kind(Kind::Signed)
        , m_int(static_cast<int64_t>(v))
    {
    }
    template <typename T>
    requires(std::is_integral_v<T>&& std::is_unsigned_v<T> && !std::is_same_v<T, bool>) FormatArg(T v)
        : m_kind(Kind::Unsigned)
        , m_int(static_cast<int64_t>(static_cast<uint64_t>(v)))
    {
    }
    FormatArg(bool v)
        : m_kind(Kind::Signed)
        , m_int(v ? 1 : 0)
    {
    }
    FormatArg(char v)
        : m_kind(Kind::Signed)
        , m_int(static_cast<unsigned char>(v))
    {
    }
    FormatArg(char16_t v)
        : m_kind(Kind::Unsigned)
        , m_int(v)
    {
    }
    FormatArg(double v)
        : m_kind(Kind::Double)
        , m_double(v)
    {
    }
    FormatArg(float v)
        : m_kind(Kind::Double)
        , m_double(v)
    {
    }
    template <typename E>
    requires std::is_enum_v<E> FormatArg(E v)
        : FormatArg(static_cast<std::underlying_type_t<E>>(v))
    {
    }

    FormatArg(const char* s)
        : m_kind(Kind::Narrow)
        , m_narrow(s)
    {
    }
    FormatArg(char* s)
        : m_kind(Kind::Narrow)
        , m_narrow(s)
    {
    }
    FormatArg(const QByteArray& s)
        : m_kind(Kind::Narrow)
        , m_narrow(s.isNull() ? nullptr : s.constData())
        , m_narrowLen(s.size())
    {
    }
    FormatArg(const std::string& s)
        : m_kind(Kind::Narrow)
        , m_narrow(s.c_str())
        , m_narrowLen(static_cast<qsizetype>(s.size()))
    {
    }
    FormatArg(std::string_view s)
        : m_kind(Kind::Narrow)
        , m_narrow(s.data())
        , m_narrowLen(static_cast<qsizetype>(s.size()))
    {
    }

    FormatArg(const char16_t* s)
        : m_kind(Kind::Wide)
        , m_wide(s ? QStringView(s) : QStringView())
    {
    }
    FormatArg(char16_t* s)
        : FormatArg(static_cast<const char16_t*>(s))
    {
    }
    FormatArg(const QString& s)
        : m_kind(Kind::Wide)
        , m_wide(s)
    {
    }
    FormatArg(QStringView s)
        : m_kind(Kind::Wide)
        , m_wide(s)
    {
    }
    FormatArg(const std::u16string& s)
        : m_kind(Kind::Wide)
        , m_wide(s)
    {
    }

    FormatArg(std::nullptr_t)
        : m_kind(Kind::Pointer)
        , m_int(0)
    {
    }
    template <typename T>
    FormatArg(T* p)
        : m_kind(Kind::Pointer)
        , m_int(static_cast<int64_t>(reinterpret_cast<uintptr_t>(p)))
    {
    }

    Kind kind() const { return m_kind; }
    int64_t asInt() const; // value for an integer conversion
    double asDouble() const; // value for a floating conversion
    QString asWide() const; // value for %s in a wide format
    QByteArray asNarrow() const; // value for %s in a narrow format
    bool isNullText() const;

private:
    Kind m_kind;
    int64_t m_int = 0;
    double m_double = 0.0;
    const char* m_narrow = nullptr;
    qsizetype m_narrowLen = -1;
    QStringView m_wide;
};

// Core entry points: the format filled with the arguments; capacity > 0 cuts the result to at most
// capacity - 1 code units (wide) or bytes (narrow), never inside a character, as a fixed buffer with
// its terminator would hold it.
QString FormatWideArgs(QStringView format, std::initializer_list<FormatArg> args, qsizetype capacity = 0);
QByteArray FormatNarrowArgs(std::string_view format, std::initializer_list<FormatArg> args, qsizetype capacity = 0);

template <typename... A> QString Format(const char16_t* format, const A&... args)
{
    return FormatWideArgs(format ? QStringView(format) : QStringView(), { FormatArg(args)... });
}
template <typename... A> QString Format(const QString& format, const A&... args)
{
    return FormatWideArgs(format, { FormatArg(args)... });
}
template <typename... A> QByteArray Format(const char* format, const A&... args)
{
    return FormatNarrowArgs(format ? std::string_view(format) : std::string_view(), { FormatArg(args)... });
}
template <typename... A> QString FormatN(qsizetype capacity, const char16_t* format, const A&... args)
{
    return FormatWideArgs(format ? QStringView(format) : QStringView(), { FormatArg(args)... }, capacity);
}
template <typename... A> QString FormatN(qsizetype capacity, const QString& format, const A&... args)
{
    return FormatWideArgs(format, { FormatArg(args)... }, capacity);
}
template <typename... A> QByteArray FormatN(qsizetype capacity, const char* format, const A&... args)
{
    return FormatNarrowArgs(format ? std::string_view(format) : std::string_view(), { FormatArg(args)... }, capacity);
}

} // namespace taluvo
