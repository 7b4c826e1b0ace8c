// platform/core/RegularFile.h: opening a file for reading only when it is a
// regular file, so a named pipe, a device or a folder never blocks a reader.
#pragma once

// True when path names a regular file (after following links).
bool IsRegularFile(const char* path);

// Opens path read-only, close-on-exec. The open itself never blocks (a FIFO
// with no writer would wait forever); the descriptor is refused and closed
// unless it is a regular file, and it is blocking again when returned.
// Returns -1 on failure.
int OpenRegularFileForReading(const char* path);

// Owns a descriptor (or -1) and closes it when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) noexcept : mFd(fd) {}
    ~FileDescriptor();
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const noexcept { return mFd; }

private:
    int mFd;
};
