// engine/ClipSettingJobs.h: the jobs of the normalise and median-filter
// dialogs: each gives the selected clips new render settings and renders them.
#pragma once

class GWorldWrapper;

// ---- Normalisation ----

inline constexpr int kNormalizeGoalMin = 0;
inline constexpr int kNormalizeGoalMax = 255;
inline constexpr int kNormalizeGoalDefault = 255;
// Methods: the largest red, green or blue component reaches the goal, or the
// mean pixel value does, or the clip loses its factor.
inline constexpr int kNormalizeByPeak = 0;
inline constexpr int kNormalizeByMean = 1;
inline constexpr int kNormalizeNone = 2;

struct NormalizeClipsParams {
    int goalValue = kNormalizeGoalDefault; // kNormalizeGoalMin .. kNormalizeGoalMax
    int method = kNormalizeByPeak;         // kNormalizeNone, kNormalizeByMean; anything else is by peak
};

// The factor a clip whose original image is original gets: 1.0 for
// kNormalizeNone and for an image the goal cannot be measured on (all black),
// else CalculateNormalizationFactor(original, goal, method). The factor is
// measured on the original, so it does not depend on calibration, alignment
// or an earlier factor. Any thread.
double ClipNormalizationFactor(const GWorldWrapper& original, const NormalizeClipsParams& params);

// Starts the job that stores ClipNormalizationFactor in each selected clip
// (the persistent selection, or without one the clip tempSelection) and
// renders it; at its end the summed stack is discarded and the clips window
// and frame inspector redrawn. The goal is clamped to its range first.
// Returns whether the job started (RunThreadedFrameProc reports refusals).
// Main thread only.
[[nodiscard]] bool NormalizeClips(NormalizeClipsParams params, int tempSelection);

// ---- Median filter ----

inline constexpr int kMedianThresholdMin = 0;
inline constexpr int kMedianThresholdMax = 256; // 256 filters every pixel; 0 switches the filter off
inline constexpr int kMedianAbsolute = 0;
inline constexpr int kMedianRelative = 1;

struct MedianFilterClipsParams {
    int radius = 1;               // 1 .. kMedianFilterMaxRadius
    int method = kMedianAbsolute; // kMedianRelative adds threshold to each clip's own
    int threshold = 0;            // kMedianThresholdMin .. kMedianThresholdMax
};

// The threshold a clip whose threshold is current gets: params.threshold, or
// with the relative method current + params.threshold; clamped to
// kMedianThresholdMin .. kMedianThresholdMax.
int ClipMedianFilterThreshold(int current, const MedianFilterClipsParams& params);

// Starts the job that gives each selected clip (as NormalizeClips) the median
// filter (radius, ClipMedianFilterThreshold) and renders it; the same end.
// Radius and threshold are clamped to their ranges first. Main thread only.
[[nodiscard]] bool MedianFilterClips(MedianFilterClipsParams params, int tempSelection);

// The end every clip-settings job shares (main thread, as its final
// procedure): the summed stack discarded, the clips window and the frame
// inspector redrawn.
void FinishClipSettingsJob();
