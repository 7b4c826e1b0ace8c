// engine/BandWorkers.cpp: the helpers' wait for a step and the hand-out of bands.
#include "engine/BandWorkers.h"

#include <system_error>

BandWorkers::BandWorkers(int threads)
{
    for (int i = 1; i < threads; ++i) {
        try {
            mHelpers.emplace_back([this] { HelperLoop(); });
        } catch (const std::system_error&) {
            break; // the system gives no more threads: the others share the work
        }
    }
}

BandWorkers::~BandWorkers()
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mStop = true;
    }
    mWake.notify_all();
    for (std::thread& helper : mHelpers)
        helper.join();
}

void BandWorkers::HelperLoop()
{
    uint64_t seen = 0;
    for (;;) {
        const std::function<void()>* body;
        {
            std::unique_lock<std::mutex> lock(mMutex);
            mWake.wait(lock, [&] { return mStop || mStep != seen; });
            if (mStop)
                return;
            seen = mStep;
            body = mBody;
        }
        (*body)();
        {
            std::lock_guard<std::mutex> lock(mMutex);
            --mBusy;
        }
        mDone.notify_one();
    }
}

void BandWorkers::Begin(const std::function<void()>& body)
{
    if (mHelpers.empty())
        return;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mBody = &body;
        mBusy = static_cast<int>(mHelpers.size());
        ++mStep;
    }
    mWake.notify_all();
}

void BandWorkers::End()
{
    std::unique_lock<std::mutex> lock(mMutex);
    mDone.wait(lock, [this] { return mBusy == 0; });
    mBody = nullptr;
}

void BandWorkers::TakeBands()
{
    std::unique_lock<std::mutex> lock(mMutex);
    const std::function<void(int)>& work = *mWork;
    while (mNextBand < mBands) {
        const int band = mNextBand++;
        lock.unlock();
        work(band);
        lock.lock();
    }
}

void BandWorkers::Run(int bands, const std::function<void(int band)>& work)
{
    if (bands <= 0)
        return;
    if (mHelpers.empty() || bands == 1) {
        for (int b = 0; b < bands; ++b)
            work(b);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mWork = &work;
        mBands = bands;
        mNextBand = 0;
    }
    const std::function<void()> take = [this] { TakeBands(); };
    Begin(take);
    TakeBands();
    End();
    std::lock_guard<std::mutex> lock(mMutex);
    mWork = nullptr;
}
