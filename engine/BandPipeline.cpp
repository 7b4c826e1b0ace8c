// engine/BandPipeline.cpp: the choice of the next band, the helpers' loop
// and the owner's wait.
#include "engine/BandPipeline.h"

#include <algorithm>
#include <utility>

#include "engine/BandWorkers.h"

BandPipeline::BandPipeline(int bands, BandWorkers& workers, int batch, std::function<void(int, int, int)> work)
    : mWork(std::move(work)), mBatch(std::max(1, batch)), mWorkers(workers), mHelperBody([this] { HelperLoop(); }),
      mBandDone(static_cast<std::size_t>(std::max(0, bands)), 0),
      mBandBusy(static_cast<std::size_t>(std::max(0, bands)), 0)
{
    mWorkers.Begin(mHelperBody);
}

BandPipeline::~BandPipeline()
{
    Stop();
    mWorkers.End();
}

void BandPipeline::Publish(int count)
{
    bool ready;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mPublished = std::max(mPublished, count);
        ready = ReadyBand() >= 0;
    }
    // Nobody is woken for items that no band takes yet.
    if (ready)
        mChanged.notify_all();
}

void BandPipeline::Close()
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mClosed = true;
    }
    mChanged.notify_all();
}

int BandPipeline::DoneLocked() const
{
    if (mBandDone.empty())
        return mPublished;
    return *std::min_element(mBandDone.begin(), mBandDone.end());
}

int BandPipeline::Done() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return DoneLocked();
}

int BandPipeline::ReadyBand() const
{
    if (mStopped)
        return -1;
    // The band furthest behind first, so that the oldest items are released soonest.
    int best = -1;
    for (std::size_t b = 0; b < mBandDone.size(); ++b) {
        if (mBandBusy[b])
            continue;
        const int waiting = mPublished - mBandDone[b];
        if (waiting <= 0 || (waiting < mBatch && !mClosed))
            continue;
        if (best < 0 || mBandDone[b] < mBandDone[static_cast<std::size_t>(best)])
            best = static_cast<int>(b);
    }
    return best;
}

bool BandPipeline::WorkOnce(std::unique_lock<std::mutex>& lock)
{
    const int band = ReadyBand();
    if (band < 0)
        return false;
    const std::size_t b = static_cast<std::size_t>(band);
    // Every whole batch waiting (up to kMostBatches) in one go: fewer trips
    // through the lock when the bands are behind.
    constexpr int kMostBatches = 4;
    const int first = mBandDone[b], waiting = mPublished - first;
    const int take = mClosed ? std::min(waiting, kMostBatches * mBatch)
                             : std::min(waiting / mBatch, kMostBatches) * mBatch;
    const int last = first + take;
    mBandBusy[b] = 1;
    ++mBusy;
    lock.unlock();
    mWork(band, first, last);
    lock.lock();
    mBandBusy[b] = 0;
    mBandDone[b] = last;
    --mBusy;
    // Woken only for something to wait for: a band to take, more items done,
    // or the last busy band of a Stop.
    const int done = DoneLocked();
    if (ReadyBand() >= 0 || done != mNotifiedDone || (mStopped && mBusy == 0)) {
        mNotifiedDone = done;
        mChanged.notify_all();
    }
    return true;
}

void BandPipeline::HelperLoop()
{
    std::unique_lock<std::mutex> lock(mMutex);
    for (;;) {
        if (mStopped)
            return;
        if (!WorkOnce(lock))
            mChanged.wait(lock, [this] { return mStopped || ReadyBand() >= 0; });
    }
}

void BandPipeline::WorkUntilDone(int count)
{
    std::unique_lock<std::mutex> lock(mMutex);
    while (!mStopped && DoneLocked() < count) {
        if (!WorkOnce(lock))
            mChanged.wait(lock, [&] { return mStopped || DoneLocked() >= count || ReadyBand() >= 0; });
    }
}

void BandPipeline::Stop()
{
    std::unique_lock<std::mutex> lock(mMutex);
    mStopped = true;
    mChanged.notify_all();
    mChanged.wait(lock, [this] { return mBusy == 0; });
}
