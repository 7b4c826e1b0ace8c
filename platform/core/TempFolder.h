// platform/core/TempFolder.h: the private folder of this process for the
// temporary files of swapped-out clips, and the names of those files.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// Number of the next temporary file: 0 when the program starts, taken and
// incremented (fetch_add) for every file made, never reused in a run.
extern std::atomic<int32_t> gNextTempFileId;

// The folder, made on first use with mkdtemp under $XDG_CACHE_HOME/velmora
// (default ~/.cache/velmora): a disk-backed place, unlike /tmp and
// $XDG_RUNTIME_DIR, which are often in memory and would defeat swapping.
// The folder holds a lock file that this process keeps flock'ed while it
// lives; when the folder is made, sibling folders whose lock can be taken
// (left by runs that crashed) are deleted, and nothing else. The folder is
// removed when the process exits normally. Returns false when the folder
// cannot be made. Any thread.
[[nodiscard]] bool PrivateTempFolder(std::string* folder);

// A path for a new temporary file: the private folder and the decimal text
// of gNextTempFileId, which is incremented. Empty when there is no folder.
// Any thread. The file itself is created by its writer with O_EXCL.
std::string NewTempFilePath();

// Deletes the private folder and everything in it now (also done at exit);
// the next PrivateTempFolder makes a new one. Main thread, no job running.
void RemovePrivateTempFolder();

// Deletes the folders of dead runs under the parent folder (those whose lock
// file can be locked, or that have none and are older than a minute). Called
// when the private folder is made; the application may also call it at start.
void RemoveStaleTempFolders();

// Test hook: the parent folder to use instead of $XDG_CACHE_HOME/velmora
// (empty restores it). Call before the first PrivateTempFolder, or after
// RemovePrivateTempFolder.
void SetTempFolderParentForTesting(const std::string& parent);
