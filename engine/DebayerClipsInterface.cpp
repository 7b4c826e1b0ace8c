// engine/DebayerClipsInterface.cpp: the debayer dialog.
#include "engine/DebayerClipsInterface.h"

#include "shell/DialogPointers.h"
#include "engine/ClipSettingDialogs.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "engine/Selection.h"
#include "platform/qt/Controls.h"

namespace {

// The settings last taken with OK, kept for the life of the program, and the
// clip under the mouse when the dialog opened.
BayerPattern sBayerPattern = kBayerGRBG;
DebayerMethod sDebayerMethod = kDebayerLaplacian;
bool sMatchBayerToRef = false;
int sTempSelectionIndex = -1;

} // namespace

DebayerClipsInterface::DebayerClipsInterface() : DialogInterface("DebayerClips")
{
    setIgnoreEvents(true);
    sTempSelectionIndex = gTempSelectionIndex;
    // Matching needs a reference that is itself debayered.
    const Frame* reference = FrameAt(0);
    const bool canMatch = reference && reference->GetDebayerized();
    ControlHandle withMatch = control(kDebayerPatternMenuWithMatch);
    ControlHandle patterns = control(kDebayerPatternMenu);
    withMatch.SetShown(canMatch);
    withMatch.SetEnabled(canMatch);
    patterns.SetShown(!canMatch);
    patterns.SetEnabled(!canMatch);
    withMatch.SetValue(sMatchBayerToRef ? kDebayerMatchItem : sBayerPattern + 1);
    patterns.SetValue(sBayerPattern + 1);
    control(kDebayerMethodMenu).SetValue(sDebayerMethod + 1);
    setIgnoreEvents(false);
}

DebayerClipsInterface::~DebayerClipsInterface()
{
    ClearGlobalPointer();
}

DebayerClipsParams DebayerClipsInterface::Params() const
{
    DebayerClipsParams params;
    params.pattern = sBayerPattern;
    const ControlHandle withMatch = control(kDebayerPatternMenuWithMatch);
    const int item = withMatch.IsShown() ? withMatch.Value() : control(kDebayerPatternMenu).Value();
    if (item >= 1 && item <= 4)
        params.pattern = item - 1;
    params.matchToReference = item == kDebayerMatchItem;
    params.method = control(kDebayerMethodMenu).Value() - 1;
    return params;
}

void DebayerClipsInterface::commit()
{
    const DebayerClipsParams params = Params();
    sBayerPattern = params.pattern;
    sMatchBayerToRef = params.matchToReference;
    sDebayerMethod = params.method;
    (void)DebayerClips(params, sTempSelectionIndex); // reports its own refusals
}

void DebayerClipsInterface::ClearGlobalPointer()
{
    if (gDebayerClipsInterface == this)
        gDebayerClipsInterface = nullptr;
}

void OpenDebayerClipsDialog()
{
    OpenClipSettingDialog(gDebayerClipsInterface);
}

DebayerClipsParams LastDebayerClipsSettings()
{
    DebayerClipsParams params;
    params.pattern = sBayerPattern;
    params.method = sDebayerMethod;
    params.matchToReference = sMatchBayerToRef;
    return params;
}

void ResetDebayerClipsSettingsForTesting()
{
    sBayerPattern = kBayerGRBG;
    sDebayerMethod = kDebayerLaplacian;
    sMatchBayerToRef = false;
}
