// files/WorkspaceFile.h: reading and writing whole workspace files: every
// size and count checked against the file's length before anything is
// allocated, and saves that replace the old file only when complete.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "files/WorkspaceFormat.h"

class GWorldWrapper;

enum class WorkspaceReadStatus {
    ok,
    cannotOpen,  // the file does not exist or cannot be opened or read
    wrongMarker, // not -1 at its start: another kind of file or an older layout
    damaged,     // truncated before its first record, or a size, flag or picture that cannot be right
    outOfMemory, // an image of the file could not be allocated, or the document would not fit in free memory
    endedEarly,  // the file ended, or a record was damaged, after contents.clipsRead of N clips
};

// What a workspace holds besides its clips.
struct WorkspaceContents {
    WorkspaceHeader header;
    std::vector<uint8_t> mask;           // W × H, row-major, 1 = hot pixel (any non-zero byte read)
    std::unique_ptr<GWorldWrapper> dark; // or null
    std::unique_ptr<GWorldWrapper> flat; // or null
    int32_t clipsRead = 0;               // clips the sink received (N unless the file ended early)
};

// Receives each clip in file order: its record and its original image (W ×
// H, ownership passed). May throw std::bad_alloc, which ends the read as
// outOfMemory.
using WorkspaceClipSink = std::function<void(const WorkspaceClipRecord& record, std::unique_ptr<GWorldWrapper> image)>;
// Told after each step: 0 after the mask, then one step for each calibration
// frame and each clip; total = N + calibration frames + 1.
using WorkspaceProgress = std::function<void(int step, int total)>;

// Reads a whole workspace file. The layout is checked against the file's
// length first (the mask and the calibration frames' sizes must fit), and
// what the new document keeps in memory against the free-memory figure;
// then each pixel block is read and decoded; the sink sees a clip only after
// its block decoded. A record that is cut short or does not decode ends the
// file there (a writer stopped by a full disk leaves such files): the result
// is endedEarly, with *contents filled as for ok and the clips read before
// it given to the sink. Trailing bytes after the last record are ignored. On
// any other result but ok, *contents is left as it was and the caller must
// drop what the sink received. Any single thread.
[[nodiscard]] WorkspaceReadStatus ReadWorkspaceFile(const std::filesystem::path& path, WorkspaceContents* contents,
                                                    const WorkspaceClipSink& sink,
                                                    const WorkspaceProgress& progress = nullptr);

enum class WorkspaceWriteStatus {
    ok,
    tooWide,         // picture blocks were asked for and an image is too wide for a picture
    clipUnavailable, // a clip's image could not be had (a swapped-out clip failed to come back)
    writeFailed,     // the folder is not writable, the disk is full, or the rename was refused
    outOfMemory,
};

// Hands the writer clip i (0..N-1): fills record and calls put with the
// clip's original image while it holds it, returning put's result; false
// when the image cannot be had.
using WorkspaceClipSource =
    std::function<bool(int i, WorkspaceClipRecord& record, const std::function<bool(const GWorldWrapper& image)>& put)>;

// What a save writes; mask may be null (no hot pixels), dark and flat null
// when absent. header.hasDark and header.hasFlat follow dark and flat.
struct WorkspaceWriteRequest {
    WorkspaceHeader header;
    const uint8_t* mask = nullptr; // W × H bytes, written as held
    const GWorldWrapper* dark = nullptr;
    const GWorldWrapper* flat = nullptr;
    WorkspaceClipSource clips;
};

// Writes the workspace to a temporary file beside path, flushes it to the
// disk and renames it over path. On any result but ok, path is exactly as it
// was (missing, or the old file) and no temporary file is left. The
// calibration frames' sides must fit the file's 16-bit fields (1..32767).
// Any single thread; clips is called on it.
[[nodiscard]] WorkspaceWriteStatus WriteWorkspaceFile(const std::filesystem::path& path,
                                                      const WorkspaceWriteRequest& request,
                                                      const WorkspaceProgress& progress = nullptr);

// Test hook: the write that would take the file past `bytes` bytes fails as
// a full disk would; -1 (the default) turns it off.
void FailWorkspaceWriteAfterBytesForTesting(int64_t bytes);
