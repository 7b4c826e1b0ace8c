// platform/core/TempFolder.cpp: the per-process folder of temporary files,
// guarded by an flock so that later runs can tell live folders from stale ones.
#include "platform/core/TempFolder.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

std::atomic<int32_t> gNextTempFileId{0};

namespace {

namespace fs = std::filesystem;

// A folder is made as "new-XXXXXX", gets its locked lock file, and only then
// is renamed to "run-XXXXXX"; the sweep takes "run-" folders whose lock is
// free, and "new-" folders only when they are old (a run that died between
// the two steps).
constexpr const char* kLiveFolderPrefix = "run-";
constexpr const char* kNewFolderPrefix = "new-";
constexpr const char* kLockFileName = ".lock";
constexpr auto kAbandonedNewFolderAge = std::chrono::minutes(1);

std::mutex sMutex; // guards everything below
std::string sFolder;
int sLockFd = -1;
std::string sParentForTesting;
bool sExitHandlerInstalled = false;

std::string ParentFolder()
{
    if (!sParentForTesting.empty())
        return sParentForTesting;
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && cache[0] == '/')
        return std::string(cache) + "/velmora";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/.cache/velmora";
    return std::string();
}

void RemoveLocked()
{
    if (sFolder.empty())
        return;
    std::error_code error;
    fs::remove_all(sFolder, error);
    if (sLockFd >= 0)
        ::close(sLockFd);
    sLockFd = -1;
    sFolder.clear();
}

void RemoveAtExit()
{
    std::lock_guard<std::mutex> lock(sMutex);
    RemoveLocked();
}

void SweepStale(const std::string& parent, const std::string& own)
{
    std::error_code error;
    std::vector<fs::path> stale;
    for (fs::directory_iterator it(parent, error), end; !error && it != end; it.increment(error)) {
        const fs::path path = it->path();
        const std::string name = path.filename().string();
        if (path.string() == own || !it->is_directory(error))
            continue;
        if (name.rfind(kLiveFolderPrefix, 0) == 0) {
            const int fd = ::open((path / kLockFileName).c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                continue; // not one of ours, or already being removed
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
                stale.push_back(path);
            ::close(fd);
        } else if (name.rfind(kNewFolderPrefix, 0) == 0) {
            const auto written = fs::last_write_time(path, error);
            if (!error && fs::file_time_type::clock::now() - written > kAbandonedNewFolderAge)
                stale.push_back(path);
        }
    }
    for (const fs::path& path : stale)
        fs::remove_all(path, error);
}

} // namespace

bool PrivateTempFolder(std::string* folder)
{
    std::lock_guard<std::mutex> lock(sMutex);
    if (!sFolder.empty()) {
        *folder = sFolder;
        return true;
    }
    const std::string parent = ParentFolder();
    if (parent.empty())
        return false;
    std::error_code error;
    fs::create_directories(parent, error);
    std::string pattern = parent + "/" + kNewFolderPrefix + "XXXXXX";
    if (!::mkdtemp(pattern.data()))
        return false;
    const std::string made = pattern;
    const int fd = ::open((made + "/" + kLockFileName).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (fd >= 0)
            ::close(fd);
        fs::remove_all(made, error);
        return false;
    }
    const std::string live = parent + "/" + kLiveFolderPrefix + made.substr(made.size() - 6);
    if (::rename(made.c_str(), live.c_str()) != 0) {
        ::close(fd);
        fs::remove_all(made, error);
        return false;
    }
    sFolder = live;
    sLockFd = fd;
    if (!sExitHandlerInstalled) {
        std::atexit(RemoveAtExit);
        sExitHandlerInstalled = true;
    }
    SweepStale(parent, sFolder);
    *folder = sFolder;
    return true;
}

std::string NewTempFilePath()
{
    std::string folder;
    if (!PrivateTempFolder(&folder))
        return std::string();
    return folder + "/" + std::to_string(gNextTempFileId.fetch_add(1));
}

void RemovePrivateTempFolder()
{
    std::lock_guard<std::mutex> lock(sMutex);
    RemoveLocked();
}

void RemoveStaleTempFolders()
{
    std::string parent, own;
    {
        std::lock_guard<std::mutex> lock(sMutex);
        parent = ParentFolder();
        own = sFolder;
    }
    if (!parent.empty())
        SweepStale(parent, own);
}

void SetTempFolderParentForTesting(const std::string& parent)
{
    std::lock_guard<std::mutex> lock(sMutex);
    sParentForTesting = parent;
}
