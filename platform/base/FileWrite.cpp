#include "platform/base/FileWrite.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace taluvo {

bool WriteAll(int fd, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

int OpenUserFileForAppend(const char* path)
{
    return ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, kUserFileMode);
}

bool SyncFile(int fd)
{
    return ::fsync(fd) == 0;
}

bool LockFileExclusive(int fd)
{
    int result;
    do
        result = ::flock(fd, LOCK_EX);
    while (result != 0 && errno == EINTR);
    return result == 0;
}

bool CloseFile(int fd)
{
    // An interrupted close has still closed the descriptor on Linux: no failure, and no retry.
    return ::close(fd) == 0 || errno == EINTR;
}

bool AppendToUserFile(const char* path, const void* data, size_t size)
{
    const int fd = OpenUserFileForAppend(path);
    if (fd < 0)
        return false;
    const bool complete = WriteAll(fd, data, size);
    return ::close(fd) == 0 && complete;
}

bool CreateUserFile(const char* path)
{
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kUserFileMode);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    return errno == EEXIST;
}

bool ReplaceFileContents(const char* path, const void* data, size_t size)
{
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    const bool complete = WriteAll(fd, data, size);
    struct stat info { };
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    const bool closed = ::close(fd) == 0;
    if (complete && closed)
        return true;
    if (regular)
        ::unlink(path);
    return false;
}

bool WriteNewUserFile(const char* path, const void* data, size_t size)
{
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kUserFileMode);
    if (fd < 0)
        return false;
    const bool complete = WriteAll(fd, data, size) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (complete && closed)
        return true;
    ::unlink(path);
    return false;
}

} // namespace taluvo
