// engine/NormalizeClipsInterface.cpp: the normalise dialog.
#include "engine/NormalizeClipsInterface.h"

#include "shell/DialogPointers.h"
#include "shell/EditTextValidation.h"
#include "engine/ClipSettingDialogs.h"
#include "engine/Selection.h"
#include "platform/qt/Controls.h"

namespace {

// The clip under the mouse when the dialog opened: the job's clip when
// nothing is selected persistently. The settings themselves are read from the
// dialog each time.
int sTempSelectionIndex = -1;

} // namespace

NormalizeClipsInterface::NormalizeClipsInterface() : DialogInterface("NormalizeClips")
{
    setIgnoreEvents(true);
    sTempSelectionIndex = gTempSelectionIndex;
    ClampEditTextIntegerWhileTyping(*this, kNormalizeGoalText, kNormalizeGoalMin, kNormalizeGoalMax);
    // The goal always starts at the top of the range; the method keeps the
    // form's choice.
    control(kNormalizeGoalText).SetText(std::to_string(kNormalizeGoalDefault));
    setIgnoreEvents(false);
}

NormalizeClipsInterface::~NormalizeClipsInterface()
{
    ClearGlobalPointer();
}

int NormalizeClipsInterface::getMethodFromRadioButtons() const
{
    return control(kNormalizeMethodRadios).Value() - 1;
}

NormalizeClipsParams NormalizeClipsInterface::Params() const
{
    NormalizeClipsParams params;
    params.goalValue = getEditableTextInt(kControlSignature, kNormalizeGoalText);
    params.method = getMethodFromRadioButtons();
    return params;
}

void NormalizeClipsInterface::commit()
{
    (void)NormalizeClips(Params(), sTempSelectionIndex); // reports its own refusals
}

void NormalizeClipsInterface::ClearGlobalPointer()
{
    if (gNormalizeClipsInterface == this)
        gNormalizeClipsInterface = nullptr;
}

void OpenNormalizeClipsDialog()
{
    OpenClipSettingDialog(gNormalizeClipsInterface);
}
