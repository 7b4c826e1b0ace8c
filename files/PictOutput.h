// files/PictOutput.h: the summed stack saved as a picture file, and clips
// dumped as numbered picture files into a chosen folder.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// The Save command: asks for a file (*.pict, *.pct or any), writes the stack's
// display image there (written beside it and renamed over it when complete,
// so a failure keeps the old file). A failed write, or a stack too wide to
// record, shows the save alert (kSaveErrorTitle, kSaveErrorMessage of the
// stack's file formats). Cancel writes nothing. Returns true when the
// file was written. Main thread, a stack existing.
bool SaveStackAsPict();

// The name of clip `clipNumber`'s file: base, "-", the number. '/' and NUL in
// base become '_', and base is cut at a UTF-8 character boundary so that the
// name fits in 255 bytes (the numbers keep the names distinct).
std::string DumpFileName(const std::string& base, int clipNumber);

// Writes each clip's rendered image (all clips, or the included ones) as
// folder/DumpFileName(base, index + 1), replacing older files. A clip whose
// image cannot be had or written counts as failed and the dump goes on.
// progress(n) is called before each clip with the number of clips handled
// before it. Returns the number of failed clips. Main thread, no job running.
struct DumpOutcome {
    int written = 0;
    int failed = 0;
};
DumpOutcome DumpClips(const std::string& folder, const std::string& base, bool allClips,
                      const std::function<void(int handled)>& progress);

// The dump command's work: asks for a folder (cancel ends it), dumps with a
// progress window without Cancel, and shows the save alert once at the end
// when any clip failed. Main thread, no job running.
void DumpWorkspace(bool allClips, const std::string& base);

// The dump dialog's size estimate in megabytes (1,000,000 bytes) with one
// decimal: (clips × (pictureSize + 31) + width × height) / 1,000,000,
// computed in 64 bits.
std::string DumpEstimateText(int64_t clips, int64_t pictureSize, int width, int height);
// The size of clip 0's original image as a picture (0 when there is none).
int64_t DumpPictureSize();
