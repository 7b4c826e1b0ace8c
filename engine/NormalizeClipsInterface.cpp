// engine/NormalizeClipsInterface.cpp: the normalise dialog.
#include "engine/NormalizeClipsInterface.h"

#include <string>

#include "shell/DialogPointers.h"
#include "shell/EditTextValidation.h"
#include "platform/qt/Controls.h"

NormalizeClipsInterface::NormalizeClipsInterface() : ClipSettingDialog("NormalizeClips")
{
    ClampEditTextIntegerWhileTyping(*this, kNormalizeGoalText, kNormalizeGoalMin, kNormalizeGoalMax);
    // The goal always starts at the top of the range; the method keeps the
    // form's choice.
    control(kNormalizeGoalText).SetText(std::to_string(kNormalizeGoalDefault));
    OpeningDone();
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

NormalizeClipsInterface*& NormalizeClipsInterface::GlobalPointer()
{
    return gNormalizeClipsInterface;
}

bool NormalizeClipsInterface::Run(const NormalizeClipsParams& params, int tempSelection)
{
    return NormalizeClips(params, tempSelection);
}

void OpenNormalizeClipsDialog()
{
    NormalizeClipsInterface::Open();
}
