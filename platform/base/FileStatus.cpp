#include "platform/base/FileStatus.h"

#include <sys/stat.h>
#include <unistd.h>

namespace taluvo {

bool GetFileStatus(const std::string& path, SFileStatus& status)
{
    struct stat info { };
    if (path.empty() || ::stat(path.c_str(), &info) != 0)
        return false;
    status.folder = S_ISDIR(info.st_mode);
    status.regular = S_ISREG(info.st_mode);
    status.size = static_cast<uint64_t>(info.st_size);
    status.modified = static_cast<int64_t>(info.st_mtime);
    status.device = static_cast<uint64_t>(info.st_dev);
    status.node = static_cast<uint64_t>(info.st_ino);
    return true;
}

bool IsWritableFolder(const std::string& path)
{
    SFileStatus status;
    return GetFileStatus(path, status) && status.folder && ::access(path.c_str(), W_OK) == 0;
}

} // namespace taluvo
