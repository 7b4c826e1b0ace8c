// engine/FrameSwap.cpp: a clip's move to two temporary picture files and back.
#include <cstdio>
#include <new>
#include <string>
#include <utility>

#include "engine/Frame.h"
#include "engine/MemoryPolicy.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/PictFile.h"
#include "platform/core/StandardAlerts.h"
#include "platform/core/TempFolder.h"

namespace {

// Writes image to a new temporary file; the path is returned in *path
// (empty when no name could be had).
bool WriteTempPicture(const GWorldWrapper& image, std::string* path)
{
    *path = NewTempFilePath();
    if (path->empty())
        return false;
    try {
        return WritePictFile(*path, image, PictWriteMode::createNew) == PictFileStatus::ok;
    } catch (const std::bad_alloc&) {
        return false; // the encoder's buffer; the clip simply stays in memory
    }
}

} // namespace

Frame::SwapOutResult Frame::TrySendToTempDiskFile()
{
    const GWorldWrapper* original;
    const GWorldWrapper* modified;
    {
        // Taken only when free in this same critical section, so no other
        // thread can start using the clip between the test and the swap.
        std::lock_guard<std::mutex> lock(mMutex);
        if (mResidency != Residency::InMemory || mUpdating || mPins > 0)
            return SwapOutResult::skipped;
        mResidency = Residency::SwappingOut;
        original = mOriginal.get();
        modified = mModified.get();
    }
    // Both images whole, each at its own size.
    std::string paths[2];
    const bool ok = WriteTempPicture(*original, &paths[0]) && WriteTempPicture(*modified, &paths[1]);
    if (!ok)
        for (const std::string& path : paths)
            if (!path.empty())
                std::remove(path.c_str());

    std::unique_ptr<GWorldWrapper> freedOriginal, freedModified;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        if (ok) {
            freedOriginal = std::move(mOriginal);
            freedModified = std::move(mModified);
            mTempFiles[0] = paths[0];
            mTempFiles[1] = paths[1];
            mResidency = Residency::OnDisk;
        } else {
            mResidency = Residency::InMemory;
        }
        mChanged.notify_all();
    }
    return ok ? SwapOutResult::swapped : SwapOutResult::failed;
}

bool Frame::SendToTempDiskFile()
{
    return TrySendToTempDiskFile() == SwapOutResult::swapped;
}

bool Frame::RetrieveFromTempDiskFile()
{
    std::string paths[2];
    {
        std::unique_lock<std::mutex> lock(mMutex);
        // One thread swaps a clip in; others wait for it (the main thread
        // does not wait and gets false).
        auto settled = [this] {
            return mResidency == Residency::InMemory || (mResidency == Residency::OnDisk && mFileReaders == 0);
        };
        if (!WaitOrGiveUp(lock, settled))
            return false;
        if (mResidency == Residency::InMemory)
            return true;
        mResidency = Residency::SwappingIn;
        paths[0] = mTempFiles[0];
        paths[1] = mTempFiles[1];
    }
    // Make room first; the search holds no clip lock and never picks this
    // clip, which is not in memory.
    if (FreeMemoryIsLow())
        SendAFrameToATempDiskFile();

    std::unique_ptr<GWorldWrapper> images[2];
    bool ok = true;
    try {
        for (int i = 0; i < 2 && ok; ++i)
            ok = ReadPictFile(paths[i], &images[i]) == PictFileStatus::ok;
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
        ok = false;
    }
    {
        std::lock_guard<std::mutex> lock(mMutex);
        if (ok) {
            mOriginal = std::move(images[0]);
            mModified = std::move(images[1]);
            mTempFiles[0].clear();
            mTempFiles[1].clear();
            mResidency = Residency::InMemory;
        } else {
            mResidency = Residency::OnDisk; // both files kept
        }
        mChanged.notify_all();
    }
    if (ok)
        for (const std::string& path : paths)
            std::remove(path.c_str());
    return ok;
}

bool Frame::ReadModifiedFromTempFile(std::unique_ptr<GWorldWrapper>* image)
{
    std::string path;
    uint64_t generation = 0;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        if (mResidency == Residency::OnDisk && !mDirty) {
            path = mTempFiles[1];
            generation = mGeneration;
            ++mFileReaders;
        }
    }
    if (path.empty()) {
        image->reset();
        return false;
    }
    // The files stay until the count is down again.
    auto endRead = [&] {
        std::lock_guard<std::mutex> lock(mMutex);
        if (--mFileReaders == 0)
            mChanged.notify_all();
        return mGeneration == generation && !mDirty;
    };
    bool ok;
    try {
        ok = ReadPictFile(path, image) == PictFileStatus::ok;
    } catch (const std::bad_alloc&) {
        (void)endRead();
        throw;
    }
    ok = endRead() && ok;
    if (!ok)
        image->reset();
    return ok;
}
