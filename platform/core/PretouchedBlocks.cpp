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
    return Blocks().Take(bytes);
}
