#include "platform/base/OneLine.h"

namespace taluvo {
namespace {

bool IsControl(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029;
}

template <typename Breaks> QString Replaced(const QString& text, Breaks breaks)
{
    QString out;
    out.reserve(text.size());
    bool inRun = false;
    for (QChar c : text) {
        if (breaks(c)) {
            if (!inRun)
                out += QLatin1Char(' ');
            inRun = true;
        } else {
            out += c;
            inRun = false;
        }
    }
    return out;
}

// The marks and embeddings, overrides and isolates that turn the order text is shown in: in a line
// a page supplied they would let its title show "RTL exe.txt" for "RTL txt.exe".
bool IsDirectionControl(QChar c)
{
    const char16_t u = c.unicode();
    return u == 0x200E || u == 0x200F || u == 0x061C || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
}

bool BreaksOrTurns(QChar c)
{
    return IsControl(c) || IsDirectionControl(c);
}

} // namespace

QString OneLine(const QString& text)
{
    for (QChar c : text)
        if (BreaksOrTurns(c))
            return Replaced(text, BreaksOrTurns);
    return text;
}

QString SimplifiedLine(const QString& text)
{
    return Replaced(text, [](QChar c) { return IsControl(c) || c.isSpace(); }).trimmed();
}

} // namespace taluvo
