// files/PictureImport.h: the threaded import of picture files as clips.
#pragma once

#include <filesystem>
#include <vector>

#include "platform/core/Geometry.h"

// A picture file that was found readable, with its frame as its header says.
// The pixels are decoded later, by the worker that makes its clip.
struct ProbedPicture {
    std::filesystem::path file;
    Rect frame;
};

// Starts the picture import job and returns at once; nothing happens for an
// empty list. An empty document first takes the first picture's size (with
// the width warning for frames wider than 4091 pixels: declined, nothing is
// imported and the document stays empty). The pictures are cut into one
// contiguous chunk per worker (the job framework's split); each worker, in
// order: asks the wrong-size question when a picture's bottom or right
// differs from the document's (once per job, for all workers), decodes the
// picture onto an image of the document's size (another size stretched each
// axis on its own), makes the clip whole and appends it, then steps the
// progress bar. Clips are numbered in the order workers append them. A
// picture that fails to decode makes no clip and uses up its step; the final
// procedure then shows "Add Pictures Error" (ShowAddPicturesErrorIfPending). Out of memory ends that
// worker's part after the out-of-memory alert; clips made so far stay.
// Main thread only; no job may be running.
void AddSetOfPictures(std::vector<ProbedPicture> pictures);

// The worker of one chunk and the job's final procedure (main thread).
void Thread_OpenSetOfPictures(const std::vector<ProbedPicture>& chunk);
void Thread_OpenSetOfPicturesFinal();

extern const char* const kAddPicturesErrorTitle;
extern const char* const kAddPicturesErrorMessage;
// Notes that a file of the current Open could not be read. Any thread.
void NoteAddPicturesError();
// Shows the "Add Pictures Error" stop alert when an error was noted since it
// was last shown: once per Open, however many files failed and wherever.
// Main thread only.
void ShowAddPicturesErrorIfPending();
