// engine/BandPipeline.h: items (clips) handed in one after another, added
// band by band on several threads while more are still being handed in.
// Every band takes the items in their order, one thread at a time, so what a
// band holds never depends on the threads; a band takes whole batches of
// items (a helper up to four at a time when it is behind, the owner too once
// all are handed in; a shorter one only after Close) so that its rows stay in
// the cache while the batch is added.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

class BandWorkers;

class BandPipeline {
public:
    // work(band, first, last) adds items [first, last) to band; it runs on
    // any of the threads, never for one band on two threads at once, and
    // must not throw. The helpers of workers take bands until Stop; the
    // owner's own thread works while it waits. workers must outlive the
    // pipeline and run no other step meanwhile.
    BandPipeline(int bands, BandWorkers& workers, int batch, std::function<void(int band, int first, int last)> work);
    // Stops (as Stop) and waits for the helpers to leave.
    ~BandPipeline();
    BandPipeline(const BandPipeline&) = delete;
    BandPipeline& operator=(const BandPipeline&) = delete;

    // Owner: items [0, count) are ready to be added (count only grows). The
    // bands see them a whole batch at a time (all of them at Close), so
    // only a call that completes a batch takes the lock.
    void Publish(int count);
    // Owner: no item comes after those published; bands take their last,
    // shorter batch.
    void Close();
    // Items every band has added; their data may go. Any thread, no lock.
    int Done() const;
    // Owner: works on (or waits for) bands until Done() >= count (or Stop),
    // a batch at a time, so that it is soon back to hand in more items (after
    // Close, as many batches at a time as a helper takes).
    // A count beyond what the bands can reach is taken as that: before
    // Close the whole batches published (a band waits for a whole batch),
    // after Close all published.
    void WorkUntilDone(int count);
    // Owner: no band starts after this; returns once the bands being added
    // are finished. Done() then stays as it is.
    void Stop();

private:
    // A band ready to take items (mMutex held): not busy and a whole batch,
    // or after Close the rest, waiting. -1 when none.
    int ReadyBand() const;
    // Adds the waiting items of one ready band, at most mostBatches batches
    // of them (mMutex held on entry and exit, released while adding); false
    // when no band was ready.
    bool WorkOnce(std::unique_lock<std::mutex>& lock, int mostBatches);
    // Wakes a sleeping helper when a band is ready (mMutex held).
    void WakeHelperIfReady();
    void HelperLoop();
    int DoneLocked() const;

    std::function<void(int, int, int)> mWork;
    const int mBatch;
    BandWorkers& mWorkers;
    const std::function<void()> mHelperBody;
    int mOffered = 0;                    // owner only: the count last passed to Publish
    std::atomic<int> mDone{0};           // DoneLocked(), kept for Done()
    mutable std::mutex mMutex;           // guards every field below
    std::condition_variable mHelperWake; // a band became ready, or stopped
    std::condition_variable mOwnerWake;  // a band finished, or stopped
    std::vector<int> mBandDone;          // items added to each band
    std::vector<char> mBandBusy;         // a thread is adding to the band
    int mPublished = 0;
    int mBusy = 0;                       // bands being added to
    int mSleepingHelpers = 0;
    bool mOwnerWaiting = false;
    bool mClosed = false;
    bool mStopped = false;
};
