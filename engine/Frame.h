// engine/Frame.h: one clip: its original, rendered (modified) and thumbnail
// images, the settings that turn the one into the other, and the lazy render.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "imaging/Demosaic.h"
#include "platform/core/DrawTarget.h"
#include "platform/core/Geometry.h"
#include "platform/core/MainThread.h"

class GWorldWrapper;
class Frame;

// A clip's rotation is counted in thousandths of a turn.
constexpr int kRotationTotalIncrements = 1000;
constexpr double kRotationIncrementRads = 2.0 * 3.14159265358979323846 / kRotationTotalIncrements;

// Size of every clip thumbnail (the image size scaled so that its larger side
// is 128). Main thread writes it while no job runs.
extern Rect gMaxClipDim;

// A pinned image of a clip. While any lease on a clip exists, the clip is not
// swapped out and its images are neither replaced nor freed, and no other
// thread renders it. Empty when the image could not be had (a failed
// swap-in, or, on the main thread, a clip another thread is working on).
// A lease is released on the thread that took it; movable, not copyable.
class FrameLease {
public:
    FrameLease() = default;
    FrameLease(FrameLease&& other) noexcept;
    FrameLease& operator=(FrameLease&& other) noexcept;
    FrameLease(const FrameLease&) = delete;
    FrameLease& operator=(const FrameLease&) = delete;
    ~FrameLease();

    GWorldWrapper* get() const { return mImage; }
    GWorldWrapper& operator*() const { return *mImage; }
    GWorldWrapper* operator->() const { return mImage; }
    explicit operator bool() const { return mImage != nullptr; }
    void reset();

private:
    friend class Frame;
    FrameLease(Frame* frame, GWorldWrapper* image) : mFrame(frame), mImage(image) {}
    Frame* mFrame = nullptr;
    GWorldWrapper* mImage = nullptr;
};

// The settings a render reads, copied whole at the start of each render.
struct FrameSettings {
    Point alignment[3];               // red, green, blue: content moves v rows down, h columns right
    int32_t rotation = 0;             // 0 .. kRotationTotalIncrements - 1
    double normalizationFactor = 1.0; // 1.0 = none
    Rect subRect[3];                  // red, green, blue: the calibration frames' rectangle (sensor coordinates)
    bool darkFrameSubtracted = false;
    bool flatFrameDivided = false;
    int32_t medianFilterRadius = 1;
    int32_t medianFilterThreshold = 0; // 0 = no filter
    bool debayerized = false;
    BayerPattern bayerPattern = kBayerGRBG;
    DebayerMethod debayerMethod = kDebayerBilinear;
    bool interpolateInterlace = false;
};

// Threads: every member may be called from any thread unless it says
// otherwise. One mutex per clip guards its state; it is never held across a
// render, file I/O, an alert or an event post, and never together with
// another clip's. A worker that finds the clip busy (rendered, swapped or
// leased by another thread) waits for it; the main thread never waits for a
// worker (that would deadlock the display handshake) and gets "not now"
// (false, or an empty lease) instead. Main-thread callers that need the
// images (stacking, final procedures) run only while no job runs.
class Frame {
public:
    enum class Residency { InMemory, SwappingOut, OnDisk, SwappingIn };

    // Takes ownership of both images (the caller has already copied the
    // original into the modified image); every subRect becomes the modified
    // image's bounds; makes the thumbnail. Throws std::bad_alloc (deleting
    // both images) when the thumbnail cannot be made.
    Frame(int index, GWorldWrapper* original, GWorldWrapper* modified);
    // Main thread, no job running, no leases left (asserted). A clip on disk
    // deletes its two files.
    ~Frame();
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    int GetIndex() const;
    double GetScore() const;
    int GetRotation() const;
    double GetNormalizationFactor() const;
    int GetMedianFilterRadius() const;
    int GetMedianFilterThreshold() const;
    bool GetSumStackIncluded() const;
    bool GetDarkFrameSubtracted() const;
    bool GetFlatFrameDivided() const;
    bool GetDebayerized() const;
    BayerPattern GetBayerPattern() const;
    DebayerMethod GetDebayerMethod() const;
    bool GetInterpolateInterlace() const;
    // channel 1 red, 2 green, 3 blue; other channels give (0, 0) and an empty rect.
    Point GetAlignment(int channel) const;
    Rect GetSubRect(int channel) const;
    FrameSettings GetSettings() const;
    bool IsDirty() const;
    bool IsUpdating() const;
    bool InMemory() const;
    Residency GetResidency() const;
    // Paths of the two temporary files while on disk (original, modified).
    std::string GetTempFile(int which) const;

    // The images, brought back from disk first. GetModified(true) renders a
    // dirty clip first. bad_alloc from a render reaches the caller.
    FrameLease GetOriginal();
    FrameLease GetModified(bool update);

    // Setters. All but SetIndex, SetScore and SetSumStackIncluded mark the
    // clip dirty, also while another thread renders it (that render then
    // leaves it dirty, and the next one uses the new value).
    void SetIndex(int index);
    void SetScore(double score);
    void SetSumStackIncluded(bool included);
    void SetAlignment(Point offset, int channel); // another channel stores nothing but still dirties
    void SetRotation(int rotation);               // brought into 0 .. 999
    void SetNormalizationFactor(double factor);
    void SetMedianFilter(int radius, int threshold);
    void SetDarkFrameSubtracted(bool on);
    void SetFlatFrameDivided(bool on);
    void SetDebayer(BayerPattern pattern, DebayerMethod method);
    void UnDebayer();
    void ToggleInterpolateInterlace();
    void SetSubRect(Rect r, int channel);

    // Replace or resize an image (bringing the clip back first). Always take
    // ownership of image: on failure (swap-in failed, or on the main thread a
    // clip another thread is working on) it is deleted and the result is
    // false, the clip unchanged. ResizeModified throws std::bad_alloc with
    // the clip unchanged.
    [[nodiscard]] bool SetOriginal(GWorldWrapper* image);
    [[nodiscard]] bool SetModified(GWorldWrapper* image);
    [[nodiscard]] bool ResizeModified(Rect bounds);
    // Remakes the thumbnail at gMaxClipDim: on the main thread while no job
    // runs, or on the worker that owns the clip during a job that set
    // gMaxClipDim before it started (crop and resample).
    // Throws std::bad_alloc with the old thumbnail kept.
    void CreateClip();

    // Renders the modified image when dirty (or always with force): the
    // original copied, then debayer, dark, flat, de-interlace, rotation,
    // per-channel shift, normalisation, median, and the thumbnail. True when
    // the modified image is up to date afterwards. False when the clip could
    // not be brought back, or (main thread) another thread is busy with it.
    // std::bad_alloc from a step reaches the caller with the clip dirty.
    bool UpdateFrame(bool force);
    // Copies the original into the modified image and marks the clip dirty.
    bool UpdateFrameMinimal();
    // UpdateFrameMinimal, then the debayer step only; the clip stays dirty.
    bool UpdateFrameDebayerOnly();

    // Swapping (memory policy). SendToTempDiskFile writes both images to two
    // new temporary files and frees them; it skips (false) a clip that is not
    // in memory, being rendered or leased. A failed write deletes the files
    // and keeps the clip in memory. RetrieveFromTempDiskFile reads them back
    // at their own sizes, first making room when memory is low; on failure
    // (a bad_alloc shows the out-of-memory alert) the clip stays on disk
    // with both files.
    bool SendToTempDiskFile();
    bool RetrieveFromTempDiskFile();
    // SendToTempDiskFile with the reason when nothing was swapped out.
    enum class SwapOutResult { swapped, skipped, failed };
    SwapOutResult TrySendToTempDiskFile();
    // For a pass that only reads clips: the rendered image of a clip on disk
    // and not dirty, read from its temporary file into *image (decoded into
    // the image it holds when that has the size) without bringing the clip
    // back: the clip stays on disk with both files, nothing is written. The
    // files are kept while the read runs: a swap-in waits for it (on the
    // main thread it gives up, as for a clip a worker is busy with). False,
    // with *image empty, when the clip is not on disk, is dirty or changed
    // meanwhile, or the file cannot be read (nothing is reported). Throws
    // std::bad_alloc (the clip unchanged).
    bool ReadModifiedFromTempFile(std::unique_ptr<GWorldWrapper>* image);

    // Power spectrum of the spectrum sort: n doubles, all 0.0; null
    // when the allocation fails (nothing reported).
    void InitPowerSpectrum(int n);
    void DestroyPowerSpectrum();
    double* GetPowerSpectrum() const;

    // Display (main thread). Copies the thumbnail, scaled, into dst of port.
    void DrawClipImage(Rect dst, GrafPtr port) const;
    // Calls use(modified image) under the clip's lock when the clip is in
    // memory and not being rendered; otherwise returns false without calling.
    // use must be short (a blit or a pixel read) and must not call the clip.
    template <typename Use> bool WithModifiedForDisplay(Use&& use) const
    {
        std::lock_guard<std::mutex> lock(mMutex);
        if (mResidency != Residency::InMemory || mUpdating || !mModified)
            return false;
        use(static_cast<const GWorldWrapper&>(*mModified));
        return true;
    }

    // Trims a pair so that calibrationRect lies inside calibrationBounds,
    // moving paired edges of imageRect by the same amount: a left or top
    // below 0 moves the image rectangle's left or top in by that much; a
    // right or bottom past the frame moves the image rectangle's right or
    // bottom in by the excess. A result of zero or negative width or height
    // means the channel misses the calibration frame.
    static void ConstrainRects(Rect& imageRect, Rect& calibrationRect, Rect calibrationBounds);

private:
    friend class FrameLease;
    enum class RenderKind { full, minimal, debayerOnly };
    bool Render(RenderKind kind, bool force);
    bool ReplaceImage(std::unique_ptr<GWorldWrapper>* slot, std::unique_ptr<GWorldWrapper> image, const Rect* resize);
    FrameLease Lease(bool original, bool update);
    int PinsOfOtherThreads() const; // mMutex held
    void Pin();                     // mMutex held
    void Unpin();
    // Waits on mChanged until ready() holds; the main thread never waits
    // for a worker and gets false instead.
    template <typename Predicate> bool WaitOrGiveUp(std::unique_lock<std::mutex>& lock, Predicate ready)
    {
        if (ready())
            return true;
        if (IsMainThread())
            return false;
        mChanged.wait(lock, ready);
        return true;
    }
    void MarkDirty(); // mMutex held

    mutable std::mutex mMutex;        // guards every field below
    std::condition_variable mChanged; // notified when residency, updating or pins change
    int32_t mIndex;
    double mScore = 0.0;
    std::unique_ptr<GWorldWrapper> mOriginal; // null while not in memory
    std::unique_ptr<GWorldWrapper> mModified; // null while not in memory
    std::unique_ptr<GWorldWrapper> mClip;     // thumbnail, always present
    bool mDirty = true;
    bool mUpdating = false;
    std::thread::id mUpdatingThread;
    uint64_t mGeneration = 0; // counts setter calls that dirty the clip
    FrameSettings mSettings;
    bool mSumStackIncluded = true;
    Residency mResidency = Residency::InMemory;
    std::string mTempFiles[2]; // original, modified; set while on disk
    int mFileReaders = 0;      // reads of the files under way (ReadModifiedFromTempFile)
    int mPins = 0;
    std::unique_ptr<double[]> mPowerSpectrum;
};

// Whether a clip of bounds with settings s needs its calibration
// rectangles: its dark subtraction or flat division applies (flag set and the
// document has that frame) and a rectangle is not the clip's own bounds (the
// clip was cropped out of a larger sensor image). Files that keep no
// rectangles store such a clip calibrated. Main thread, or a job's worker.
bool NeedsCalibrationRects(const FrameSettings& s, Rect bounds);
// Subtracts the document's dark frame and divides by its flat frame as s
// asks, through s's calibration rectangles, exactly as the render's dark and
// flat steps do. Main thread while no job runs (it locks the frames itself),
// or a job's worker. May throw std::bad_alloc.
void ApplyCalibrationFrames(GWorldWrapper& image, const FrameSettings& s);

// Orders for sorting gFrames by score; stateless.
struct FrameSorterByIncreasingScore {
    bool operator()(const Frame* a, const Frame* b) const { return a->GetScore() < b->GetScore(); }
    bool operator()(const std::unique_ptr<Frame>& a, const std::unique_ptr<Frame>& b) const
    {
        return a->GetScore() < b->GetScore();
    }
};
struct FrameSorterByDecreasingScore {
    bool operator()(const Frame* a, const Frame* b) const { return a->GetScore() > b->GetScore(); }
    bool operator()(const std::unique_ptr<Frame>& a, const std::unique_ptr<Frame>& b) const
    {
        return a->GetScore() > b->GetScore();
    }
};
