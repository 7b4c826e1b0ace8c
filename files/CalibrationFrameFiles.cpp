// files/CalibrationFrameFiles.cpp: loading dark and flat frames from picture
// files, and the start-up wiring of the dark, flat and hot-pixel commands.
#include "files/CalibrationFrameFiles.h"

#include <memory>
#include <new>
#include <utility>

#include "shell/CommandOperations.h"
#include "shell/InputActions.h"
#include "shell/ModalDialogs.h"
#include "engine/CalibrationFrames.h"
#include "engine/CalibrationJobs.h"
#include "engine/CalibrationWindows.h"
#include "engine/ClipCommandGate.h"
#include "engine/CreateHotPixelMaskInterface.h"
#include "shell/ImageDim.h"
#include "files/FileChoosers.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/StandardAlerts.h"
#include "platform/core/UserInteraction.h"
#include "platform/qt/PictureDecoder.h"

namespace {

Rect BoundsOf(const GWorldWrapper& image)
{
    return MakeRect(0, 0, image.Height(), image.Width());
}

void ChooseAndLoad(CalibrationFrameKind kind)
{
    std::filesystem::path file;
    if (GetOneFileWithPreview(14, kPictureTypes, &file) != kNoErr)
        return;
    (void)LoadCalibrationFrameFile(kind, file); // reports its own failures
}

} // namespace

void OpenDarkFrame()
{
    ChooseAndLoad(CalibrationFrameKind::dark);
}

void OpenFlatFrame()
{
    ChooseAndLoad(CalibrationFrameKind::flat);
}

Rect CalibrationFrameTargetDim(CalibrationFrameKind kind)
{
    if (gImageDim.IsEmpty())
        return Rect{};
    const GWorldWrapper* same = kind == CalibrationFrameKind::dark ? gDarkFrame.get() : gFlatFrame.get();
    const GWorldWrapper* other = kind == CalibrationFrameKind::dark ? gFlatFrame.get() : gDarkFrame.get();
    if (same && !BoundsOf(*same).IsEmpty())
        return BoundsOf(*same);
    if (other && !BoundsOf(*other).IsEmpty())
        return BoundsOf(*other);
    // Cropped clips find their pixels through their calibration rectangles
    // in an image of the size they were cut from.
    if (!gSensorDim.IsEmpty())
        return MakeRect(0, 0, gSensorDim.Height(), gSensorDim.Width());
    return MakeRect(0, 0, gImageDim.Height(), gImageDim.Width());
}

bool LoadCalibrationFrameFile(CalibrationFrameKind kind, const std::filesystem::path& file)
{
    if (RefuseClipChange())
        return false;
    const Rect target = CalibrationFrameTargetDim(kind);
    if (target.IsEmpty()) {
        SysBeep(); // no document to calibrate
        return false;
    }
    Rect frame;
    // A file no decoder reads changes nothing and says nothing, like a
    // cancelled chooser: the frame there was stays.
    if (ProbePicture(file, &frame) != MediaStatus::ok)
        return false;
    // Only the bottom and right edges decide, as for the clips' pictures.
    if ((frame.bottom != target.bottom || frame.right != target.right) && !DoWrongImageDimDialog())
        return false;
    std::unique_ptr<GWorldWrapper> image;
    try {
        image = std::make_unique<GWorldWrapper>(32, target, -1);
        if (DecodePictureInto(file, *image) != MediaStatus::ok)
            return false;
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
        return false;
    }
    if (kind == CalibrationFrameKind::dark)
        UseAsDarkFrame(std::move(image));
    else
        UseAsFlatFrame(std::move(image));
    return true;
}

void InstallCalibrationFrameFiles()
{
    CommandOperations& ops = GetCommandOperations();
    ops.openDarkFrame = [] { OpenDarkFrame(); };
    ops.openFlatFrame = [] { OpenFlatFrame(); };
    ops.hotPixelMaskDialog = [] { OpenCreateHotPixelMaskDialog(); };
    InputActions& actions = GetInputActions();
    actions.subtractDarkFrame = [](bool force) { SubtractDarkFrame(force); };
    actions.divideFlatFrame = [](bool force) { DivideFlatFrame(force); };
    InstallCalibrationWindows();
}
