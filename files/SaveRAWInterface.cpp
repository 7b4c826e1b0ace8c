// files/SaveRAWInterface.cpp: the Save Raw dialog.
#include "files/SaveRAWInterface.h"

#include <string>

#include "shell/DialogPointers.h"
#include "files/RawStack.h"
#include "files/StackDocument.h"
#include "platform/core/ByteOrder.h"
#include "platform/qt/Controls.h"

const char* const kSaveRawSixteenBitNotice =
    "The stack holds values above 65535: they are saved as 32-bit samples unless projected into 16 bits.";

SaveRAWInterface::SaveRAWInterface() : DialogInterface("SaveRAW")
{
    StackDocument& doc = TheStackDocument();
    mMaxValue = RawStackMaxValue(doc);
    QWidget* w = window();
    const bool haveStack = doc.HasStack();
    GetControlByID(w, kSaveRawTextSignature, kSaveRawWidthText)
        .SetText(std::to_string(haveStack ? doc.StackWidth() : 0));
    GetControlByID(w, kSaveRawTextSignature, kSaveRawHeightText)
        .SetText(std::to_string(haveStack ? doc.StackHeight() : 0));
    if (!BigEndianSystem())
        GetControlByID(w, kSaveRawTextSignature, kSaveRawByteOrderText).SetText("Little");
    if (mMaxValue > 65535) {
        GetControlByID(w, kSaveRawTextSignature, kSaveRawSampleBitsText).SetText("32");
        GetControlByID(w, kSaveRawNoticeSignature, kSaveRawNoticeText).SetText(kSaveRawSixteenBitNotice);
    }
}

SaveRAWInterface::~SaveRAWInterface()
{
    ClearGlobalPointer();
}

bool SaveRAWInterface::HandleDialogItemHit(int id, bool& done)
{
    if (id == kSaveRawYesNoCheckbox) {
        const bool on = control(kSaveRawYesNoCheckbox).Value() != 0;
        GetControlByID(window(), kSaveRawTextSignature, kSaveRawWidthText).SetText(on ? "Yes" : "No");
        return true;
    }
    return DialogInterface::HandleDialogItemHit(id, done);
}

RawExportParams SaveRAWInterface::Params() const
{
    RawExportParams params;
    params.project = control(kSaveRawProjectCheckbox).Value() != 0;
    params.interleaved = control(kSaveRawInterleavedCheckbox).Value() != 0;
    return params;
}

void SaveRAWInterface::commit()
{
    (void)SaveRAWFile(Params());
}

void SaveRAWInterface::ClearGlobalPointer()
{
    if (gSaveRAWInterface == this)
        gSaveRAWInterface = nullptr;
}
