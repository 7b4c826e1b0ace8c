// engine/DebayerClipsInterface.cpp: the debayer dialog.
#include "engine/DebayerClipsInterface.h"

#include "shell/DialogPointers.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "platform/qt/Controls.h"

DebayerClipsInterface::DebayerClipsInterface() : ClipSettingDialog("DebayerClips")
{
    const DebayerClipsParams& last = Remembered();
    // Matching needs a reference that is itself debayered.
    const Frame* reference = FrameAt(0);
    const bool canMatch = reference && reference->GetDebayerized();
    ControlHandle withMatch = control(kDebayerPatternMenuWithMatch);
    ControlHandle patterns = control(kDebayerPatternMenu);
    withMatch.SetShown(canMatch);
    withMatch.SetEnabled(canMatch);
    patterns.SetShown(!canMatch);
    patterns.SetEnabled(!canMatch);
    withMatch.SetValue(last.matchToReference ? kDebayerMatchItem : last.pattern + 1);
    patterns.SetValue(last.pattern + 1);
    control(kDebayerMethodMenu).SetValue(last.method + 1);
    OpeningDone();
}

DebayerClipsInterface::~DebayerClipsInterface()
{
    ClearGlobalPointer();
}

DebayerClipsParams DebayerClipsInterface::Params() const
{
    DebayerClipsParams params;
    params.pattern = Remembered().pattern;
    const ControlHandle withMatch = control(kDebayerPatternMenuWithMatch);
    const int item = withMatch.IsShown() ? withMatch.Value() : control(kDebayerPatternMenu).Value();
    if (item >= 1 && item <= 4)
        params.pattern = item - 1;
    params.matchToReference = item == kDebayerMatchItem;
    params.method = control(kDebayerMethodMenu).Value() - 1;
    return params;
}

DebayerClipsInterface*& DebayerClipsInterface::GlobalPointer()
{
    return gDebayerClipsInterface;
}

bool DebayerClipsInterface::Run(const DebayerClipsParams& params, int tempSelection)
{
    return DebayerClips(params, tempSelection);
}

void OpenDebayerClipsDialog()
{
    DebayerClipsInterface::Open();
}

DebayerClipsParams LastDebayerClipsSettings()
{
    return DebayerClipsInterface::Remembered();
}

void ResetDebayerClipsSettingsForTesting()
{
    DebayerClipsInterface::Remembered() = DebayerClipsParams{};
}
