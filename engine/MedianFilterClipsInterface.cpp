// engine/MedianFilterClipsInterface.cpp: the median-filter dialog.
#include "engine/MedianFilterClipsInterface.h"

#include <string>

#include "shell/DialogPointers.h"
#include "shell/EditTextValidation.h"
#include "engine/ClipSettingDialogs.h"
#include "engine/Selection.h"
#include "platform/qt/Controls.h"

namespace {

// The settings last taken with OK, kept for the life of the program, and the
// clip under the mouse when the dialog opened.
int sMedianFilterRadius = 1;
int sMedianFilterMethod = kMedianAbsolute;
int sMedianFilterThreshold = 0;
int sTempSelectionIndex = -1;

} // namespace

MedianFilterClipsInterface::MedianFilterClipsInterface() : DialogInterface("MedianFilterClips")
{
    setIgnoreEvents(true);
    sTempSelectionIndex = gTempSelectionIndex;
    ClampEditTextIntegerWhileTyping(*this, kMedianThresholdText, kMedianThresholdMin, kMedianThresholdMax);
    control(kMedianRadiusMenu).SetValue(sMedianFilterRadius);
    control(kMedianMethodRadios).SetValue(sMedianFilterMethod + 1);
    control(kMedianThresholdText).SetText(std::to_string(sMedianFilterThreshold));
    setIgnoreEvents(false);
}

MedianFilterClipsInterface::~MedianFilterClipsInterface()
{
    ClearGlobalPointer();
}

MedianFilterClipsParams MedianFilterClipsInterface::Params() const
{
    MedianFilterClipsParams params;
    params.radius = control(kMedianRadiusMenu).Value();
    params.method = control(kMedianMethodRadios).Value() - 1;
    params.threshold = getEditableTextInt(kControlSignature, kMedianThresholdText);
    return params;
}

void MedianFilterClipsInterface::commit()
{
    const MedianFilterClipsParams params = Params();
    sMedianFilterRadius = params.radius;
    sMedianFilterMethod = params.method;
    sMedianFilterThreshold = params.threshold;
    (void)MedianFilterClips(params, sTempSelectionIndex); // reports its own refusals
}

void MedianFilterClipsInterface::ClearGlobalPointer()
{
    if (gMedianFilterClipsInterface == this)
        gMedianFilterClipsInterface = nullptr;
}

void OpenMedianFilterClipsDialog()
{
    OpenClipSettingDialog(gMedianFilterClipsInterface);
}

MedianFilterClipsParams LastMedianFilterClipsSettings()
{
    MedianFilterClipsParams params;
    params.radius = sMedianFilterRadius;
    params.method = sMedianFilterMethod;
    params.threshold = sMedianFilterThreshold;
    return params;
}

void ResetMedianFilterClipsSettingsForTesting()
{
    sMedianFilterRadius = 1;
    sMedianFilterMethod = kMedianAbsolute;
    sMedianFilterThreshold = 0;
}
