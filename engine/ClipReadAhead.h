// engine/ClipReadAhead.h: clips a main-thread command will take in order,
// brought back from their temporary files on helper threads while the
// command works on the ones before, as far ahead as free memory allows; the
// clips it has finished with are swapped out to make room.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class Frame;

class ClipReadAhead {
public:
    // clips: the clips in the order the owner takes them (none repeated);
    // clipBytes: the memory one clip brought back takes (both its images).
    // A swap-in starts only while the free-memory figure less clipBytes for
    // it and for each swap-in still under way stays at or above the
    // low-memory threshold, and never more than ahead clips
    // past the owner. threads helpers (fewer when the system refuses).
    // The owner's thread is the one that makes it; no job may run meanwhile.
    ClipReadAhead(std::vector<Frame*> clips, int threads, int ahead, int64_t clipBytes);
    // Stops the helpers after their current clip and joins them.
    ~ClipReadAhead();
    ClipReadAhead(const ClipReadAhead&) = delete;
    ClipReadAhead& operator=(const ClipReadAhead&) = delete;

    // Owner: clips[0, position) are done with (and not leased by anyone):
    // they may be swapped out to make room.
    void Finished(int position);
    // Owner: brings back a clip the helpers have not (yet) reached, its room
    // made and reserved as theirs is, so that together they stay within the
    // figure; without room (nothing finished to swap out) it comes back
    // all the same, as the stack needs it.
    void BringBack(Frame& frame);
    // Owner: waits while a helper is bringing back or swapping out any clip,
    // and returns true once one such move has ended; false at once when none
    // is under way (the owner's own attempt then stands).
    bool WaitForMove();

private:
    void HelperLoop();
    // Swaps out finished clips until one more clip fits beside those already
    // coming back, and reserves its room (mComing); false when no room.
    bool MakeRoom();

    std::vector<Frame*> mClips;
    const int mAhead;
    const int64_t mClipBytes;
    std::vector<std::thread> mHelpers;
    std::mutex mMutex;               // guards every field below
    std::condition_variable mChanged; // a move ended, the owner moved on, or the end
    int mNext = 0;                   // the next clip to look at
    int mFinished = 0;               // clips the owner is done with
    int mNextVictim = 0;             // the next finished clip to offer for swapping out
    int mMoving = 0;                 // moves under way
    int64_t mComing = 0;             // swap-ins under way, their room reserved
    uint64_t mMovesEnded = 0;
    bool mStop = false;
};
