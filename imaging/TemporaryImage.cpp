// imaging/TemporaryImage.cpp: scratch images with the out-of-memory alert.
#include "imaging/TemporaryImage.h"

#include <new>

#include "platform/core/StandardAlerts.h"

std::unique_ptr<GWorldWrapper> NewTemporaryImage(Rect bounds)
{
    try {
        return std::make_unique<GWorldWrapper>(32, bounds, -1);
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
        return nullptr;
    }
}

std::unique_ptr<GWorldWrapper> NewScratchImage(Rect bounds)
{
    try {
        return std::make_unique<GWorldWrapper>(32, bounds, -1, GWorldWrapper::Unerased{});
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
        return nullptr;
    }
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
