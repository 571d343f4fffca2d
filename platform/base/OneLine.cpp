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

} // namespace

QString OneLine(const QString& text)
{
    for (QChar c : text)
        if (IsControl(c))
            return Replaced(text, IsControl);
    return text;
}

QString SimplifiedLine(const QString& text)
{
    return Replaced(text, [](QChar c) { return IsControl(c) || c.isSpace(); }).trimmed();
}

} // namespace taluvo
