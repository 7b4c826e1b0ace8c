// engine/MedianFilterClipsInterface.cpp: the median-filter dialog.
#include "engine/MedianFilterClipsInterface.h"

#include <string>

#include "shell/DialogPointers.h"
#include "shell/EditTextValidation.h"
#include "platform/qt/Controls.h"

MedianFilterClipsInterface::MedianFilterClipsInterface() : ClipSettingDialog("MedianFilterClips")
{
    const MedianFilterClipsParams& last = Remembered();
    ClampEditTextIntegerWhileTyping(*this, kMedianThresholdText, kMedianThresholdMin, kMedianThresholdMax);
    control(kMedianRadiusMenu).SetValue(last.radius);
    control(kMedianMethodRadios).SetValue(last.method + 1);
    control(kMedianThresholdText).SetText(std::to_string(last.threshold));
    OpeningDone();
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

MedianFilterClipsInterface*& MedianFilterClipsInterface::GlobalPointer()
{
    return gMedianFilterClipsInterface;
}

bool MedianFilterClipsInterface::Run(const MedianFilterClipsParams& params, int tempSelection)
{
    return MedianFilterClips(params, tempSelection);
}

void OpenMedianFilterClipsDialog()
{
    MedianFilterClipsInterface::Open();
}

MedianFilterClipsParams LastMedianFilterClipsSettings()
{
    return MedianFilterClipsInterface::Remembered();
}

void ResetMedianFilterClipsSettingsForTesting()
{
    MedianFilterClipsInterface::Remembered() = MedianFilterClipsParams{};
}
