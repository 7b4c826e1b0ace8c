// engine/ClipJobReadAhead.h: the clips of a per-clip job's workers, each
// worker's list a lane of one read-ahead, brought back from disk on helper
// threads ahead of the workers, as far as free memory allows.
#pragma once

#include <atomic>
#include <memory>
#include <utility>
#include <vector>

class ClipReadAhead;

// The read-ahead of one job; shared by its workers' lanes.
class ClipJobReadAhead {
public:
    // Main thread, before the workers start: null when no clip of the lists
    // (clip indices, one list per worker) is on disk, or the read-ahead
    // cannot be had (the workers then bring their clips back themselves).
    static std::shared_ptr<ClipJobReadAhead> Start(const std::vector<std::vector<int>>& workerClips);
    ClipJobReadAhead(std::unique_ptr<ClipReadAhead> readAhead, int lanes);
    // Stops the helpers (when the lanes have not) and joins them.
    ~ClipJobReadAhead();
    ClipJobReadAhead(const ClipJobReadAhead&) = delete;
    ClipJobReadAhead& operator=(const ClipJobReadAhead&) = delete;

    // The worker of lane is at position of its list: the clips before are
    // done with.
    void Reached(int lane, int position);
    // The worker of lane is done with its list; the last lane to end stops
    // and joins the helpers, so no clip moves once every worker is done.
    void LaneEnded(int lane);

private:
    std::unique_ptr<ClipReadAhead> mReadAhead;
    std::atomic<int> mLanesLeft;
};

// One worker's lane: ends when End is called or when the last copy of the
// worker's closure holding it goes (a worker that never started).
class ClipJobLane {
public:
    ClipJobLane(std::shared_ptr<ClipJobReadAhead> readAhead, int lane) : mReadAhead(std::move(readAhead)), mLane(lane) {}
    ~ClipJobLane() { End(); }
    ClipJobLane(const ClipJobLane&) = delete;
    ClipJobLane& operator=(const ClipJobLane&) = delete;

    void Reached(int position) const { mReadAhead->Reached(mLane, position); }
    // Worker side, at its end (also when its work threw); once counts.
    void End() const
    {
        if (!mEnded.exchange(true))
            mReadAhead->LaneEnded(mLane);
    }

private:
    std::shared_ptr<ClipJobReadAhead> mReadAhead;
    const int mLane;
    mutable std::atomic<bool> mEnded{false};
};
