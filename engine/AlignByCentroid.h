// engine/AlignByCentroid.h: moving clips onto the reference clip (clip 0)
// until their brightness centroids inside the operation bounds rectangle
// coincide, and the centroid tracker that follows a target from one movie
// frame to the next.
#pragma once

#include <functional>

#include "platform/core/Geometry.h"

class GWorldWrapper;

// A clip is moved at most this many times per alignment.
constexpr int kMaxCentroidSteps = 20;

// What the centroid steps need of the clip being aligned. measure fills the
// three deltas (reference centroid minus the clip's, red, green, blue; all
// three the same when the channels move together) and returns false when the
// clip cannot be measured; apply adds them to the channels' offsets and
// renders the clip; runStatus is the job's status.
struct CentroidSearchClip {
    std::function<bool(Point deltas[3])> measure;
    std::function<void(const Point deltas[3])> apply;
    std::function<int()> runStatus;
};

// Up to kMaxCentroidSteps measure-and-apply steps, stopping when every delta
// is (0, 0) or the clip cannot be measured. Returns the run status.
int AlignByCentroidSteps(const CentroidSearchClip& clip);

// Aligns the selected clips (never clip 0) to clip 0 by the centroid of the
// pixel value (or of red, green and blue alone with gAlignChannelsSeparately)
// of pixels at or above gAlignmentBrightnessThreshold inside the bounds
// rectangle. Refused with a beep while a job runs or a dialog reads the
// clips, with no clip other than clip 0 under the mouse and no persistent
// selection, and without a bounds rectangle; the out-of-memory alert when
// clip 0 cannot be had. Runs on gNumThreads workers; the final discards the
// summed stack.
void AutoAlignFramesByCentroid();

// The movie dialog's tracker. rect is the target's rectangle on the first
// frame, firstCentroid the target's value centroid there (threshold 0) and
// offset the result for the previous frame. Follows the centroid (threshold
// 0) up to kMaxCentroidSteps times with the rectangle kept inside image (a
// rectangle larger than the image is measured where it overlaps it) and
// returns the new offset of the rectangle's top-left corner.
Point DetermineAlignmentByCentroid(const GWorldWrapper& image, Rect rect, Point firstCentroid, Point offset);
