// engine/ClipReadAhead.h: clips that one or more takers (a main-thread
// command, or the workers of a job) will take, each taker its own list in
// order, brought back from their temporary files on helper threads while the
// takers work on the ones before, as far ahead as free memory allows; the
// clips a taker has finished with are swapped out to make room. A taker that
// only reads the clips' rendered images may have those of clips on disk read
// into copies instead, the clips left on disk.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

class Frame;
class GWorldWrapper;

// Helpers of a read-ahead for work set to run on threads threads: a swap
// waits on the disk about as long as it decodes, and every clip brought back
// may first need one swapped out, so at least eight move clips at once (with
// thousands of clips on disk, four left the disk idle between their reads),
// never more than the processor has.
int ReadAheadHelpers(int threads);

// Bytes held now in copies read from clips on disk, by every read-ahead
// together. Any thread.
int64_t ClipCopyBytes();

class ClipReadAhead {
public:
    // lanes: for each taker, its clips in the order it takes them (no clip
    // in two places); clipBytes: the memory one clip brought back takes
    // (both its images). A swap-in starts only while the free-memory figure
    // less clipBytes for it and for each swap-in still under way stays at or
    // above the low-memory threshold, and never more than ahead clips past
    // its taker. threads helpers (fewer when the system refuses).
    ClipReadAhead(std::vector<std::vector<Frame*>> lanes, int threads, int ahead, int64_t clipBytes);
    // One taker, the owner: the thread that makes it; no job may run meanwhile.
    ClipReadAhead(std::vector<Frame*> clips, int threads, int ahead, int64_t clipBytes);
    // One such taker that only reads the clips' rendered images, which stay
    // as they are until it has finished with them: a clip on disk and
    // rendered is not brought back but its rendered image read into a copy
    // (Frame::ReadModifiedFromTempFile) of copyBytes, so nothing is written
    // and the clip stays on disk; a dirty one is brought back as above. The
    // copies of finished clips are kept for the next ones (their memory is
    // counted once, by the free-memory figure, when first made). copyBytes
    // must be above 0.
    struct CopyRendered {
        int64_t copyBytes;
    };
    ClipReadAhead(std::vector<Frame*> clips, int threads, int ahead, int64_t clipBytes, CopyRendered copies);
    // Stops as Stop does.
    ~ClipReadAhead();
    ClipReadAhead(const ClipReadAhead&) = delete;
    ClipReadAhead& operator=(const ClipReadAhead&) = delete;

    // The taker of lane: its clips [0, position) are done with (and not
    // leased by it): they may be swapped out to make room.
    void Finished(int lane, int position);
    void Finished(int position) { Finished(0, position); }
    // Stops the helpers after their current clip and joins them; nothing
    // moves afterwards. Any thread but a helper; once is enough.
    void Stop();

    // A taker on the main thread, which does not wait inside a clip: waits
    // while a helper is bringing back or swapping out any clip, and returns
    // true once one such move has ended; false at once when none is under
    // way (the taker's own attempt then stands). A clip the helpers have not
    // reached the taker brings back itself, as the swap rules bring back a
    // clip in use.
    bool WaitForMove();

    // A taker reading copies, at position: the copy of its clip's rendered
    // image, made by a helper (waited for while one is reading it) or else
    // here; null when the clip is not on disk and rendered, or its copy
    // could not be made (the taker then takes the clip itself). The copy
    // stays the taker's until Finished passes position.
    const GWorldWrapper* TakeCopy(int position);

private:
    ClipReadAhead(std::vector<std::vector<Frame*>> lanes, int threads, int ahead, int64_t clipBytes,
                  int64_t copyBytes);
    enum : char { kUntaken = 0, kTaken = 1, kCopying = 2 };
    struct Lane {
        std::vector<Frame*> clips;
        std::vector<char> taken; // per clip: kUntaken, kTaken (brought back, copied or found in memory), kCopying
        std::vector<std::unique_ptr<GWorldWrapper>> copies; // per clip, reading copies only
        int next = 0;       // no clip before it (and at or past finished) is left untaken
        int finished = 0;   // clips the taker is done with
        int nextVictim = 0; // the next finished clip to offer for swapping out
        int lastVictim = 0;  // the clips from it on were offered from the lane's end (starts at its size)
    };
    void HelperLoop();
    // The lane whose next clip a helper takes (mMutex held): of those whose
    // first untaken clip at or past the taker is within reach, the one with
    // the fewest clips before it. -1 when none.
    int LaneToAdvance();
    // Swaps out finished clips until the clip of ticket fits beside those
    // already coming back and those taken before it, and reserves its room
    // (mComing); false when no room. When no clip is finished yet, a clip
    // its taker reaches last, out of the helpers' reach, goes instead: it
    // comes back later in the pass, and its room meanwhile lets the helpers
    // work ahead of the taker rather than one clip at a time. Either way
    // the ticket leaves mQueued.
    bool MakeRoom(uint64_t ticket);
    // Whether the clip at position of lane is read into a copy (mMutex held).
    bool Copies(const Lane& l, int position) const;
    // Moves the clip at position of lane, marked kCopying (copy) or kTaken
    // by the caller: reads its copy into a kept one or a new one made with
    // room reserved, or brings it back from disk with room reserved (a clip
    // in memory needs nothing). lock (held on entry and return) is released
    // meanwhile. The position ends kTaken (copy set when made) or, when
    // there was no room, kUntaken (false).
    bool Move(std::unique_lock<std::mutex>& lock, Lane& l, int position, bool copy);

    const int mAhead;
    const int64_t mClipBytes;
    const int64_t mCopyBytes; // 0: clips are brought back, never copied
    std::vector<std::thread> mHelpers;
    std::mutex mMutex;               // guards every field below
    std::condition_variable mChanged; // a move ended, a taker moved on, or the end
    std::vector<Lane> mLanes;
    int mMoving = 0;                 // moves under way
    int64_t mComing = 0;             // bytes of the swap-ins and new copies under way, their room reserved
    // Clips on disk taken by helpers whose room is not reserved yet, by
    // ticket in the order they were taken, with the bytes each needs: a clip
    // taken earlier (nearer its taker) keeps its claim on the room while its
    // helper is held up.
    std::vector<std::pair<uint64_t, int64_t>> mQueued;
    std::vector<std::unique_ptr<GWorldWrapper>> mSpareCopies; // copies of finished clips, for the next
    uint64_t mLastTicket = 0;
    uint64_t mMovesEnded = 0;
    uint64_t mFinishedSteps = 0;     // counts the takers' moves on
    bool mStop = false;
    bool mJoined = false;
};
