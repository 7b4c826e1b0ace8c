// shell/Alerts.cpp: the image-width rule and the display gate.
#include "shell/Alerts.h"

#include "shell/DialogPointers.h"
#include "shell/ImageDim.h"

// Word for word, including the platform name: users and the documentation quote it.
const char* const kImageWidthWarningTitle = "Maximum Image Size Warning";
const char* const kImageWidthErrorTitle = "Maximum Image Size Error";
const char* const kImageWidthMessage =
    "Apple's QuickDraw PixMap structure cannot accommodate images greater than 4091 pixels wide.  Most "
    "operations, including stacking, will not work without cropping or resampling the images to that width "
    "first.  Please see the README and documentation for more information.  Sorry.";

bool DoImageWidthAlert(bool isWarning)
{
    if (isWarning)
        return DoStandardAlert(kAlertPlain, kImageWidthWarningTitle, kImageWidthMessage, "Continue", "Cancel");
    DoStandardAlertNoCancel(kAlertPlain, kImageWidthErrorTitle, kImageWidthMessage);
    return false;
}

bool VerifyImageWidth(const Rect* rect, bool isWarning)
{
    const Rect& r = rect ? *rect : gImageDim;
    if (r.right <= kMaxImageWidth)
        return true;
    return DoImageWidthAlert(isWarning);
}

bool VerifyFrameWidth(int width, int height)
{
    const Rect frame = MakeRect(0, 0, height, width);
    return VerifyImageWidth(&frame, true);
}

bool permitClipUpdates()
{
    return !gOpenFITSToStackInterface && !gSaveFITSInterface && !gOpenRAWInterface && !gSaveRAWInterface &&
           !gSaveWorkspaceInterface && !gDumpWorkspaceInterface && !gCreateHotPixelMaskInterface &&
           !gSetAlignBrightThresholdInterface && !gNormalizeClipsInterface && !gMedianFilterClipsInterface &&
           !gDebayerClipsInterface && !gHistogramLevelsInterface && !gGaussianBlurInterface &&
           !gUnsharpMaskInterface && !gLaplacianPyramidInterface && !gStarBeautificationInterface &&
           !gFTEditorInterface && !gWaveletThresholdInterface;
}
