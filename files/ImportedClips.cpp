// files/ImportedClips.cpp: new document sizes and new clips of imports.
#include "files/ImportedClips.h"

#include <mutex>
#include <utility>

#include "shell/MainWindowSet.h"
#include "shell/WindowGeometry.h"
#include "engine/CalibrationFrames.h"
#include "engine/ClipsWindowLayout.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "shell/ImageDim.h"
#include "engine/MemoryPolicy.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/qt/ShellWindow.h"

namespace {

bool HasSize(const GWorldWrapper* image, int width, int height)
{
    return image && image->Width() == width && image->Height() == height;
}

} // namespace

void TakeNewImageDim(Rect frame)
{
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    HotPixelMask mask;
    mask.Reset(width, height); // may throw: nothing changed yet
    gImageDim = MakeRect(0, 0, height, width);
    gSensorDim = Rect{};
    SetMaxClipDim(gImageDim);
    gHotPixelMask = std::move(mask);

    // Calibration frames of another size would be read out of bounds by the
    // renders of the new clips.
    if (gDarkFrame && !HasSize(gDarkFrame.get(), width, height)) {
        gDarkFrame.reset();
        if (gDarkFrameWindow)
            gDarkFrameWindow->hide();
    }
    if (gFlatFrame && !HasSize(gFlatFrame.get(), width, height)) {
        gFlatFrame.reset();
        gAverageFlatFieldValue = 0.0;
        if (gFlatFrameWindow)
            gFlatFrameWindow->hide();
    }
}

void ShowFrameInspectorForImageDim()
{
    if (!gFrameInspectorWindow || gImageDim.right <= 0 || gImageDim.bottom <= 0)
        return;
    Rect r = gImageDim;
    SetIdealImageRectBounds(gFrameInspectorWindow, r);
    gFrameInspectorWindow->SetContentSize(r.right - r.left, r.bottom - r.top);
    gFrameInspectorWindow->show();
}

std::unique_ptr<Frame> MakeImportedClip(std::unique_ptr<GWorldWrapper> original)
{
    // The first render below copies the original into every pixel of the
    // modified image, before anyone else can see the clip.
    auto modified = std::make_unique<GWorldWrapper>(32, original->GetDim(), 0, GWorldWrapper::Unerased{});
    // The clip's memory is allocated before the images are released (a new-
    // expression allocates before evaluating its arguments); the constructor
    // owns both images from then on, also when it throws.
    std::unique_ptr<Frame> frame(new Frame(0, original.release(), modified.release()));
    (void)frame->UpdateFrame(false); // a new clip in memory and unshared always renders
    return frame;
}

int AppendImportedClip(std::unique_ptr<Frame> frame, bool roomWasMade)
{
    Frame* clip = frame.get();
    int index;
    {
        std::lock_guard<std::mutex> lock(gFramesMutex);
        index = static_cast<int>(gFrames.size());
        clip->SetIndex(index);
        gFrames.push_back(std::move(frame));
    }
    if (!roomWasMade && FreeMemoryIsLow())
        (void)clip->SendToTempDiskFile(); // a failed write keeps the clip in memory
    return index;
}
