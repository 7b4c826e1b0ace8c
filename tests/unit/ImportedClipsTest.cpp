// tests/unit/ImportedClipsTest.cpp: a clip whose own allocation fails leaves
// none of its images behind. The program's allocations are watched here by
// replacing the global allocation functions.
#include "files/ImportedClips.h"

#include <cstdlib>
#include <new>
#include <set>

#include <gtest/gtest.h>

#include "engine/Frame.h"
#include "platform/core/GWorldWrapper.h"
#include "tests/support/TestImages.h"

namespace {

bool sWatching = false;         // only the test's own thread allocates while set
std::set<void*>* sLiveImages;   // objects of GWorldWrapper's size not yet freed
bool sFailFrame = false;        // the next allocation of Frame's size throws

} // namespace

void* operator new(std::size_t size)
{
    if (sWatching && sFailFrame && size == sizeof(Frame)) {
        sFailFrame = false;
        throw std::bad_alloc();
    }
    void* p = std::malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    if (sWatching && size == sizeof(GWorldWrapper)) {
        sWatching = false; // the set's own node
        sLiveImages->insert(p);
        sWatching = true;
    }
    return p;
}

void operator delete(void* p) noexcept
{
    if (sWatching && p) {
        sWatching = false;
        sLiveImages->erase(p);
        sWatching = true;
    }
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    operator delete(p);
}

TEST(ImportedClips, AClipThatCannotBeAllocatedFreesBothImages)
{
    std::set<void*> live;
    sLiveImages = &live;
    auto original = MakeImage(6, 4);
    sWatching = true;
    sFailFrame = true;
    bool threw = false;
    try {
        (void)MakeImportedClip(std::move(original));
    } catch (const std::bad_alloc&) {
        threw = true;
    }
    sWatching = false;
    EXPECT_TRUE(threw);
    // The copy made inside and the original handed in are both gone.
    EXPECT_TRUE(live.empty());
}
