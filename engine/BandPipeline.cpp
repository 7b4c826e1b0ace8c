// engine/BandPipeline.cpp: the choice of the next band, the helpers' loop
// and the owner's wait.
#include "engine/BandPipeline.h"

#include <algorithm>
#include <utility>

#include "engine/BandWorkers.h"

namespace {

// A helper takes every whole batch waiting, up to this many, in one go:
// fewer trips through the lock when the bands are behind.
constexpr int kHelperBatches = 4;

} // namespace

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
    if (count <= mOffered)
        return;
    const bool newBatch = count / mBatch != mOffered / mBatch;
    mOffered = count;
    // A band takes only whole batches before Close: the items of one not yet
    // complete wait here, without the lock the threads are busy with.
    if (!newBatch)
        return;
    std::lock_guard<std::mutex> lock(mMutex);
    mPublished = std::max(mPublished, count);
    if (mBandDone.empty())
        mDone.store(mPublished, std::memory_order_release);
    // A new batch is there for every band: the sleeping helpers start
    // together, not one after another.
    if (mSleepingHelpers > 0 && ReadyBand() >= 0)
        mHelperWake.notify_all();
}

void BandPipeline::Close()
{
    std::lock_guard<std::mutex> lock(mMutex);
    mPublished = std::max(mPublished, mOffered);
    mClosed = true;
    if (mBandDone.empty())
        mDone.store(mPublished, std::memory_order_release);
    mHelperWake.notify_all();
}

int BandPipeline::DoneLocked() const
{
    if (mBandDone.empty())
        return mPublished;
    return *std::min_element(mBandDone.begin(), mBandDone.end());
}

int BandPipeline::Done() const
{
    return mDone.load(std::memory_order_acquire);
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

void BandPipeline::WakeHelperIfReady()
{
    // One at a time: a helper that takes a band wakes the next while more
    // are ready, so no crowd of threads wakes to fight over one band left.
    if (mSleepingHelpers > 0 && ReadyBand() >= 0)
        mHelperWake.notify_one();
}

bool BandPipeline::WorkOnce(std::unique_lock<std::mutex>& lock, int mostBatches)
{
    const int band = ReadyBand();
    if (band < 0)
        return false;
    const std::size_t b = static_cast<std::size_t>(band);
    const int first = mBandDone[b], waiting = mPublished - first;
    const int take =
        mClosed ? std::min(waiting, mostBatches * mBatch) : std::min(waiting / mBatch, mostBatches) * mBatch;
    const int last = first + take;
    mBandBusy[b] = 1;
    ++mBusy;
    WakeHelperIfReady();
    lock.unlock();
    mWork(band, first, last);
    lock.lock();
    mBandBusy[b] = 0;
    mBandDone[b] = last;
    --mBusy;
    mDone.store(DoneLocked(), std::memory_order_release);
    // The owner waits for items done, for a band to take, or for the last
    // busy band of a Stop; this thread itself takes the next ready band.
    if (mOwnerWaiting)
        mOwnerWake.notify_one();
    return true;
}

void BandPipeline::HelperLoop()
{
    std::unique_lock<std::mutex> lock(mMutex);
    for (;;) {
        if (mStopped)
            return;
        if (!WorkOnce(lock, kHelperBatches)) {
            ++mSleepingHelpers;
            mHelperWake.wait(lock, [this] { return mStopped || ReadyBand() >= 0; });
            --mSleepingHelpers;
        }
    }
}

void BandPipeline::WorkUntilDone(int count)
{
    // No wait for items the bands cannot take yet.
    count = std::min(count, mClosed ? mOffered : mOffered / mBatch * mBatch);
    std::unique_lock<std::mutex> lock(mMutex);
    // Before Close a batch at a time, so that the owner is soon back to hand
    // in more; after it there is nothing more to hand in, and a band takes
    // as many as a helper would, its rows read from memory and written back
    // fewer times.
    const int mostBatches = mClosed ? kHelperBatches : 1;
    while (!mStopped && DoneLocked() < count) {
        if (!WorkOnce(lock, mostBatches)) {
            mOwnerWaiting = true;
            mOwnerWake.wait(lock, [&] { return mStopped || DoneLocked() >= count || ReadyBand() >= 0; });
            mOwnerWaiting = false;
        }
    }
    // Bands the owner leaves go to the helpers.
    WakeHelperIfReady();
}

void BandPipeline::Stop()
{
    std::unique_lock<std::mutex> lock(mMutex);
    mStopped = true;
    mHelperWake.notify_all();
    mOwnerWaiting = true;
    mOwnerWake.wait(lock, [this] { return mBusy == 0; });
    mOwnerWaiting = false;
}
