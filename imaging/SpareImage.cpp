// imaging/SpareImage.cpp: the per-thread spare image.
#include "imaging/SpareImage.h"

#include <utility>

#include "imaging/TemporaryImage.h"

namespace {

thread_local std::unique_ptr<GWorldWrapper> tSpare;

std::size_t PixelBytes(const GWorldWrapper& image)
{
    return static_cast<std::size_t>(image.GetSrcRowBytes()) * static_cast<std::size_t>(image.Height());
}

bool Matches(const GWorldWrapper& spare, const GWorldWrapper& like)
{
    return spare.GetDim() == like.GetDim() && spare.GetDepth() == like.GetDepth() &&
           spare.GetClutID() == like.GetClutID();
}

} // namespace

std::unique_ptr<GWorldWrapper> TakeSpareImage(const GWorldWrapper& like)
{
    if (tSpare && Matches(*tSpare, like))
        return std::move(tSpare);
    tSpare.reset(); // its memory first, for the new one
    return NewScratchImageLike(like);
}

void KeepSpareImage(std::unique_ptr<GWorldWrapper> image)
{
    if (image && PixelBytes(*image) >= kSpareImageMinBytes)
        tSpare = std::move(image);
}

void ReleaseSpareImage()
{
    tSpare.reset();
}

std::size_t SpareImageBytesForTesting()
{
    return tSpare ? PixelBytes(*tSpare) : 0;
}
