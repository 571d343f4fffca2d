#include "Controls/HtmlNumbers.h"

#include <climits>
#include <cstdint>

namespace taluvo::html {

namespace {

bool IsCrtSpace(QChar c)
{
    const char16_t u = c.unicode();
    return u == u' ' || (u >= u'\t' && u <= u'\r');
}

// The white space and the optional sign before a number's digits; returns where the digits start.
qsizetype SkipSpaceAndSign(const QString& text, bool& negative)
{
    qsizetype i = 0;
    while (i < text.size() && IsCrtSpace(text[i]))
        ++i;
    negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    return i;
}

int DigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'z')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'Z')
        return u - u'A' + 10;
    return 99;
}

} // namespace

DWORD StrToUL(const QString& text, int base, qsizetype* consumed)
{
    const qsizetype n = text.size();
    if (consumed)
        *consumed = 0;
    bool negative = false;
    qsizetype i = SkipSpaceAndSign(text, negative);
    const bool hexPrefix = i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X');
    if (base == 0)
        base = hexPrefix ? 16 : (i < n && text[i] == u'0') ? 8 : 10;
    if (base == 16 && hexPrefix && i + 2 < n && DigitValue(text[i + 2]) < 16)
        i += 2;
    if (base < 2 || base > 36)
        return 0;
    const qsizetype digitsStart = i;
    uint64_t value = 0;
    bool overflow = false;
    while (i < n) {
        const int d = DigitValue(text[i]);
        if (d >= base)
            break;
        value = value * uint64_t(base) + uint64_t(d);
        if (value > 0xFFFFFFFFull) {
            overflow = true;
            value = 0xFFFFFFFFull; // keep reading the digits, as the runtime does
        }
        ++i;
    }
    if (i == digitsStart)
        return 0;
    if (consumed)
        *consumed = i;
    if (overflow)
        return 0xFFFFFFFFu;
    const DWORD result = DWORD(value);
    return negative ? DWORD(0u - result) : result;
}

int AtoI(const QString& text)
{
    const qsizetype n = text.size();
    bool negative = false;
    qsizetype i = SkipSpaceAndSign(text, negative);
    int64_t value = 0;
    while (i < n && text[i] >= u'0' && text[i] <= u'9') {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > int64_t(INT_MAX) + 1)
            value = int64_t(INT_MAX) + 1;
        ++i;
    }
    if (negative)
        return value > INT_MAX ? INT_MIN : int(-value);
    return value > INT_MAX ? INT_MAX : int(value);
}

} // namespace taluvo::html
