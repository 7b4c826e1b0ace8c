// shell/ScratchImages.cpp: per-thread scratch images.
#include "shell/ScratchImages.h"

#include "shell/ImageDim.h"
#include "imaging/SpareImage.h"
#include "platform/core/GWorldWrapper.h"

std::vector<std::unique_ptr<GWorldWrapper>> gTempGWs;

namespace {

thread_local int tThreadSlot = kNoThreadSlot;
thread_local std::unique_ptr<GWorldWrapper> tOwnScratch;

bool HasSize(const GWorldWrapper& image, Rect dim)
{
    return image.Width() == dim.Width() && image.Height() == dim.Height();
}

} // namespace

int getThisThreadIndex()
{
    return tThreadSlot;
}

void SetThisThreadIndex(int slot)
{
    tThreadSlot = slot;
}

void CreateTempGWWs(int count)
{
    if (count < 0)
        count = 0;
    ReleaseSpareImage(); // the main thread's, kept from its last rotation
    while (gTempGWs.size() > static_cast<std::size_t>(count))
        gTempGWs.pop_back();
    const Rect dim = MakeRect(0, 0, gImageDim.Height(), gImageDim.Width());
    for (auto& image : gTempGWs)
        if (!HasSize(*image, dim))
            image = std::make_unique<GWorldWrapper>(32, dim, -1);
    while (gTempGWs.size() < static_cast<std::size_t>(count))
        gTempGWs.push_back(std::make_unique<GWorldWrapper>(32, dim, -1));
}

GWorldWrapper& ThisThreadScratchImage(Rect dim)
{
    const Rect bounds = MakeRect(0, 0, dim.Height(), dim.Width());
    std::unique_ptr<GWorldWrapper>* slot = &tOwnScratch;
    if (tThreadSlot >= 0 && static_cast<std::size_t>(tThreadSlot) < gTempGWs.size())
        slot = &gTempGWs[static_cast<std::size_t>(tThreadSlot)];
    if (!*slot || !HasSize(**slot, bounds))
        *slot = std::make_unique<GWorldWrapper>(32, bounds, -1);
    return **slot;
}
