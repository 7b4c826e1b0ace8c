// files/ReplacingSave.cpp: temporary files beside the target, renamed over it on success.
#include "files/ReplacingSave.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <system_error>
#include <unistd.h>

namespace {

std::atomic<int> sTempCounter{0};
std::atomic<int> sFailWrites{0};

// Leaves room in the 255-byte name limit for the prefix and suffix.
constexpr std::size_t kMaxTempStemBytes = 200;

bool TakeInjectedFailure()
{
    int n = sFailWrites.load();
    while (n > 0) {
        if (sFailWrites.compare_exchange_weak(n, n - 1))
            return true;
    }
    return false;
}

// Writes all count bytes, retrying short writes and interruptions.
bool WriteAll(int fd, const unsigned char* bytes, std::size_t count)
{
    while (count > 0) {
        const ssize_t n = ::write(fd, bytes, count);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

PendingReplacement::PendingReplacement(const std::filesystem::path& target) : mTarget(target)
{
    // A link is followed, so the file it names is replaced and the link stays.
    std::error_code ec;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(target, ec))) {
        const std::filesystem::path resolved = std::filesystem::canonical(target, ec);
        if (!ec)
            mTarget = resolved;
    }
    const std::filesystem::path folder = mTarget.parent_path();
    std::string stem = mTarget.filename().string();
    if (stem.size() > kMaxTempStemBytes)
        stem.resize(kMaxTempStemBytes);
    // A hidden name with the process id and a counter: unused by anything else,
    // and recognisable should a crash leave one behind.
    for (;;) {
        const std::string name = "." + stem + ".saving-" + std::to_string(::getpid()) + "-" +
                                 std::to_string(sTempCounter.fetch_add(1)) + ".tmp";
        mTemp = folder / name;
        if (!std::filesystem::exists(std::filesystem::symlink_status(mTemp, ec)))
            break;
    }
}

PendingReplacement::~PendingReplacement()
{
    if (!mCommitted) {
        std::error_code ec;
        std::filesystem::remove(mTemp, ec); // may never have been created
    }
}

bool PendingReplacement::Commit()
{
    std::error_code ec;
    // The replacement keeps the permissions the user gave the old file.
    const std::filesystem::file_status old = std::filesystem::status(mTarget, ec);
    if (!ec && std::filesystem::is_regular_file(old))
        std::filesystem::permissions(mTemp, old.permissions(), ec);
    ec.clear();
    std::filesystem::rename(mTemp, mTarget, ec);
    if (ec)
        return false;
    mCommitted = true;
    return true;
}

bool WriteFileReplacing(const std::filesystem::path& target, const void* bytes, std::size_t count)
{
    PendingReplacement save(target);
    const int fd = ::open(save.TempPath().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    const auto* data = static_cast<const unsigned char*>(bytes);
    bool ok = false;
    if (TakeInjectedFailure())
        (void)WriteAll(fd, data, count / 2); // the injected failure: half the data, then an error
    else
        ok = WriteAll(fd, data, count) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    return ok && save.Commit();
}

void FailNextFileWritesForTesting(int n)
{
    sFailWrites.store(n);
}
