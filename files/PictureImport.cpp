// files/PictureImport.cpp: the picture import job, its workers and its end.
#include "files/PictureImport.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <utility>

#include "shell/Alerts.h"
#include "engine/ClipViewWindow.h"
#include "shell/JobSplit.h"
#include "shell/Jobs.h"
#include "shell/MainWindowSet.h"
#include "shell/ShellHooks.h"
#include "shell/OperationBoundsRect.h"
#include "shell/ShellSettings.h"
#include "engine/ClipsWindow.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "shell/ImageDim.h"
#include "engine/MemoryPolicy.h"
#include "engine/SummedStack.h"
#include "files/ImportedClips.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/StandardAlerts.h"
#include "platform/core/UserInteraction.h"
#include "platform/qt/PictureDecoder.h"
#include "platform/qt/ShellWindow.h"

const char* const kAddPicturesErrorTitle = "Add Pictures Error";
const char* const kAddPicturesErrorMessage =
    "An error occurred while opening some of the files.  Any readable files will be accepted and any "
    "unreadable files will be rejected.  Sorry.";

namespace {

// Custom mutexes of the import job.
constexpr int kQuestionMutex = 0; // one worker at a time asks the wrong-size question
constexpr int kAppendMutex = 1;   // one worker at a time appends to the clip list

// Some file of the current Open could not be read (by the open loop or by a
// worker's decode); reported once, when the import has ended.
std::atomic<bool> sAddPicturesErrorPending{false};

// Holds a custom mutex of the running job for a scope, so that no exit,
// out of memory included, leaves it locked.
class CustomMutexGuard {
public:
    explicit CustomMutexGuard(int i) : mIndex(i) { mLocked = lockCustomMutex(i); }
    ~CustomMutexGuard()
    {
        if (mLocked)
            (void)unlockCustomMutex(mIndex); // the same index locked: cannot fail
    }
    CustomMutexGuard(const CustomMutexGuard&) = delete;
    CustomMutexGuard& operator=(const CustomMutexGuard&) = delete;

private:
    int mIndex;
    bool mLocked = false;
};

// Only the bottom and right edges decide: a picture whose frame starts
// elsewhere than (0, 0) but ends where the document does is mapped onto it.
bool HasDocumentSize(Rect frame)
{
    return frame.bottom == gImageDim.bottom && frame.right == gImageDim.right;
}

// One picture to one clip; a picture that does not decode makes none and is
// noted for the final report. Throws std::bad_alloc with nothing of it left
// (the append lock released).
void ImportOnePicture(const ProbedPicture& picture)
{
    // Room for the clip's two images and the decoder's working pictures is
    // made before any of them exists: when memory is low, earlier clips go to
    // their temp files first, so the decoder never finds too little free.
    const int64_t clipBytes = int64_t{gImageDim.Width()} * gImageDim.Height() * 4;
    const int64_t pictureBytes = int64_t{picture.frame.Width()} * picture.frame.Height() * 4;
    MemoryReservation room(2 * clipBytes + 3 * pictureBytes);
    // Not erased: a decoded picture is drawn over every pixel, and the image
    // of one that fails is thrown away.
    auto original = std::make_unique<GWorldWrapper>(32, gImageDim, 0, GWorldWrapper::Unerased{});
    // When the room was made, free memory was read once for this picture.
    const WorkingRoom working = room.Made() ? WorkingRoom::setAside : WorkingRoom::readFreeMemory;
    if (DecodePictureInto(picture.file, *original, nullptr, working) != MediaStatus::ok) {
        sAddPicturesErrorPending = true;
        return;
    }
    std::unique_ptr<Frame> frame = MakeImportedClip(std::move(original));
    CustomMutexGuard append(kAppendMutex);
    (void)AppendImportedClip(std::move(frame), room.Made());
}

} // namespace

void NoteAddPicturesError()
{
    sAddPicturesErrorPending = true;
}

void ShowAddPicturesErrorIfPending()
{
    if (sAddPicturesErrorPending.exchange(false))
        DoStandardAlertNoCancel(kAlertStop, kAddPicturesErrorTitle, kAddPicturesErrorMessage);
}

void Thread_OpenSetOfPictures(const std::vector<ProbedPicture>& chunk)
{
    for (const ProbedPicture& picture : chunk) {
        bool take = true;
        if (gAcceptBadDimImages.load() != 1 && !HasDocumentSize(picture.frame)) {
            CustomMutexGuard question(kQuestionMutex);
            take = PostWrongImageDimEvent() == 1;
        }
        if (take) {
            try {
                ImportOnePicture(picture);
            } catch (const std::bad_alloc&) {
                // This worker's part ends here; the others go on, and the
                // clips made so far stay.
                DoNotEnougMemoryForOperationDialog();
                return;
            }
        }
        if (!Thread_GatherWorkingDialogProgressStep())
            return;
    }
}

void Thread_OpenSetOfPicturesFinal()
{
    GWorldWrapper::StopKeepingPixelsReady();
    if (gClipsWindow && FrameCount() > 0)
        gClipsWindow->show();
    DrawFrameInspectorWindow();
    FitClipsWindowToNumFrames(true);
    DrawClipsWindow();
    if (gClipsWindow && gClipsWindow->isVisible())
        ShowAndRaise(gClipsWindow);
    DestroyOperationBoundsRect();
    DeleteFrameStack();
    UpdateMenuState();
    ShowAddPicturesErrorIfPending();
}

void AddSetOfPictures(std::vector<ProbedPicture> pictures)
{
    if (pictures.empty())
        return;
    if (IsJobActive()) {
        SysBeep();
        return;
    }
    if (FrameCount() == 0) {
        Rect frame = pictures.front().frame;
        // The document takes the frame's size from (0, 0): a frame reaching
        // far left of 0 is as wide as its sides say, whatever its right edge.
        Rect sized = MakeRect(0, 0, frame.bottom - frame.top, frame.right - frame.left);
        if (!VerifyImageWidth(&sized, true))
            return;
        try {
            TakeNewImageDim(frame);
        } catch (const std::bad_alloc&) {
            DoNotEnougMemoryForOperationDialog();
            return;
        }
        ShowFrameInspectorForImageDim();
    }
    gAcceptBadDimImages = 0;

    const int n = static_cast<int>(pictures.size());
    std::vector<JobWorker> workers;
    try {
        for (const JobRange& range : SplitJobRanges(n, gNumThreads)) {
            // Each worker owns its chunk; the pictures are moved, not copied.
            auto chunk =
                std::make_shared<std::vector<ProbedPicture>>(std::make_move_iterator(pictures.begin() + range.first),
                                                             std::make_move_iterator(pictures.begin() + range.end));
            workers.push_back([chunk] { Thread_OpenSetOfPictures(*chunk); });
        }
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
        return;
    }
    // Each picture takes two fresh images of the document's size, its
    // original and the one its settings render: their memory is made ready
    // beside the workers.
    const int workerCount = static_cast<int>(workers.size());
    GWorldWrapper::KeepPixelsReady(gImageDim.Width(), gImageDim.Height(), std::min(8, 4 * workerCount));
    if (!RunThreadedProc(std::move(workers), n, &Thread_OpenSetOfPicturesFinal, 2)) // a refusal beeps or alerts
        GWorldWrapper::StopKeepingPixelsReady();
}
