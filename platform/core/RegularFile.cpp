// platform/core/RegularFile.cpp: see RegularFile.h.
#include "platform/core/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool IsRegularFile(const char* path)
{
    struct stat info {};
    return ::stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

int OpenRegularFileForReading(const char* path)
{
    if (!IsRegularFile(path))
        return -1;
    // The name may have been replaced by a pipe since the stat: the
    // non-blocking open returns at once either way, and fstat decides.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat info {};
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || flags < 0 ||
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

FileDescriptor::~FileDescriptor()
{
    if (mFd >= 0)
        ::close(mFd);
}
