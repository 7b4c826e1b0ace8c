// files/ReplacingSave.h: saves that go to a temporary file beside the target
// and replace the target only when the whole file was written.
#pragma once

#include <cstddef>
#include <filesystem>

// One save in progress. The constructor picks an unused temporary name in the
// target's folder (nothing is created yet); the writer creates and fills
// TempPath(); Commit() renames it over the target. Destroyed without a
// successful Commit(), it removes the temporary file, so a failed save leaves
// the old target exactly as it was. Main thread or any single thread.
class PendingReplacement {
public:
    explicit PendingReplacement(const std::filesystem::path& target);
    ~PendingReplacement();
    PendingReplacement(const PendingReplacement&) = delete;
    PendingReplacement& operator=(const PendingReplacement&) = delete;

    const std::filesystem::path& TempPath() const { return mTemp; }
    const std::filesystem::path& Target() const { return mTarget; }

    // Renames the temporary file over the target (atomic on one file system).
    // False when the rename failed; the target is then unchanged.
    [[nodiscard]] bool Commit();

private:
    std::filesystem::path mTarget;
    std::filesystem::path mTemp;
    bool mCommitted = false;
};

// Writes count bytes to target through a PendingReplacement: the bytes go to
// the temporary file, are flushed to the disk, and the file replaces target.
// False on any failure (folder missing or unwritable, disk full, rename
// refused); target is then unchanged and no temporary file is left.
[[nodiscard]] bool WriteFileReplacing(const std::filesystem::path& target, const void* bytes, std::size_t count);

// Test hook: the next n writes of WriteFileReplacing fail halfway through the
// data, as a full disk would.
void FailNextFileWritesForTesting(int n);
