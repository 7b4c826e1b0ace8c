// imaging/TemporaryImage.cpp: scratch images with the out-of-memory alert.
#include "imaging/TemporaryImage.h"

#include <new>

#include "platform/core/StandardAlerts.h"

namespace {

// The image make returns, or null after the alert when memory runs out.
template <typename Make> std::unique_ptr<GWorldWrapper> MadeOrAlerted(Make make)
{
    try {
        return make();
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
        return nullptr;
    }
}

} // namespace

std::unique_ptr<GWorldWrapper> NewTemporaryImage(Rect bounds)
{
    return MadeOrAlerted([&] { return std::make_unique<GWorldWrapper>(32, bounds, -1); });
}

std::unique_ptr<GWorldWrapper> NewScratchImage(Rect bounds)
{
    return MadeOrAlerted([&] { return std::make_unique<GWorldWrapper>(32, bounds, -1, GWorldWrapper::Unerased{}); });
}

std::unique_ptr<GWorldWrapper> NewScratchImageLike(const GWorldWrapper& like)
{
    return MadeOrAlerted([&] {
        return std::make_unique<GWorldWrapper>(like.GetDepth(), like.GetDim(), like.GetClutID(),
                                               GWorldWrapper::Unerased{});
    });
}

std::unique_ptr<GWorldWrapper> NewTemporaryCopy(const GWorldWrapper& source)
{
    std::unique_ptr<GWorldWrapper> copy = NewScratchImage(source.GetDim());
    if (copy)
        CopyGWorldWrapper(source, *copy); // same size: copies rows, allocates nothing
    return copy;
}

bool AdoptTemporaryImage(GWorldWrapper& target, const GWorldWrapper& result)
{
    try {
        target = result;
        return true;
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
        return false;
    }
}
