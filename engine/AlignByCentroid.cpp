// engine/AlignByCentroid.cpp: the centroid alignment job and the tracker.
#include "engine/AlignByCentroid.h"

#include <algorithm>
#include <cstdint>

#include "engine/ClipJobs.h"
#include "shell/OperationBoundsRect.h"
#include "shell/ShellSettings.h"
#include "engine/AlignmentReference.h"
#include "engine/AlignmentThreshold.h"
#include "engine/ClipCommandGate.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "engine/Selection.h"
#include "imaging/Measurements.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/StandardAlerts.h"
#include "platform/core/UserInteraction.h"

namespace {

// Settings of the running job, written by the command before it starts and
// only read by its workers.
Rect sBounds;
int sThreshold = 0;
bool sSeparate = false;
Point sRefValueCentroid;
Point sRefRedCentroid;
Point sRefGreenCentroid;
Point sRefBlueCentroid;

Point Sub(Point a, Point b)
{
    return MakePoint(static_cast<int16_t>(a.v - b.v), static_cast<int16_t>(a.h - b.h));
}

Point Add(Point a, Point b)
{
    return MakePoint(static_cast<int16_t>(a.v + b.v), static_cast<int16_t>(a.h + b.h));
}

int AutoAlignOneFrameByCentroid(Frame& frame)
{
    CentroidSearchClip clip;
    clip.measure = [&frame](Point deltas[3]) {
        FrameLease image = frame.GetModified(true);
        if (!image)
            return false;
        if (sSeparate) {
            Point red, green, blue;
            CalculateRGBCentroids(*image, sBounds, sThreshold, red, green, blue);
            deltas[0] = Sub(sRefRedCentroid, red);
            deltas[1] = Sub(sRefGreenCentroid, green);
            deltas[2] = Sub(sRefBlueCentroid, blue);
        } else {
            Point value;
            CalculateValueCentroid(*image, sBounds, sThreshold, value);
            deltas[0] = deltas[1] = deltas[2] = Sub(sRefValueCentroid, value);
        }
        return true;
    };
    clip.apply = [&frame](const Point deltas[3]) {
        for (int c = 1; c <= 3; ++c)
            frame.SetAlignment(Add(frame.GetAlignment(c), deltas[c - 1]), c);
        (void)frame.UpdateFrame(false); // the next measurement renders it when it can
    };
    clip.runStatus = [] { return Thread_JobRunStatus(); };
    return AlignByCentroidSteps(clip);
}

void Thread_AutoAlignFramesByCentroid(const FrameJobRange& range)
{
    ForEachClipOfRange(range, [](Frame& frame, int clip) {
        // A status above 1 is a cancel: the steps made so far stay.
        return (clip != 0 ? AutoAlignOneFrameByCentroid(frame) : 0) <= 1;
    });
}

void Thread_AutoAlignFramesByCentroidFinal()
{
    DiscardStackAndRedrawClips();
}

// r moved by (dv, dh), the edges kept within the coordinate range.
Rect Moved(Rect r, int dv, int dh)
{
    auto c = [](int x) { return static_cast<int16_t>(std::clamp(x, INT16_MIN, INT16_MAX)); };
    return MakeRect(c(r.top + dv), c(r.left + dh), c(r.bottom + dv), c(r.right + dh));
}

// The part of r inside the image.
Rect InsideImage(Rect r, int width, int height)
{
    return MakeRect(static_cast<int16_t>(std::clamp<int>(r.top, 0, height)),
                    static_cast<int16_t>(std::clamp<int>(r.left, 0, width)),
                    static_cast<int16_t>(std::clamp<int>(r.bottom, 0, height)),
                    static_cast<int16_t>(std::clamp<int>(r.right, 0, width)));
}

} // namespace

int AlignByCentroidSteps(const CentroidSearchClip& clip)
{
    for (int step = 0; step < kMaxCentroidSteps; ++step) {
        Point deltas[3];
        if (!clip.measure(deltas))
            break;
        if (deltas[0] == Point{} && deltas[1] == Point{} && deltas[2] == Point{})
            break;
        clip.apply(deltas);
        if (clip.runStatus() > 1)
            break;
    }
    return clip.runStatus();
}

void AutoAlignFramesByCentroid()
{
    FrameLease lease = LeaseAlignmentReference(false);
    if (!lease)
        return;
    sBounds = gOperationBoundsRect;
    sThreshold = gAlignmentBrightnessThreshold;
    sSeparate = gAlignChannelsSeparately;
    if (sSeparate)
        CalculateRGBCentroids(*lease, sBounds, sThreshold, sRefRedCentroid, sRefGreenCentroid, sRefBlueCentroid);
    else
        CalculateValueCentroid(*lease, sBounds, sThreshold, sRefValueCentroid);
    lease.reset();
    (void)RunThreadedFrameProc(&Thread_AutoAlignFramesByCentroid, &Thread_AutoAlignFramesByCentroidFinal, 0); // reports its own refusals
}

Point DetermineAlignmentByCentroid(const GWorldWrapper& image, Rect rect, Point firstCentroid, Point offset)
{
    const int width = image.Width(), height = image.Height();
    Rect r = Moved(rect, offset.v, offset.h);
    if (r.left < 0)
        r = Moved(r, 0, -r.left);
    else if (r.right > width)
        r = Moved(r, 0, width - r.right);
    if (r.top < 0)
        r = Moved(r, -r.top, 0);
    else if (r.bottom > height)
        r = Moved(r, height - r.bottom, 0);

    Point p = Add(firstCentroid, offset);
    bool leftFixed = false;
    for (int step = 0; step < kMaxCentroidSteps; ++step) {
        Point c;
        CalculateValueCentroid(image, InsideImage(r, width, height), 0, c);
        if (c == p)
            break;
        r = Moved(r, c.v - p.v, c.h - p.h);
        p = c;
        if (r.left < 0) {
            r = Moved(r, 0, -r.left);
            leftFixed = true;
            break;
        }
        if (r.right > width || r.top < 0 || r.bottom > height)
            break;
    }
    if (!leftFixed && r.right > width)
        r = Moved(r, 0, width - r.right);
    if (r.top < 0)
        r = Moved(r, -r.top, 0);
    else if (r.bottom > height)
        r = Moved(r, height - r.bottom, 0);
    return MakePoint(static_cast<int16_t>(r.top - rect.top), static_cast<int16_t>(r.left - rect.left));
}
