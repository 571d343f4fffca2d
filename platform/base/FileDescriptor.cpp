#include "platform/base/FileDescriptor.h"

#include "platform/base/FileWrite.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace taluvo {

bool GetDescriptorStatus(int fd, SDescriptorStatus& status)
{
    struct stat st { };
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return false;
    status.regular = S_ISREG(st.st_mode);
    status.folder = S_ISDIR(st.st_mode);
    const int flags = ::fcntl(fd, F_GETFL);
    status.appendOnly = flags >= 0 && (flags & O_APPEND) != 0;
    status.ownerWritable = (st.st_mode & S_IWUSR) != 0;
    status.unixMode = static_cast<uint32_t>((st.st_mode & S_IFMT) | (st.st_mode & 0777));
    status.size = static_cast<uint64_t>(st.st_size);
    status.accessed = st.st_atim.tv_sec;
    status.modified = st.st_mtim.tv_sec;
    status.created = st.st_mtim.tv_sec;
    struct statx sx { };
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME))
        status.created = sx.stx_btime.tv_sec;
    return true;
}

int DuplicateDescriptor(int fd)
{
    return fd >= 0 ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
}

int CreateUserFileForWriting(const char* path)
{
    return ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kUserFileMode);
}

int OpenFileForReading(const char* path)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool GetDescriptorOffset(int fd, uint64_t& offset)
{
    const off_t pos = ::lseek(fd, 0, SEEK_CUR);
    if (pos < 0)
        return false;
    offset = static_cast<uint64_t>(pos);
    return true;
}

bool SetDescriptorOffset(int fd, uint64_t offset)
{
    return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

bool TruncateDescriptor(int fd, uint64_t size)
{
    return ::ftruncate(fd, static_cast<off_t>(size)) == 0;
}

long long ReadDescriptor(int fd, void* buffer, size_t size)
{
    ssize_t n;
    do
        n = ::read(fd, buffer, size);
    while (n < 0 && errno == EINTR);
    return n;
}

size_t WriteDescriptor(int fd, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, p + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    return done;
}

void* MapAnonymousMemory(size_t size)
{
    void* block = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return block == MAP_FAILED ? nullptr : block;
}

void UnmapMemory(void* block, size_t size)
{
    if (block)
        ::munmap(block, size);
}

} // namespace taluvo
