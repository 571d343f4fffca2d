#include "platform/base/Format.h"

#include "platform/base/TextCodec.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

namespace taluvo {

int64_t FormatArg::asInt() const
{
    switch (m_kind) {
    case Kind::Signed:
    case Kind::Unsigned:
    case Kind::Pointer:
        return m_int;
    case Kind::Double:
        if (std::isnan(m_double))
            return 0;
        if (m_double >= 9.2e18)
            return std::numeric_limits<int64_t>::max();
        if (m_double <= -9.2e18)
            return std::numeric_limits<int64_t>::min();
        return static_cast<int64_t>(m_double);
    case Kind::Narrow:
    case Kind::Wide:
        return 0;
    }
    return 0;
}

double FormatArg::asDouble() const
{
    switch (m_kind) {
    case Kind::Double:
        return m_double;
    case Kind::Signed:
    case Kind::Pointer:
        return static_cast<double>(m_int);
    case Kind::Unsigned:
        return static_cast<double>(static_cast<uint64_t>(m_int));
    default:
        return 0.0;
    }
}

bool FormatArg::isNullText() const
{
    return (m_kind == Kind::Narrow && !m_narrow) || (m_kind == Kind::Wide && m_wide.isNull());
}

QString FormatArg::asWide() const
{
    switch (m_kind) {
    case Kind::Wide:
        return m_wide.toString();
    case Kind::Narrow:
        return AnsiDecode(m_narrow, m_narrowLen);
    case Kind::Signed:
        return QString::number(static_cast<qlonglong>(m_int));
    case Kind::Unsigned:
        return QString::number(static_cast<qulonglong>(m_int));
    case Kind::Double:
        return QString::number(m_double);
    case Kind::Pointer:
        return QString::number(static_cast<qulonglong>(m_int), 16).toUpper();
    }
    return QString();
}

QByteArray FormatArg::asNarrow() const
{
    if (m_kind == Kind::Narrow)
        return m_narrowLen < 0 ? QByteArray(m_narrow) : QByteArray(m_narrow, m_narrowLen);
    return AnsiEncode(asWide());
}

namespace {

struct Directive {
    bool left = false, plus = false, space = false, alt = false, zero = false;
    int width = -1;
    int precision = -1;
    enum class Len { Default, Char, Short, Long, LongLong, Size, Wide, NarrowH } len = Len::Default;
    int intBits = 32;
    char type = 0;
};

// Collects output for one width of format; text arguments are converted to that width.
struct WideOut {
    QString text;
    void Append(QStringView s) { text.append(s); }
    void AppendAscii(const std::string& s)
    {
        text.append(QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())));
    }
    void Pad(qsizetype n, char c)
    {
        if (n > 0)
            text.append(QString(n, QChar(c)));
    }
    static QString TextOf(const FormatArg& a) { return a.asWide(); }
    static qsizetype Units(const QString& s) { return s.size(); }
    void AppendText(const QString& s) { text.append(s); }
};

struct NarrowOut {
    QByteArray text;
    void AppendAscii(const std::string& s) { text.append(s.data(), static_cast<qsizetype>(s.size())); }
    void Pad(qsizetype n, char c)
    {
        if (n > 0)
            text.append(QByteArray(n, c));
    }
    static QByteArray TextOf(const FormatArg& a) { return a.asNarrow(); }
    static qsizetype Units(const QByteArray& s) { return s.size(); }
    void AppendText(const QByteArray& s) { text.append(s); }
};

template <typename Out, typename Text> void AppendPadded(Out& out, const Text& body, const Directive& directive)
{
    const qsizetype pad = directive.width > 0 ? directive.width - Out::Units(body) : 0;
    if (!directive.left)
        out.Pad(pad, ' ');
    out.AppendText(body);
    if (directive.left)
        out.Pad(pad, ' ');
}

// Integer conversions: the argument's bits are cut to the width the length modifier names,
// as a Windows vararg of that width would have been read.
std::string FormatInteger(const Directive& directive, const FormatArg* arg)
{
    uint64_t bits = arg ? static_cast<uint64_t>(arg->asInt()) : 0;
    if (directive.intBits < 64)
        bits &= (uint64_t(1) << directive.intBits) - 1;
    const bool isSigned = directive.type == 'd' || directive.type == 'i';
    bool negative = false;
    uint64_t magnitude = bits;
    if (isSigned && directive.intBits < 64 && (bits >> (directive.intBits - 1)) & 1) {
        negative = true;
        magnitude = (uint64_t(1) << directive.intBits) - bits;
    } else if (isSigned && directive.intBits == 64 && static_cast<int64_t>(bits) < 0) {
        negative = true;
        magnitude = ~bits + 1;
    }
    std::string digits;
    const int base = directive.type == 'o' ? 8 : (directive.type == 'x' || directive.type == 'X') ? 16 : 10;
    const char* alphabet = directive.type == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    for (uint64_t v = magnitude; v; v /= base)
        digits.insert(digits.begin(), alphabet[v % base]);
    if (directive.precision >= 0) {
        if (directive.precision == 0 && magnitude == 0)
            digits.clear();
        while (static_cast<int>(digits.size()) < directive.precision)
            digits.insert(digits.begin(), '0');
    } else if (digits.empty()) {
        digits.assign(1, '0');
    }
    std::string prefix;
    if (isSigned) {
        if (negative)
            prefix = "-";
        else if (directive.plus)
            prefix = "+";
        else if (directive.space)
            prefix = " ";
    }
    if (directive.alt && magnitude != 0) {
        if (base == 16)
            prefix += directive.type == 'X' ? "0X" : "0x";
        else if (base == 8 && digits[0] != '0')
            digits.insert(digits.begin(), '0');
    }
    if (directive.zero && !directive.left && directive.precision < 0 && directive.width > 0) {
        while (static_cast<int>(prefix.size() + digits.size()) < directive.width)
            digits.insert(digits.begin(), '0');
    }
    return prefix + digits;
}

std::string FormatFloating(const Directive& directive, const FormatArg* arg)
{
    const double value = arg ? arg->asDouble() : 0.0;
    std::string conv = "%";
    if (directive.left)
        conv += '-';
    if (directive.plus)
        conv += '+';
    if (directive.space)
        conv += ' ';
    if (directive.alt)
        conv += '#';
    if (directive.zero)
        conv += '0';
    if (directive.width > 0)
        conv += std::to_string(directive.width);
    if (directive.precision >= 0) {
        conv += '.';
        conv += std::to_string(directive.precision);
    }
    conv += directive.type;
    char buffer[512];
    const int n = std::snprintf(buffer, sizeof buffer, conv.c_str(), value);
    if (n < 0)
        return {};
    return std::string(buffer, std::min<size_t>(static_cast<size_t>(n), sizeof buffer - 1));
}

// Pointers print as Windows x64 does: 16 upper-case hexadecimal digits, no prefix.
std::string FormatPointer(const FormatArg* arg)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%016llX", static_cast<unsigned long long>(arg ? arg->asInt() : 0));
    return buffer;
}

template <typename Char> bool IsDigit(Char c)
{
    return c >= '0' && c <= '9';
}

// The arguments in order, each taken once; past the last, nullptr.
struct ArgCursor {
    const FormatArg* next;
    const FormatArg* end;
    const FormatArg* Take() { return next < end ? next++ : nullptr; }
};

// Text up to the next '%', as it stands.
template <typename Out, typename Char> void AppendLiteral(Out& out, const Char* f, qsizetype from, qsizetype to)
{
    if constexpr (std::is_same_v<Out, WideOut>)
        out.Append(QStringView(reinterpret_cast<const char16_t*>(f + from), to - from));
    else
        out.text.append(reinterpret_cast<const char*>(f + from), to - from);
}

// Part of the format written as it stands (an unfinished or unknown conversion).
template <typename Out, typename Char> void AppendRaw(Out& out, const Char* f, qsizetype from, qsizetype to)
{
    for (qsizetype k = from; k < to; ++k)
        out.AppendAscii(std::string(1, static_cast<char>(f[k] < 0x80 ? f[k] : '?')));
}

template <typename Char> void ParseFlags(const Char* f, qsizetype n, qsizetype& i, Directive& directive)
{
    for (; i < n; ++i) {
        const Char c = f[i];
        if (c == '-')
            directive.left = true;
        else if (c == '+')
            directive.plus = true;
        else if (c == ' ')
            directive.space = true;
        else if (c == '#')
            directive.alt = true;
        else if (c == '0')
            directive.zero = true;
        else
            break;
    }
}

// Width and precision, each written out or '*' (taken from the arguments).
template <typename Char>
void ParseWidthAndPrecision(const Char* f, qsizetype n, qsizetype& i, ArgCursor& args, Directive& directive)
{
    if (i < n && f[i] == '*') {
        const FormatArg* w = args.Take();
        int width = w ? static_cast<int>(w->asInt()) : 0;
        if (width < 0) {
            directive.left = true;
            width = -width;
        }
        directive.width = width;
        ++i;
    } else {
        while (i < n && IsDigit(f[i])) {
            directive.width = (directive.width < 0 ? 0 : directive.width) * 10 + (f[i] - '0');
            if (directive.width > 1 << 20)
                directive.width = 1 << 20;
            ++i;
        }
    }
    if (i < n && f[i] == '.') {
        ++i;
        directive.precision = 0;
        if (i < n && f[i] == '*') {
            const FormatArg* p = args.Take();
            directive.precision = p ? static_cast<int>(p->asInt()) : 0;
            if (directive.precision < 0)
                directive.precision = -1;
            ++i;
        } else {
            while (i < n && IsDigit(f[i])) {
                directive.precision = directive.precision * 10 + (f[i] - '0');
                if (directive.precision > 1 << 20)
                    directive.precision = 1 << 20;
                ++i;
            }
        }
    }
}

// Length modifiers, with the Microsoft ones (I64, I32, I, w). Returns whether a text argument is
// wide: the format's own width unless h, l or w says otherwise.
template <typename Char>
bool ParseLength(const Char* f, qsizetype n, qsizetype& i, Directive& directive, bool wideFormat)
{
    bool wideText = wideFormat;
    while (i < n) {
        const Char c = f[i];
        if (c == 'h') {
            directive.intBits = directive.intBits == 16 ? 8 : 16;
            wideText = false;
            ++i;
        } else if (c == 'l') {
            if (i + 1 < n && f[i + 1] == 'l') {
                directive.intBits = 64;
                i += 2;
            } else {
                directive.intBits = 32;
                wideText = true;
                ++i;
            }
        } else if (c == 'w') {
            wideText = true;
            ++i;
        } else if (c == 'I') {
            if (i + 2 < n && f[i + 1] == '6' && f[i + 2] == '4') {
                directive.intBits = 64;
                i += 3;
            } else if (i + 2 < n && f[i + 1] == '3' && f[i + 2] == '2') {
                directive.intBits = 32;
                i += 3;
            } else {
                directive.intBits = 64;
                ++i;
            }
        } else if (c == 'z' || c == 'j' || c == 't' || c == 'q') {
            directive.intBits = 64;
            ++i;
        } else if (c == 'L') {
            ++i;
        } else {
            break;
        }
    }
    return wideText;
}

template <typename Out>
void WriteCharacter(Out& out, const Directive& directive, const FormatArg* a, bool wideText, bool wideFormat)
{
    char16_t unit = 0;
    if (a && (a->kind() == FormatArg::Kind::Wide || a->kind() == FormatArg::Kind::Narrow)) {
        const QString s = a->asWide();
        unit = s.isEmpty() ? 0 : s.at(0).unicode();
    } else if (a) {
        unit = static_cast<char16_t>(a->asInt());
    }
    const bool asWideChar = directive.type == 'C' ? !wideFormat : wideText;
    QString one;
    if (asWideChar || unit < 0x80)
        one = QString(QChar(unit));
    else
        one = AnsiDecode(QByteArray(1, static_cast<char>(unit)));
    typename std::conditional_t<std::is_same_v<Out, WideOut>, QString, QByteArray> body;
    if constexpr (std::is_same_v<Out, WideOut>)
        body = one;
    else
        body = AnsiEncode(one);
    AppendPadded(out, body, directive);
}

template <typename Out> void WriteText(Out& out, const Directive& directive, const FormatArg* a)
{
    auto body = a ? Out::TextOf(*a) : decltype(Out::TextOf(FormatArg(0))) {};
    if (a && a->isNullText()) {
        if constexpr (std::is_same_v<Out, WideOut>)
            body = QStringLiteral("(null)");
        else
            body = QByteArray("(null)");
    }
    if (directive.precision >= 0 && Out::Units(body) > directive.precision) {
        if constexpr (std::is_same_v<Out, WideOut>) {
            qsizetype keep = directive.precision;
            if (keep > 0 && body.at(keep - 1).isHighSurrogate())
                --keep;
            body.truncate(keep);
        } else {
            body = AnsiTruncate(body, directive.precision);
        }
    }
    AppendPadded(out, body, directive);
}

// Writes one conversion; false for a conversion it does not know (nothing written, nothing taken).
template <typename Out>
bool Convert(Out& out, const Directive& directive, ArgCursor& args, bool wideText, bool wideFormat)
{
    switch (directive.type) {
    case '%':
        out.AppendAscii("%");
        return true;
    case 'd':
    case 'i':
    case 'u':
    case 'o':
    case 'x':
    case 'X': {
        const std::string body = FormatInteger(directive, args.Take());
        Directive pad = directive;
        out.Pad(pad.width > 0 && !pad.left ? pad.width - static_cast<qsizetype>(body.size()) : 0, ' ');
        out.AppendAscii(body);
        out.Pad(pad.width > 0 && pad.left ? pad.width - static_cast<qsizetype>(body.size()) : 0, ' ');
        return true;
    }
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
        out.AppendAscii(FormatFloating(directive, args.Take()));
        return true;
    case 'p': {
        const std::string body = FormatPointer(args.Take());
        out.Pad(
            directive.width > 0 && !directive.left ? directive.width - static_cast<qsizetype>(body.size()) : 0, ' ');
        out.AppendAscii(body);
        out.Pad(directive.width > 0 && directive.left ? directive.width - static_cast<qsizetype>(body.size()) : 0, ' ');
        return true;
    }
    case 'c':
    case 'C':
        WriteCharacter(out, directive, args.Take(), wideText, wideFormat);
        return true;
    case 's':
    case 'S':
        WriteText(out, directive, args.Take());
        return true;
    case 'n':
        args.Take(); // never written through: the count is not reported
        return true;
    default:
        return false;
    }
}

template <typename Out, typename Char>
void Run(Out& out, const Char* f, qsizetype n, std::initializer_list<FormatArg> argList, bool wideFormat)
{
    ArgCursor args { argList.begin(), argList.end() };
    qsizetype i = 0;
    while (i < n) {
        if (f[i] != '%') {
            qsizetype j = i;
            while (j < n && f[j] != '%')
                ++j;
            AppendLiteral(out, f, i, j);
            i = j;
            continue;
        }
        const qsizetype start = i++;
        Directive directive;
        ParseFlags(f, n, i, directive);
        ParseWidthAndPrecision(f, n, i, args, directive);
        const bool wideText = ParseLength(f, n, i, directive, wideFormat);
        if (i >= n) {
            // An unfinished conversion is written as it stands.
            AppendRaw(out, f, start, n);
            break;
        }
        directive.type = static_cast<char>(f[i] < 0x80 ? f[i] : '?');
        ++i;
        // An unknown conversion is written as it stands.
        if (!Convert(out, directive, args, wideText, wideFormat))
            AppendRaw(out, f, start, i);
    }
}

} // namespace

QString FormatWideArgs(QStringView format, std::initializer_list<FormatArg> args, qsizetype capacity)
{
    WideOut out;
    Run(out, reinterpret_cast<const char16_t*>(format.utf16()), format.size(), args, true);
    QString text = std::move(out.text);
    if (capacity > 0 && text.size() > capacity - 1) {
        qsizetype keep = capacity - 1;
        if (keep > 0 && text.at(keep - 1).isHighSurrogate() && text.at(keep).isLowSurrogate())
            --keep;
        text.truncate(keep);
    }
    if (text.isNull())
        text = QString(QLatin1String(""));
    return text;
}

QByteArray FormatNarrowArgs(std::string_view format, std::initializer_list<FormatArg> args, qsizetype capacity)
{
    NarrowOut out;
    Run(out, reinterpret_cast<const unsigned char*>(format.data()), static_cast<qsizetype>(format.size()), args, false);
    QByteArray text = std::move(out.text);
    if (capacity > 0 && text.size() > capacity - 1)
        text = AnsiTruncate(text, capacity - 1);
    if (text.isNull())
        text = QByteArray("");
    return text;
}

} // namespace taluvo
