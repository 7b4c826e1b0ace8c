// engine/ClipSettingJobs.cpp: the normalise and median-filter jobs.
#include "engine/ClipSettingJobs.h"

#include <algorithm>

#include "engine/ClipViewWindow.h"
#include "engine/ClipJobs.h"
#include "engine/ClipsWindow.h"
#include "engine/Frame.h"
#include "engine/SummedStack.h"
#include "imaging/MedianFilter.h"
#include "imaging/Measurements.h"

namespace {

// The workers get their settings by value when the job starts.
void Thread_NormalizeClips(const FrameJobRange& range, NormalizeClipsParams params)
{
    ForEachClipOfRange(range, [params](Frame& frame, int) {
        double factor = 1.0;
        if (params.method != kNormalizeNone) {
            const FrameLease original = frame.GetOriginal();
            if (!original)
                return true; // a clip that cannot come back keeps its factor
            factor = ClipNormalizationFactor(*original, params);
        }
        frame.SetNormalizationFactor(factor);
        (void)frame.UpdateFrame(false); // a clip that cannot come back renders when it next can
        return true;
    });
}

void Thread_MedianFilterClips(const FrameJobRange& range, MedianFilterClipsParams params)
{
    ForEachClipOfRange(range, [params](Frame& frame, int) {
        frame.SetMedianFilter(params.radius, ClipMedianFilterThreshold(frame.GetMedianFilterThreshold(), params));
        (void)frame.UpdateFrame(false);
        return true;
    });
}

} // namespace

double ClipNormalizationFactor(const GWorldWrapper& original, const NormalizeClipsParams& params)
{
    if (params.method == kNormalizeNone)
        return 1.0;
    const int mode = params.method == kNormalizeByMean ? 1 : 0;
    const double factor = CalculateNormalizationFactor(original, params.goalValue, mode);
    // A black clip has no peak or mean to scale: leave it unscaled rather
    // than store a division by zero.
    return factor >= 0.0 ? factor : 1.0;
}

bool NormalizeClips(NormalizeClipsParams params, int tempSelection)
{
    params.goalValue = std::clamp(params.goalValue, kNormalizeGoalMin, kNormalizeGoalMax);
    return RunThreadedFrameProc([params](const FrameJobRange& range) { Thread_NormalizeClips(range, params); },
                                &FinishClipSettingsJob, 0, tempSelection);
}

int ClipMedianFilterThreshold(int current, const MedianFilterClipsParams& params)
{
    const int threshold = params.method == kMedianRelative ? current + params.threshold : params.threshold;
    return std::clamp(threshold, kMedianThresholdMin, kMedianThresholdMax);
}

bool MedianFilterClips(MedianFilterClipsParams params, int tempSelection)
{
    params.radius = std::clamp(params.radius, 1, kMedianFilterMaxRadius);
    params.threshold = std::clamp(params.threshold, kMedianThresholdMin, kMedianThresholdMax);
    return RunThreadedFrameProc([params](const FrameJobRange& range) { Thread_MedianFilterClips(range, params); },
                                &FinishClipSettingsJob, 0, tempSelection);
}

void FinishClipSettingsJob()
{
    DeleteFrameStack();
    DrawClipsWindow();
    DrawFrameInspectorWindow();
}
