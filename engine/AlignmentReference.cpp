// engine/AlignmentReference.cpp: the shared start of the alignment commands.
#include "engine/AlignmentReference.h"

#include "app/Alerts.h"
#include "app/OperationBoundsRect.h"
#include "engine/AlignByDifference.h"
#include "engine/AlignmentThreshold.h"
#include "engine/ClipCommandGate.h"
#include "engine/FrameList.h"
#include "engine/Selection.h"
#include "platform/core/StandardAlerts.h"
#include "platform/core/UserInteraction.h"

FrameLease LeaseAlignmentReference(bool checkWidth)
{
    if (RefuseClipChange())
        return FrameLease();
    if (checkWidth && !VerifyImageWidth(nullptr, false))
        return FrameLease();
    if (gTempSelectionIndex < 1 && gPersistantSelectionIndices.empty()) {
        SysBeep(); // nothing to align but the reference itself
        return FrameLease();
    }
    if (!OperationBoundsRectExists()) {
        SysBeep();
        return FrameLease();
    }
    Frame* reference = FrameAt(0);
    if (!reference)
        return FrameLease();
    FrameLease lease = reference->GetModified(true);
    if (!lease)
        DoNotEnougMemoryForOperationDialog();
    return lease;
}

bool ReferenceReachesThreshold(const GWorldWrapper& reference, long counts[4])
{
    CountReferencePixels(reference, gOperationBoundsRect, gAlignmentBrightnessThreshold, counts);
    if (counts[0] == 0) {
        SysBeep();
        return false;
    }
    return true;
}
