// files/OpenMovieInterface.h: the movie frame dialog: a movie's frames one at
// a time, a crop rectangle on each, and Accept (the crop becomes a clip),
// Skip, Accept All and Skip All.
#pragma once

#include <functional>
#include <memory>

#include "shell/DialogInterface.h"
#include "files/MovieFrameGeometry.h"
#include "platform/core/Geometry.h"

class GWorldWrapper;
class MovieSource;

extern const char* const kOpenMovieMemoryErrorTitle;
extern const char* const kOpenMovieMemoryErrorMessage;

// Control IDs of the "OpenMovie" window ("????" signature).
inline constexpr int kMovieAccept = 1000;
inline constexpr int kMovieSkip = 2; // never Cancel: the dialog has none
inline constexpr int kMovieAcceptAll = 3;
inline constexpr int kMovieSkipAll = 4;
inline constexpr int kMovieUpdateFrequencyText = 5;
inline constexpr int kMovieTrackingCheckbox = 6;
inline constexpr int kMovieAcceptedText = 7;
inline constexpr int kMovieFrameText = 8;
inline constexpr int kMovieCropHint = 9;

inline constexpr int kMovieUpdateFrequencyMax = 100000;
inline constexpr int kMovieUpdateFrequencyDefault = 10;

// Modeless; several can be open at once; each deletes itself when it ends
// (after the last frame, Skip All, Accept All or a failure). Main thread only.
class OpenMovieInterface final : public DialogInterface {
public:
    // Builds the dialog on movie (ownership taken) and shows frame 0. Throws
    // std::bad_alloc after the "Open Movie Memory Error" alert when the frame
    // image cannot be made (nothing left behind).
    explicit OpenMovieInterface(std::unique_ptr<MovieSource> movie);
    ~OpenMovieInterface() override;

    int HandleEvent(const DialogEvent& event, bool& done) override;
    void RedrawDialog() override;
    bool HandleDialogItemHit(int id, bool& done) override;

    // The steps of the dialog, public for the program's tests.
    bool loadNextMovieFrame(bool& done);
    bool acceptOneFrame(bool& done);
    // Accepts every remaining frame with its own progress window (Cancel
    // stops it); beeps and does nothing while a job runs or a dialog that
    // reads the clips is open. True when the dialog is to end.
    bool acceptAllRemainingFrames();
    void processMouse(int modifiers, QPoint where, bool& done);
    // Crop rectangle from a drag (free crop) or placed by the pointer (the
    // document's size), the mouse followed until release.
    void DefineCropBounds(QPoint press);
    void LocateCropBounds(QPoint press);
    // Field 5 as typed: clamped to 0..100000 and written back.
    void ValidateEditableText();

    // State, for tests.
    int FrameCount() const { return mFrameCount; }
    int CurrentFrame() const { return mCurrentFrame; }
    int AcceptedCount() const { return mAcceptedCount; }
    int UpdateFrequency() const { return mUpdateFrequency; }
    const MovieDisplay& Display() const { return mDisplay; }
    Rect CropRect() const { return mCrop; }
    void SetCropRect(Rect crop) { mCrop = crop; }
    Point TrackingOffset() const { return mTrackingOffset; }
    const GWorldWrapper& MovieFrame() const { return *mMovieFrame; }
    int DisplayRedraws() const { return mDisplayRedraws; }
    // Called once per frame during Accept All, after its progress step
    // (tests use it to cancel or to try other input meanwhile).
    void SetAcceptAllStepHookForTesting(std::function<void()> hook) { mAcceptAllHook = std::move(hook); }

    // Open movie frame dialogs.
    static int OpenCount();

protected:
    void ClearGlobalPointer() override;

private:
    bool CropIsFree() const;
    bool FitCropToDocument();
    void DrawFrameDisplay();
    void FailForMemory(bool& done);
    void NoteClosed();

    std::unique_ptr<MovieSource> mMovie;
    std::unique_ptr<GWorldWrapper> mMovieFrame; // the frame shown, the movie box's size
    MovieDisplay mDisplay;
    Rect mMovieBox;
    Rect mCrop; // frame coordinates, as placed by the user
    int mUpdateFrequency = kMovieUpdateFrequencyDefault;
    bool mAcceptAll = false;
    int mFrameCount = 0;
    int mAcceptedCount = 0;
    int mCurrentFrame = -1;
    int mClipsAtOpen = 0;
    bool mHaveReference = false;
    Point mReferenceCentroid{};
    Point mTrackingOffset{};
    int mDisplayRedraws = 0;
    bool mCounted = false;
    std::function<void()> mAcceptAllHook;
};

// Opens the frame dialog of movie, or refuses it with a beep (no dialog, the
// movie released) when the document already has its size and the movie is
// smaller in either dimension. True when a dialog opened. Throws
// std::bad_alloc as the constructor does. Main thread only.
bool OpenMovieFrameDialog(std::unique_ptr<MovieSource> movie);
