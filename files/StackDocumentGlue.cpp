// files/StackDocumentGlue.cpp: the running program's document as the stack's
// file formats see it: the engine's summed stack, clip list and image size.
#include "files/StackDocument.h"

#include "app/ModalDialogs.h"
#include "engine/FrameList.h"
#include "engine/ImageDim.h"
#include "engine/SummedStack.h"

namespace {

class EngineStackDocument final : public StackDocument {
public:
    bool HasStack() const override { return HaveSummedStack(); }
    int StackWidth() const override { return ::StackWidth(); }
    int StackHeight() const override { return ::StackHeight(); }
    int32_t* Plane(int channel) override
    {
        switch (channel) {
        case 0:
            return gRedStack.get();
        case 1:
            return gGreenStack.get();
        case 2:
            return gBlueStack.get();
        default:
            return nullptr;
        }
    }
    int ClipCount() const override { return FrameCount(); }
    Rect ImageDim() const override { return gImageDim; }
    void SetImageDim(Rect r) override { gImageDim = r; }
    void ReleaseCalibrationOfOtherSize() override
    {
        // TODO: release dark and flat frames of another size than gImageDim,
        // with their windows, once the calibration files offer that call.
        // Safe meanwhile: a clip-less document renders nothing with them, and
        // picture import into it sets a new size before any clip is made.
    }
    bool CreateInitialStack() override { return ::CreateInitialStack(); }
    bool AskWrongImageDim() override { return DoWrongImageDimDialog(); }
    void ProjectStack() override { ProjectStackIntoFrameStackGWorld(true); }
};

} // namespace

StackDocument& TheStackDocument()
{
    static EngineStackDocument document;
    return document;
}
