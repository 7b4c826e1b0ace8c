// engine/Frame.cpp: the clip record, its setters, leases and the render.
#include "engine/Frame.h"

#include <cassert>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "shell/ShellSettings.h"
#include "engine/CalibrationFrames.h"
#include "engine/FrameRenderSteps.h"
#include "imaging/Transforms.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/MainThread.h"

Rect gMaxClipDim;

namespace {

// Leases this thread holds, per clip, so a clip can tell its own thread's
// pins from other threads'.
thread_local std::vector<std::pair<const Frame*, int>> tPins;

int& PinsOfThisThread(const Frame* frame)
{
    for (auto& entry : tPins)
        if (entry.first == frame)
            return entry.second;
    tPins.emplace_back(frame, 0);
    return tPins.back().second;
}

void ForgetPinsIfNone(const Frame* frame)
{
    for (std::size_t i = 0; i < tPins.size(); ++i)
        if (tPins[i].first == frame && tPins[i].second == 0) {
            tPins[i] = tPins.back();
            tPins.pop_back();
            return;
        }
}

int ChannelSlot(int channel)
{
    return channel >= 1 && channel <= 3 ? channel - 1 : -1;
}

Rect ImageBounds(const GWorldWrapper& image)
{
    return MakeRect(0, 0, image.Height(), image.Width());
}

// The render's private thumbnail, one per thread, reused.
GWorldWrapper& ThumbnailScratch(Rect dim)
{
    thread_local std::unique_ptr<GWorldWrapper> image;
    if (!image || image->Width() != dim.Width() || image->Height() != dim.Height())
        image = std::make_unique<GWorldWrapper>(32, MakeRect(0, 0, dim.Height(), dim.Width()), -1);
    return *image;
}

void CopyPixels(const GWorldWrapper& from, GWorldWrapper& to)
{
    if (from.Width() == to.Width() && from.Height() == to.Height()) {
        const std::size_t bytes = static_cast<std::size_t>(from.Width()) * 4;
        for (int y = 0; y < from.Height(); ++y)
            std::memcpy(to.PixelRow(y), from.PixelRow(y), bytes);
        return;
    }
    from.CopyWorldBits(ImageBounds(from), &to);
}

// Builds the rectangle pairs of one calibration step; a channel that misses
// the calibration frame gets empty rectangles and is left alone.
void CalibrationRects(const GWorldWrapper& image, const FrameSettings& s, const GWorldWrapper& calibration,
                      Rect imageRects[3], Rect calibrationRects[3])
{
    for (int c = 0; c < 3; ++c) {
        imageRects[c] = ImageBounds(image);
        calibrationRects[c] = s.subRect[c];
        Frame::ConstrainRects(imageRects[c], calibrationRects[c], ImageBounds(calibration));
        if (imageRects[c].IsEmpty() || calibrationRects[c].IsEmpty()) {
            imageRects[c] = Rect{};
            calibrationRects[c] = Rect{};
        }
    }
}

} // namespace

bool NeedsCalibrationRects(const FrameSettings& s, Rect bounds)
{
    const bool applies = (gDarkFrame && s.darkFrameSubtracted) || (gFlatFrame && s.flatFrameDivided);
    if (!applies)
        return false;
    for (const Rect& r : s.subRect)
        if (r != bounds)
            return true;
    return false;
}

void ApplyCalibrationFrames(GWorldWrapper& image, const FrameSettings& s)
{
    const FrameRenderSteps& steps = CurrentFrameRenderSteps();
    // During a job the job holds the calibration frames' pixels; outside one
    // (on the main thread) they are locked here.
    const bool lockCalibration = IsMainThread();
    if (gDarkFrame && s.darkFrameSubtracted) {
        Rect imageRects[3], darkRects[3];
        CalibrationRects(image, s, *gDarkFrame, imageRects, darkRects);
        steps.subtractDark(image, *gDarkFrame, lockCalibration, imageRects, darkRects);
    }
    if (gFlatFrame && s.flatFrameDivided) {
        Rect imageRects[3], flatRects[3];
        CalibrationRects(image, s, *gFlatFrame, imageRects, flatRects);
        steps.divideFlat(image, *gFlatFrame, lockCalibration, gAverageFlatFieldValue, imageRects, flatRects);
    }
}

namespace {

// The steps after the copy of a full render, in their fixed order: debayer,
// dark, flat, de-interlace, rotation, per-channel shift, normalisation,
// median. Calibration works in sensor coordinates before any geometric step,
// and the alignment shift comes after the rotation. False when a step failed
// without throwing (a rotation out of memory), so the clip stays dirty.
bool RunCalibrationAndGeometry(GWorldWrapper& modified, const FrameSettings& s)
{
    const FrameRenderSteps& steps = CurrentFrameRenderSteps();
    bool complete = true;
    if (s.debayerized)
        steps.debayer(modified, s.bayerPattern, s.debayerMethod);
    ApplyCalibrationFrames(modified, s);
    if (s.interpolateInterlace)
        steps.deinterlace(modified);
    // The angle is passed also at rotation 0; the rotations return at once then.
    const double angle = s.rotation * kRotationIncrementRads;
    if (gRotationMethod == 1)
        complete = steps.rotateNearest(modified, angle) && complete;
    else if (gRotationMethod == 2)
        complete = steps.rotateBilinear(modified, angle) && complete;
    steps.translate(modified, s.alignment[0], s.alignment[1], s.alignment[2]);
    if (s.normalizationFactor != 1.0)
        steps.multiply(modified, s.normalizationFactor);
    if (s.medianFilterThreshold != 0)
        steps.median(modified, s.medianFilterRadius, s.medianFilterThreshold);
    return complete;
}

// True when a full render of s does nothing but the per-channel shift, with
// the image library's own steps: the shifted image is then written straight
// from the original in one pass. Steps a test replaced run one by one.
bool OnlyShifts(const FrameSettings& s)
{
    if (&CurrentFrameRenderSteps() != &DefaultFrameRenderSteps())
        return false;
    const bool rotates = s.rotation != 0 && (gRotationMethod == 1 || gRotationMethod == 2);
    return !s.debayerized && !(gDarkFrame && s.darkFrameSubtracted) && !(gFlatFrame && s.flatFrameDivided) &&
           !s.interpolateInterlace && !rotates && s.normalizationFactor == 1.0 && s.medianFilterThreshold == 0;
}

} // namespace

// ---------------------------------------------------------------- leases

FrameLease::FrameLease(FrameLease&& other) noexcept
    : mFrame(std::exchange(other.mFrame, nullptr)), mImage(std::exchange(other.mImage, nullptr))
{
}

FrameLease& FrameLease::operator=(FrameLease&& other) noexcept
{
    if (this != &other) {
        reset();
        mFrame = std::exchange(other.mFrame, nullptr);
        mImage = std::exchange(other.mImage, nullptr);
    }
    return *this;
}

FrameLease::~FrameLease()
{
    reset();
}

void FrameLease::reset()
{
    if (mFrame)
        mFrame->Unpin();
    mFrame = nullptr;
    mImage = nullptr;
}

void Frame::Pin()
{
    ++mPins;
    ++PinsOfThisThread(this);
}

void Frame::Unpin()
{
    std::lock_guard<std::mutex> lock(mMutex);
    --mPins;
    --PinsOfThisThread(this);
    ForgetPinsIfNone(this);
    assert(mPins >= 0);
    if (mPins == 0)
        mChanged.notify_all();
}

int Frame::PinsOfOtherThreads() const
{
    for (const auto& entry : tPins)
        if (entry.first == this)
            return mPins - entry.second;
    return mPins;
}

// ---------------------------------------------------------------- life

Frame::Frame(int index, GWorldWrapper* original, GWorldWrapper* modified)
    : mIndex(index), mOriginal(original), mModified(modified)
{
    const Rect bounds = mModified ? ImageBounds(*mModified) : Rect{};
    for (Rect& r : mSettings.subRect)
        r = bounds;
    mClip = std::make_unique<GWorldWrapper>(32, MakeRect(0, 0, gMaxClipDim.Height(), gMaxClipDim.Width()), -1);
}

Frame::~Frame()
{
    assert(mPins == 0 && "a clip is deleted while a lease on it is held");
    assert(mFileReaders == 0 && "a clip is deleted while its file is read");
    for (const std::string& path : mTempFiles)
        if (!path.empty())
            std::remove(path.c_str());
}

// ---------------------------------------------------------------- getters

int Frame::GetIndex() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mIndex;
}

double Frame::GetScore() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mScore;
}

int Frame::GetRotation() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mSettings.rotation;
}

double Frame::GetNormalizationFactor() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mSettings.normalizationFactor;
}

int Frame::GetMedianFilterRadius() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mSettings.medianFilterRadius;
}

int Frame::GetMedianFilterThreshold() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mSettings.medianFilterThreshold;
}

bool Frame::GetSumStackIncluded() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mSumStackIncluded;
}

bool Frame::GetDarkFrameSubtracted() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mSettings.darkFrameSubtracted;
}

bool Frame::GetFlatFrameDivided() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mSettings.flatFrameDivided;
}

bool Frame::GetDebayerized() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mSettings.debayerized;
}

BayerPattern Frame::GetBayerPattern() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mSettings.bayerPattern;
}

DebayerMethod Frame::GetDebayerMethod() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mSettings.debayerMethod;
}

bool Frame::GetInterpolateInterlace() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mSettings.interpolateInterlace;
}

Point Frame::GetAlignment(int channel) const
{
    std::lock_guard<std::mutex> lock(mMutex);
    const int c = ChannelSlot(channel);
    return c < 0 ? Point{} : mSettings.alignment[c];
}

Rect Frame::GetSubRect(int channel) const
{
    std::lock_guard<std::mutex> lock(mMutex);
    const int c = ChannelSlot(channel);
    return c < 0 ? Rect{} : mSettings.subRect[c];
}

FrameSettings Frame::GetSettings() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mSettings;
}

bool Frame::IsDirty() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mDirty;
}

bool Frame::IsUpdating() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mUpdating;
}

bool Frame::InMemory() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mResidency == Residency::InMemory;
}

Frame::Residency Frame::GetResidency() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mResidency;
}

std::string Frame::GetTempFile(int which) const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return which == 0 || which == 1 ? mTempFiles[which] : std::string();
}

double* Frame::GetPowerSpectrum() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mPowerSpectrum.get();
}

// ---------------------------------------------------------------- setters

void Frame::MarkDirty()
{
    mDirty = true;
    ++mGeneration;
}

void Frame::SetIndex(int index)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mIndex = index;
}

void Frame::SetScore(double score)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mScore = score;
}

void Frame::SetSumStackIncluded(bool included)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mSumStackIncluded = included;
}

void Frame::SetAlignment(Point offset, int channel)
{
    std::lock_guard<std::mutex> lock(mMutex);
    const int c = ChannelSlot(channel);
    if (c >= 0)
        mSettings.alignment[c] = offset;
    MarkDirty();
}

void Frame::SetRotation(int rotation)
{
    std::lock_guard<std::mutex> lock(mMutex);
    // The same result as adding or subtracting whole turns, without a loop.
    mSettings.rotation = ((rotation % kRotationTotalIncrements) + kRotationTotalIncrements) % kRotationTotalIncrements;
    MarkDirty();
}

void Frame::SetNormalizationFactor(double factor)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mSettings.normalizationFactor = factor;
    MarkDirty();
}

void Frame::SetMedianFilter(int radius, int threshold)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mSettings.medianFilterRadius = radius;
    mSettings.medianFilterThreshold = threshold;
    MarkDirty();
}

void Frame::SetDarkFrameSubtracted(bool on)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mSettings.darkFrameSubtracted = on;
    MarkDirty();
}

void Frame::SetFlatFrameDivided(bool on)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mSettings.flatFrameDivided = on;
    MarkDirty();
}

void Frame::SetDebayer(BayerPattern pattern, DebayerMethod method)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mSettings.debayerized = true;
    mSettings.bayerPattern = pattern;
    mSettings.debayerMethod = method;
    MarkDirty();
}

void Frame::UnDebayer()
{
    std::lock_guard<std::mutex> lock(mMutex);
    mSettings.debayerized = false;
    MarkDirty();
}

void Frame::ToggleInterpolateInterlace()
{
    std::lock_guard<std::mutex> lock(mMutex);
    mSettings.interpolateInterlace = !mSettings.interpolateInterlace;
    MarkDirty();
}

void Frame::SetSubRect(Rect r, int channel)
{
    std::lock_guard<std::mutex> lock(mMutex);
    const int c = ChannelSlot(channel);
    if (c >= 0)
        mSettings.subRect[c] = r;
    MarkDirty();
}

void Frame::InitPowerSpectrum(int n)
{
    std::unique_ptr<double[]> fresh;
    if (n > 0)
        fresh.reset(new (std::nothrow) double[static_cast<std::size_t>(n)]());
    std::lock_guard<std::mutex> lock(mMutex);
    mPowerSpectrum = std::move(fresh);
}

void Frame::DestroyPowerSpectrum()
{
    std::lock_guard<std::mutex> lock(mMutex);
    mPowerSpectrum.reset();
}

void Frame::CreateClip()
{
    auto fresh = std::make_unique<GWorldWrapper>(32, MakeRect(0, 0, gMaxClipDim.Height(), gMaxClipDim.Width()), -1);
    std::lock_guard<std::mutex> lock(mMutex);
    mClip = std::move(fresh);
}

// ---------------------------------------------------------------- images

bool Frame::ReplaceImage(std::unique_ptr<GWorldWrapper>* slot, std::unique_ptr<GWorldWrapper> image, const Rect* resize)
{
    std::unique_lock<std::mutex> lock(mMutex);
    for (;;) {
        auto free = [this] {
            return !mUpdating && PinsOfOtherThreads() == 0 &&
                   (mResidency == Residency::InMemory || mResidency == Residency::OnDisk);
        };
        if (!WaitOrGiveUp(lock, free))
            return false;
        if (mResidency == Residency::InMemory)
            break;
        lock.unlock();
        if (!RetrieveFromTempDiskFile())
            return false;
        lock.lock();
    }
    if (resize) {
        // Reallocated at the new bounds (white), or kept when the size is the same.
        mModified->UpdateGWorldFromRect(*resize);
    } else {
        std::unique_ptr<GWorldWrapper> old = std::exchange(*slot, std::move(image));
        lock.unlock();
        old.reset();
        lock.lock();
    }
    MarkDirty();
    return true;
}

bool Frame::SetOriginal(GWorldWrapper* image)
{
    return ReplaceImage(&mOriginal, std::unique_ptr<GWorldWrapper>(image), nullptr);
}

bool Frame::SetModified(GWorldWrapper* image)
{
    return ReplaceImage(&mModified, std::unique_ptr<GWorldWrapper>(image), nullptr);
}

bool Frame::ResizeModified(Rect bounds)
{
    return ReplaceImage(&mModified, nullptr, &bounds);
}

FrameLease Frame::Lease(bool original, bool update)
{
    for (;;) {
        if (update && !Render(RenderKind::full, false)) {
            // Not rendered: a failed swap-in, or the main thread finding a
            // worker busy with the clip.
            return FrameLease();
        }
        std::unique_lock<std::mutex> lock(mMutex);
        const std::thread::id me = std::this_thread::get_id();
        auto readable = [this, me] {
            return (mResidency == Residency::InMemory || mResidency == Residency::OnDisk) &&
                   (!mUpdating || mUpdatingThread == me);
        };
        if (!WaitOrGiveUp(lock, readable))
            return FrameLease();
        if (mResidency == Residency::OnDisk) {
            lock.unlock();
            if (!RetrieveFromTempDiskFile())
                return FrameLease();
            continue; // swapped back in; check again (it may have gone out meanwhile)
        }
        Pin();
        return FrameLease(this, original ? mOriginal.get() : mModified.get());
    }
}

FrameLease Frame::GetOriginal()
{
    return Lease(true, false);
}

FrameLease Frame::GetModified(bool update)
{
    return Lease(false, update);
}

void Frame::DrawClipImage(Rect dst, GrafPtr port) const
{
    std::lock_guard<std::mutex> lock(mMutex);
    if (mClip)
        mClip->CopyWorldBits(dst, port);
}

// ---------------------------------------------------------------- render

bool Frame::UpdateFrame(bool force)
{
    return Render(RenderKind::full, force);
}

bool Frame::UpdateFrameMinimal()
{
    return Render(RenderKind::minimal, true);
}

bool Frame::UpdateFrameDebayerOnly()
{
    return Render(RenderKind::debayerOnly, true);
}

bool Frame::Render(RenderKind kind, bool force)
{
    std::unique_lock<std::mutex> lock(mMutex);
    auto free = [this] {
        return !mUpdating && PinsOfOtherThreads() == 0 &&
               (mResidency == Residency::InMemory || mResidency == Residency::OnDisk);
    };
    for (;;) {
        if (!mDirty && !force)
            return true;
        if (!WaitOrGiveUp(lock, free))
            return false;
        if (!mDirty && !force)
            return true; // another thread rendered it meanwhile
        if (mResidency == Residency::InMemory)
            break;
        lock.unlock();
        if (!RetrieveFromTempDiskFile())
            return false; // the clip stays dirty
        lock.lock();
    }
    mUpdating = true;
    mUpdatingThread = std::this_thread::get_id();
    const FrameSettings settings = mSettings;
    const uint64_t generation = mGeneration;
    GWorldWrapper& original = *mOriginal;
    GWorldWrapper& modified = *mModified;
    const Rect clipDim = mClip ? ImageBounds(*mClip) : Rect{};
    lock.unlock();

    // On an exception the clip stays dirty and waiting threads are woken.
    struct UpdatingGuard {
        Frame* frame;
        bool active = true;
        ~UpdatingGuard()
        {
            if (!active)
                return;
            std::lock_guard<std::mutex> relock(frame->mMutex);
            frame->mUpdating = false;
            frame->mUpdatingThread = std::thread::id();
            frame->mDirty = true;
            frame->mChanged.notify_all();
        }
    } guard{this};

    bool complete = true;
    if (kind == RenderKind::full && OnlyShifts(settings) && original.Width() == modified.Width() &&
        original.Height() == modified.Height()) {
        TranslateImageFrom(original, modified, settings.alignment[0], settings.alignment[1], settings.alignment[2]);
    } else {
        CopyPixels(original, modified);
        if (kind == RenderKind::debayerOnly && settings.debayerized)
            CurrentFrameRenderSteps().debayer(modified, settings.bayerPattern, settings.debayerMethod);
        if (kind == RenderKind::full)
            complete = RunCalibrationAndGeometry(modified, settings);
    }
    GWorldWrapper* thumbnail = nullptr;
    if (kind == RenderKind::full && !clipDim.IsEmpty()) {
        // Destination-driven sampling: one read per thumbnail pixel.
        thumbnail = &ThumbnailScratch(clipDim);
        modified.CopyWorldBits(ImageBounds(modified), clipDim, thumbnail);
    }

    guard.active = false;
    lock.lock();
    if (thumbnail && mClip && mClip->Width() == thumbnail->Width() && mClip->Height() == thumbnail->Height())
        CopyPixels(*thumbnail, *mClip);
    mUpdating = false;
    mUpdatingThread = std::thread::id();
    if (kind == RenderKind::full && complete && generation == mGeneration)
        mDirty = false;
    else
        mDirty = true;
    mChanged.notify_all();
    // A rotation that ran out of memory left the image unrotated; it is
    // usable, and the clip stays dirty so that the next render tries again.
    return true;
}

void Frame::ConstrainRects(Rect& imageRect, Rect& calibrationRect, Rect calibrationBounds)
{
    if (calibrationRect.left < calibrationBounds.left) {
        imageRect.left = static_cast<int16_t>(imageRect.left + (calibrationBounds.left - calibrationRect.left));
        calibrationRect.left = calibrationBounds.left;
    }
    if (calibrationRect.right > calibrationBounds.right) {
        imageRect.right = static_cast<int16_t>(imageRect.right - (calibrationRect.right - calibrationBounds.right));
        calibrationRect.right = calibrationBounds.right;
    }
    if (calibrationRect.top < calibrationBounds.top) {
        imageRect.top = static_cast<int16_t>(imageRect.top + (calibrationBounds.top - calibrationRect.top));
        calibrationRect.top = calibrationBounds.top;
    }
    if (calibrationRect.bottom > calibrationBounds.bottom) {
        imageRect.bottom = static_cast<int16_t>(imageRect.bottom - (calibrationRect.bottom - calibrationBounds.bottom));
        calibrationRect.bottom = calibrationBounds.bottom;
    }
}
