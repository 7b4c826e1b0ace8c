// engine/ClipSettingDialogs.cpp: the keys of the batch clip dialogs.
#include "engine/ClipSettingDialogs.h"

#include "shell/InputActions.h"
#include "engine/DebayerClips.h"
#include "engine/DebayerClipsInterface.h"
#include "engine/MedianFilterClipsInterface.h"
#include "engine/NormalizeClipsInterface.h"

void InstallClipSettingDialogs()
{
    InputActions& a = GetInputActions();
    a.unDebayer = [] { UnDebayer(); };
    a.openDebayerDialog = [] { OpenDebayerClipsDialog(); };
    a.openMedianFilterDialog = [] { OpenMedianFilterClipsDialog(); };
    a.openNormalizeDialog = [] { OpenNormalizeClipsDialog(); };
}
