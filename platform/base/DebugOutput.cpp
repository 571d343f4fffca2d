#include "platform/base/DebugOutput.h"

#include "platform/base/FileWrite.h"
#include "platform/base/TextCodec.h"

#include <unistd.h>

namespace taluvo {

void OutputDebugText(const QString& text)
{
    const QByteArray bytes = AnsiEncode(text);
    WriteAll(STDERR_FILENO, bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace taluvo

void OutputDebugString(const char16_t* text)
{
    if (text)
        taluvo::OutputDebugText(QString::fromUtf16(text));
}
