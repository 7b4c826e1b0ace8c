// engine/BandWorkers.h: helper threads of one main-thread command, kept
// waiting between the command's parallel steps instead of being started for
// each: a step shares out bands of rows (Run), or runs one body on every
// helper while the owner does its own part (Begin / End).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class BandWorkers {
public:
    // Starts threads - 1 helpers (none for threads <= 1); a helper the system
    // refuses is done without, so the work then runs on fewer threads. The
    // object belongs to the thread that made it (the owner).
    explicit BandWorkers(int threads);
    // Stops and joins the helpers (after End, when a step was begun).
    ~BandWorkers();
    BandWorkers(const BandWorkers&) = delete;
    BandWorkers& operator=(const BandWorkers&) = delete;

    // Threads that take part in a step: the helpers and the owner.
    int Threads() const { return static_cast<int>(mHelpers.size()) + 1; }

    // Calls work(b) once for every band b in [0, bands), spread over all
    // threads in any order, and returns when every call has returned. The
    // calls must touch disjoint data and must not throw. Owner only.
    void Run(int bands, const std::function<void(int band)>& work);

    // Runs body once on every helper and returns at once; End waits until
    // every helper's body has returned. body must not throw and must stay
    // alive until End. Owner only; one step at a time.
    void Begin(const std::function<void()>& body);
    void End();

private:
    void HelperLoop();
    void TakeBands();

    std::vector<std::thread> mHelpers;
    std::mutex mMutex;                          // guards every field below
    std::condition_variable mWake;              // a step was begun, or the end
    std::condition_variable mDone;              // a helper finished its part of the step
    uint64_t mStep = 0;                         // counts steps begun
    bool mStop = false;
    int mBusy = 0;                              // helpers still in the current step
    const std::function<void()>* mBody = nullptr; // the current step's body
    // Band hand-out of Run.
    int mBands = 0;
    int mNextBand = 0;
    const std::function<void(int)>* mWork = nullptr;
};
