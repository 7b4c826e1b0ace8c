// platform/core/PictFile.cpp: writing and reading picture files with POSIX
// calls, each result checked.
#include "platform/core/PictFile.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/core/GWorldWrapper.h"
#include "platform/core/RegularFile.h"

namespace {

// The header every picture file starts with; its content is ignored on reading.
constexpr std::size_t kPictFileHeaderSize = 512;
// The shortest picture worth decoding: picSize, frame and the version opcode.
constexpr std::size_t kMinPictureSize = 10;

std::atomic<int> sWritesBeforeFailure{-1};
std::atomic<uint64_t> sReplaceCounter{0};

bool InjectedWriteFailure()
{
    int left = sWritesBeforeFailure.load();
    while (left >= 0) {
        if (sWritesBeforeFailure.compare_exchange_weak(left, left - 1))
            return left == 0;
    }
    return false;
}

bool WriteAll(int fd, const uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool ReadAll(int fd, uint8_t* data, std::size_t size, off_t offset)
{
    while (size > 0) {
        const ssize_t got = ::pread(fd, data, size, offset);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            return false;
        data += got;
        size -= static_cast<std::size_t>(got);
        offset += got;
    }
    return true;
}

// Writes bytes to a new file at path (which must not exist); on failure the
// file is removed.
bool WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes, bool sync)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool ok = !InjectedWriteFailure() && WriteAll(fd, bytes.data(), bytes.size());
    if (ok && sync)
        ok = ::fsync(fd) == 0;
    if (::close(fd) != 0)
        ok = false;
    if (!ok)
        ::unlink(path.c_str());
    return ok;
}

} // namespace

void FailPictFileWriteAfterForTesting(int successes)
{
    sWritesBeforeFailure = successes < 0 ? -1 : successes;
}

PictFileStatus WritePictFile(const std::string& path, const GWorldWrapper& image, PictWriteMode mode)
{
    std::vector<uint8_t> bytes(kPictFileHeaderSize, 0);
    if (EncodePict(image, bytes) != PictStatus::ok)
        return PictFileStatus::tooWide;
    if (mode == PictWriteMode::createNew)
        return WriteNewFile(path, bytes, false) ? PictFileStatus::ok : PictFileStatus::writeFailed;

    // A new file beside the target, renamed over it once complete, so a
    // failed save never leaves a half-written file in the old one's place.
    // Its name is short, so that a target whose name is at the file system's
    // limit still gets one.
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string temporary =
        folder + ".velmora-save-" + std::to_string(::getpid()) + "-" + std::to_string(sReplaceCounter.fetch_add(1));
    if (!WriteNewFile(temporary, bytes, true))
        return PictFileStatus::writeFailed;
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return PictFileStatus::writeFailed;
    }
    return PictFileStatus::ok;
}

PictFileStatus ReadPictFile(const std::string& path, std::unique_ptr<GWorldWrapper>* image, Rect* frame)
{
    std::unique_ptr<GWorldWrapper> reusable = std::move(*image);
    const FileDescriptor file(OpenRegularFileForReading(path.c_str()));
    const int fd = file.Get();
    if (fd < 0)
        return PictFileStatus::readFailed;
    struct stat info;
    if (::fstat(fd, &info) != 0)
        return PictFileStatus::readFailed;
    const std::size_t length = static_cast<std::size_t>(info.st_size);
    if (length < kPictFileHeaderSize + kMinPictureSize)
        return PictFileStatus::damaged;
    std::vector<uint8_t> picture(length - kPictFileHeaderSize);
    if (!ReadAll(fd, picture.data(), picture.size(), static_cast<off_t>(kPictFileHeaderSize)))
        return PictFileStatus::readFailed;
    *image = std::move(reusable);
    switch (DecodePict(picture.data(), picture.size(), image, frame)) {
    case PictStatus::ok:
        return PictFileStatus::ok;
    case PictStatus::unsupported:
        return PictFileStatus::unsupported;
    default:
        return PictFileStatus::damaged;
    }
}
