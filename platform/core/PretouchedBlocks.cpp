// platform/core/PretouchedBlocks.cpp: the helper thread that keeps blocks
// ready, and the blocks it holds.
#include "platform/core/PretouchedBlocks.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include "platform/core/FreeMemory.h"
#include "platform/core/LargePages.h"

namespace {

constexpr std::chrono::milliseconds kRetryAfter{50};

class ReadyBlocks {
public:
    ~ReadyBlocks()
    {
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mQuit = true;
            mWanted = 0;
        }
        mChanged.notify_all();
        if (mHelper.joinable())
            mHelper.join();
        GiveBack(mReady, mBytes);
    }

    void Keep(std::size_t bytes, int count)
    {
        std::vector<void*> old;
        std::size_t oldBytes = 0;
        {
            std::lock_guard<std::mutex> lock(mMutex);
            if (bytes != mBytes) {
                old.swap(mReady);
                oldBytes = mBytes;
            }
            mBytes = bytes;
            mWanted = count > 0 && bytes > 0 ? static_cast<std::size_t>(count) : 0;
            mKeptBytes.store(mWanted > 0 ? bytes : 0, std::memory_order_relaxed);
            if (mWanted > 0 && !mHelper.joinable())
                mHelper = std::thread([this] { Run(); });
        }
        mChanged.notify_all();
        GiveBack(old, oldBytes);
    }

    void Stop()
    {
        std::vector<void*> old;
        std::size_t oldBytes;
        {
            std::lock_guard<std::mutex> lock(mMutex);
            old.swap(mReady);
            oldBytes = mBytes;
            mWanted = 0;
            mKeptBytes.store(0, std::memory_order_relaxed);
        }
        mChanged.notify_all();
        GiveBack(old, oldBytes);
    }

    void* Take(std::size_t bytes)
    {
        if (mKeptBytes.load(std::memory_order_relaxed) != bytes)
            return nullptr;
        void* block = nullptr;
        {
            std::lock_guard<std::mutex> lock(mMutex);
            if (bytes != mBytes || mReady.empty())
                return nullptr;
            block = mReady.back();
            mReady.pop_back();
        }
        mChanged.notify_all();
        return block;
    }

private:
    static void GiveBack(const std::vector<void*>& blocks, std::size_t bytes)
    {
        for (void* block : blocks)
            ::munmap(block, bytes);
    }

    // Maps a block and writes a zero into each of its pages; null when the
    // system refuses the mapping.
    static void* MakeBlock(std::size_t bytes)
    {
        void* block = MapLargeBlock(bytes);
        if (!block)
            return nullptr;
        AdviseLargePages(block, bytes);
        PrefaultPages(block, bytes);
        const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        volatile uint8_t* bytesOf = static_cast<uint8_t*>(block);
        for (std::size_t at = 0; at < bytes; at += page)
            bytesOf[at] = 0;
        return block;
    }

    void Run()
    {
        std::unique_lock<std::mutex> lock(mMutex);
        for (;;) {
            mChanged.wait(lock, [this] { return mQuit || mReady.size() < mWanted; });
            if (mQuit)
                return;
            const std::size_t bytes = mBytes;
            const std::size_t missing = mWanted - mReady.size();
            lock.unlock();
            void* block = nullptr;
            if (FreeMem() / 2 > static_cast<int64_t>(bytes * missing))
                block = MakeBlock(bytes);
            lock.lock();
            if (block && bytes == mBytes && mReady.size() < mWanted) {
                mReady.push_back(block);
            } else if (block) {
                ::munmap(block, bytes);
            } else if (!block) {
                // No room (or no mapping) now: tried again a little later.
                mChanged.wait_for(lock, kRetryAfter, [this] { return mQuit; });
            }
        }
    }

    std::mutex mMutex;
    std::condition_variable mChanged;
    std::thread mHelper;
    std::vector<void*> mReady;
    std::size_t mBytes = 0;
    std::size_t mWanted = 0;
    bool mQuit = false;
    std::atomic<std::size_t> mKeptBytes{0}; // mBytes while blocks are wanted, else 0
};

ReadyBlocks& Blocks()
{
    static ReadyBlocks blocks;
    return blocks;
}

// Freed blocks held a short while for the next block of their size.
class RecycledBlocks {
public:
    ~RecycledBlocks()
    {
        for (const Held& held : mHeld)
            ::munmap(held.block, held.bytes);
    }

    bool Keep(void* block, std::size_t bytes)
    {
        std::vector<Held> expired;
        bool kept = false;
        {
            std::lock_guard<std::mutex> lock(mMutex);
            const auto now = Clock::now();
            TakeExpired(now, expired);
            if (mHeld.size() < kAlwaysHeld || mHeldBytes + bytes <= kMostHeldBytes) {
                mHeld.push_back(Held{block, bytes, now});
                mHeldBytes += bytes;
                kept = true;
            }
            mHeldBytesOut.store(static_cast<int64_t>(mHeldBytes), std::memory_order_relaxed);
        }
        GiveBack(expired);
        return kept;
    }

    void* Take(std::size_t bytes)
    {
        if (mHeldBytesOut.load(std::memory_order_relaxed) == 0)
            return nullptr;
        std::vector<Held> expired;
        void* block = nullptr;
        {
            std::lock_guard<std::mutex> lock(mMutex);
            TakeExpired(Clock::now(), expired);
            for (std::size_t i = mHeld.size(); i-- > 0;) {
                if (mHeld[i].bytes == bytes) {
                    block = mHeld[i].block;
                    mHeldBytes -= bytes;
                    mHeld.erase(mHeld.begin() + static_cast<std::ptrdiff_t>(i));
                    break;
                }
            }
            mHeldBytesOut.store(static_cast<int64_t>(mHeldBytes), std::memory_order_relaxed);
        }
        GiveBack(expired);
        return block;
    }

    int64_t HeldBytes() const { return mHeldBytesOut.load(std::memory_order_relaxed); }

private:
    using Clock = std::chrono::steady_clock;
    // At least two blocks of any size are held, more up to this many bytes,
    // none longer than kHeldFor.
    static constexpr std::size_t kAlwaysHeld = 2;
    static constexpr std::size_t kMostHeldBytes = std::size_t{8} << 20;
    static constexpr std::chrono::milliseconds kHeldFor{250};

    struct Held {
        void* block;
        std::size_t bytes;
        Clock::time_point since;
    };

    // Moves the blocks held too long to expired (oldest first in mHeld).
    void TakeExpired(Clock::time_point now, std::vector<Held>& expired)
    {
        std::size_t n = 0;
        while (n < mHeld.size() && now - mHeld[n].since > kHeldFor)
            ++n;
        if (n == 0)
            return;
        expired.assign(mHeld.begin(), mHeld.begin() + static_cast<std::ptrdiff_t>(n));
        mHeld.erase(mHeld.begin(), mHeld.begin() + static_cast<std::ptrdiff_t>(n));
        for (const Held& held : expired)
            mHeldBytes -= held.bytes;
    }

    static void GiveBack(const std::vector<Held>& blocks)
    {
        for (const Held& held : blocks)
            ::munmap(held.block, held.bytes);
    }

    std::mutex mMutex;
    std::vector<Held> mHeld; // oldest first
    std::size_t mHeldBytes = 0;
    std::atomic<int64_t> mHeldBytesOut{0}; // mHeldBytes, read without the lock
};

RecycledBlocks& Recycled()
{
    static RecycledBlocks blocks;
    return blocks;
}

} // namespace

void KeepBlocksReady(std::size_t bytes, int count)
{
    Blocks().Keep(bytes, count);
}

void StopKeepingBlocksReady()
{
    Blocks().Stop();
}

void* TakeReadyBlock(std::size_t bytes)
{
    if (void* block = Recycled().Take(bytes))
        return block;
    return Blocks().Take(bytes);
}

bool RecycleBlock(void* block, std::size_t bytes)
{
    return Recycled().Keep(block, bytes);
}

int64_t RecycledBlockBytes()
{
    return Recycled().HeldBytes();
}
