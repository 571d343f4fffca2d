#include "platform/base/Process.h"

#include "platform/base/TextCodec.h"
#include "platform/base/UserFolders.h"

#include <cstdlib>
#include <dirent.h>
#include <limits.h>
#include <sys/resource.h>
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

namespace {

// Creates the folder and any missing parent for the user alone (0700), as the XDG rules ask for
// folders the program makes there; folders that exist keep their modes.
void MakeUserFolder(const QString& folder)
{
    const QByteArray path = AnsiEncode(folder);
    for (qsizetype slash = path.indexOf('/', 1); slash > 0; slash = path.indexOf('/', slash + 1))
        mkdir(path.left(slash).constData(), 0700);
    mkdir(path.constData(), 0700);
}

} // namespace

QString ProgramFolder()
{
    const QString home = EnvironmentPath("TALUVO_HOME");
    if (!home.isEmpty())
        return WithoutTrailingSlashes(home);
    // A portable copy keeps its data beside the executable; an installed program, or one run from
    // its build folder, never writes there.
    const QString exe = ExecutablePath();
    const qsizetype slash = exe.lastIndexOf(QLatin1Char('/'));
    if (slash >= 0) {
        QString exeFolder = slash == 0 ? QStringLiteral("/") : exe.left(slash);
        if (RegularFileExists(exeFolder + QStringLiteral("/database.db")))
            return exeFolder;
    }
    QString data = UserDataHome() + QStringLiteral("/taluvo");
    MakeUserFolder(data);
    return data;
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

size_t DescriptorsLeft()
{
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return SIZE_MAX;
    DIR* open = opendir("/proc/self/fd");
    if (!open)
        return SIZE_MAX; // nothing to go by: the system's own refusals remain
    size_t used = 0;
    while (const dirent* entry = readdir(open))
        if (entry->d_name[0] != '.')
            ++used;
    closedir(open);
    --used; // the listing's own descriptor
    return limit.rlim_cur > used ? static_cast<size_t>(limit.rlim_cur - used) : 0;
}

} // namespace taluvo
