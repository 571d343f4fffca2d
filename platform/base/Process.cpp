#include "platform/base/Process.h"

#include "platform/base/TextCodec.h"

#include <cstdlib>
#include <limits.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

DWORD GetCurrentThreadId()
{
    thread_local const DWORD id = static_cast<DWORD>(syscall(SYS_gettid));
    return id;
}

DWORD GetCurrentProcessId()
{
    return static_cast<DWORD>(getpid());
}

namespace taluvo {

QString ExecutablePath()
{
    char buffer[PATH_MAX + 1];
    const ssize_t n = readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0)
        return QString();
    return AnsiDecode(buffer, n);
}

QString ProgramFolder()
{
    const char* home = std::getenv("TALUVO_HOME");
    if (home && *home) {
        QString folder = AnsiDecode(home);
        while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
            folder.chop(1);
        return folder;
    }
    const QString exe = ExecutablePath();
    const qsizetype slash = exe.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QString();
    return slash == 0 ? QStringLiteral("/") : exe.left(slash);
}

QString ChangeExtension(const QString& path, const QString& extension)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    // A dot that starts the file name (".profile") is not an extension separator.
    const bool hasExtension = dot > slash + 1;
    const QString stem = hasExtension ? path.left(dot) : path;
    return extension.isEmpty() ? stem : stem + QLatin1Char('.') + extension;
}

QString ProgramFilePath(const QString& extension)
{
    const QString exe = ExecutablePath();
    QString name = exe.mid(exe.lastIndexOf(QLatin1Char('/')) + 1);
    if (name.isEmpty())
        name = QStringLiteral("taluvo");
    const QString folder = ProgramFolder();
    const QString file = extension.isEmpty() ? name : ChangeExtension(name, extension);
    return folder == QLatin1String("/") ? QLatin1Char('/') + file : folder + QLatin1Char('/') + file;
}

bool FolderExists(const QString& path)
{
    struct stat st;
    return !path.isEmpty() && stat(AnsiEncode(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RegularFileExists(const QString& path)
{
    struct stat st;
    return !path.isEmpty() && stat(AnsiEncode(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace taluvo
