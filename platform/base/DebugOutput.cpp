#include "platform/base/DebugOutput.h"

#include "platform/base/FileWrite.h"
#include "platform/base/TextCodec.h"

#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace taluvo {
namespace {

// The "TracerPid:" line of the process's status: not 0 while a debugger traces it.
bool DebuggerAttached()
{
    const int fd = open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[4096];
    const ssize_t length = read(fd, buffer, sizeof buffer - 1);
    close(fd);
    if (length <= 0)
        return false;
    buffer[length] = '\0';
    const char* line = std::strstr(buffer, "TracerPid:");
    return line && std::strtol(line + std::strlen("TracerPid:"), nullptr, 10) != 0;
}

bool DebuggerOutputWanted()
{
    const char* wanted = std::getenv("TALUVO_DEBUG");
    return (wanted && *wanted) || DebuggerAttached();
}

} // namespace

void OutputDebugText(const QString& text)
{
    if (!DebuggerOutputWanted())
        return;
    const QByteArray bytes = AnsiEncode(text);
    WriteAll(STDERR_FILENO, bytes.constData(), static_cast<size_t>(bytes.size()));
}

} // namespace taluvo

void OutputDebugString(const char16_t* text)
{
    if (text)
        taluvo::OutputDebugText(QString::fromUtf16(text));
}
