// engine/ClipJobReadAhead.cpp: a job's lanes handed to the read-ahead, and
// its end with the last lane.
#include "engine/ClipJobReadAhead.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <new>
#include <system_error>

#include "shell/ShellSettings.h"
#include "engine/ClipReadAhead.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "shell/ImageDim.h"

namespace {

// Clips of a lane brought back ahead of its worker, at most.
constexpr int kClipsAheadOfAWorker = 8;

} // namespace

std::shared_ptr<ClipJobReadAhead> ClipJobReadAhead::Start(const std::vector<std::vector<int>>& workerClips)
{
    try {
        std::vector<std::vector<Frame*>> lanes(workerClips.size());
        bool anyOnDisk = false;
        for (std::size_t i = 0; i < workerClips.size(); ++i)
            for (int index : workerClips[i])
                if (Frame* frame = FrameAt(index)) {
                    lanes[i].push_back(frame);
                    anyOnDisk = anyOnDisk || !frame->InMemory();
                }
        if (!anyOnDisk)
            return nullptr;
        const int64_t clipBytes = 2 * int64_t{gImageDim.Width()} * gImageDim.Height() * 4;
        const int laneCount = static_cast<int>(lanes.size());
        auto readAhead = std::make_unique<ClipReadAhead>(std::move(lanes), ReadAheadHelpers(gNumThreads),
                                                         kClipsAheadOfAWorker, clipBytes);
        return std::make_shared<ClipJobReadAhead>(std::move(readAhead), laneCount);
    } catch (const std::bad_alloc&) {
        return nullptr;
    } catch (const std::system_error&) {
        return nullptr;
    }
}

ClipJobReadAhead::ClipJobReadAhead(std::unique_ptr<ClipReadAhead> readAhead, int lanes)
    : mReadAhead(std::move(readAhead)), mLanesLeft(lanes)
{
}

ClipJobReadAhead::~ClipJobReadAhead() = default;

void ClipJobReadAhead::Reached(int lane, int position)
{
    mReadAhead->Finished(lane, position);
}

void ClipJobReadAhead::LaneEnded(int lane)
{
    mReadAhead->Finished(lane, INT_MAX);
    if (mLanesLeft.fetch_sub(1) == 1)
        mReadAhead->Stop();
}
