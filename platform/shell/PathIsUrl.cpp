#include "platform/shell/PathIsUrl.h"

namespace {

bool IsAsciiLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

bool IsSchemeCharacter(QChar c)
{
    return IsAsciiLetter(c) || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('+')
        || c == QLatin1Char('-') || c == QLatin1Char('.');
}

} // namespace

BOOL PathIsURL(const QString& text)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon < 2 || !IsAsciiLetter(text[0]))
        return FALSE;
    for (qsizetype i = 1; i < colon; ++i) {
        if (!IsSchemeCharacter(text[i]))
            return FALSE;
    }
    return TRUE;
}
