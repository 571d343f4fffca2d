#include "platform/base/FileRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace taluvo {

namespace {

class CReadDescriptor {
public:
    explicit CReadDescriptor(int fd)
        : m_fd(fd)
    {
    }
    ~CReadDescriptor()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    CReadDescriptor(const CReadDescriptor&) = delete;
    CReadDescriptor& operator=(const CReadDescriptor&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

EFileRead Fail(EFileRead status, int code, std::string& contents, int* error)
{
    contents.clear();
    if (error)
        *error = code;
    return status;
}

} // namespace

EFileRead ReadRegularFile(const std::string& path, size_t maxBytes, std::string& contents, int* error)
{
    contents.clear();
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer forever.
    CReadDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (file.Get() < 0)
        return Fail(EFileRead::cannotOpen, errno, contents, error);
    struct stat info { };
    if (fstat(file.Get(), &info) != 0)
        return Fail(EFileRead::cannotOpen, errno, contents, error);
    if (!S_ISREG(info.st_mode))
        return Fail(EFileRead::notRegular, S_ISDIR(info.st_mode) ? EISDIR : EINVAL, contents, error);
    if (static_cast<unsigned long long>(info.st_size) > maxBytes)
        return Fail(EFileRead::tooLarge, EFBIG, contents, error);

    contents.resize(static_cast<size_t>(info.st_size));
    size_t total = 0;
    for (;;) {
        // One byte more than the bound is asked for, so a file that grew is noticed.
        if (total == contents.size())
            contents.resize(std::min(maxBytes + 1, total + size_t(64) * 1024));
        const ssize_t got = read(file.Get(), contents.data() + total, contents.size() - total);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return Fail(EFileRead::readError, errno, contents, error);
        if (got == 0)
            break;
        total += static_cast<size_t>(got);
        if (total > maxBytes)
            return Fail(EFileRead::tooLarge, EFBIG, contents, error);
    }
    contents.resize(total);
    return EFileRead::ok;
}

} // namespace taluvo
