#include "platform/base/DebugOutput.h"

#include "platform/base/TextCodec.h"

#include <cerrno>
#include <unistd.h>

namespace taluvo {

void OutputDebugText(const QString& text)
{
    const QByteArray bytes = AnsiEncode(text);
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = write(STDERR_FILENO, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        p += n;
        left -= n;
    }
}

}  // namespace taluvo

void OutputDebugString(const char16_t* text)
{
    if (text)
        taluvo::OutputDebugText(QString::fromUtf16(text));
}
