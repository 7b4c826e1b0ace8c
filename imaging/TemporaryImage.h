// imaging/TemporaryImage.h: the scratch images the image operations make for
// themselves, with the program's out-of-memory alert when one cannot be made.
#pragma once

#include <memory>

#include "platform/core/GWorldWrapper.h"

// A new depth-32 image of bounds' size with no colour table (white, like every
// new image). When memory runs out it raises the out-of-memory alert
// (DoNotEnougMemoryForOperationDialog, safe on any thread) and returns null;
// the caller then decides whether to pass std::bad_alloc on or to report
// failure. Any thread.
std::unique_ptr<GWorldWrapper> NewTemporaryImage(Rect bounds);

// The same with pixels left unerased (unspecified values), for a result
// whose every pixel the caller writes before any is read.
std::unique_ptr<GWorldWrapper> NewScratchImage(Rect bounds);

// The same with like's bounds, depth and colour table, for a result that
// takes like's place.
std::unique_ptr<GWorldWrapper> NewScratchImageLike(const GWorldWrapper& like);

// A new image holding a copy of every pixel byte of source, or null after the
// alert, as NewTemporaryImage. Any thread that may read source.
std::unique_ptr<GWorldWrapper> NewTemporaryCopy(const GWorldWrapper& source);

// Gives target the size and pixels of result (assignment). When the resize runs
// out of memory it raises the alert and returns false with target unchanged.
[[nodiscard]] bool AdoptTemporaryImage(GWorldWrapper& target, const GWorldWrapper& result);
