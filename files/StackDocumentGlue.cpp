// files/StackDocumentGlue.cpp: the running program's document as the stack's
// file formats see it: the engine's summed stack, clip list and image size.
#include "files/StackDocument.h"

#include <new>

#include "shell/ModalDialogs.h"
#include "engine/FrameList.h"
#include "shell/ImageDim.h"
#include "engine/SummedStack.h"
#include "files/ImportedClips.h"
#include "platform/core/StandardAlerts.h"

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
    void FollowNewImageDim() override
    {
        try {
            TakeNewImageDim(gImageDim);
        } catch (const std::bad_alloc&) {
            // The stack stands; only the hot-pixel mask could not be made, and
            // a mask of another size counts as no hot pixels.
            DoNotEnougMemoryForOperationDialog();
        }
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
