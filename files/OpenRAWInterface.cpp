// files/OpenRAWInterface.cpp: the Open Raw dialog and its command.
#include "files/OpenRAWInterface.h"

#include <new>

#include "shell/DialogPointers.h"
#include "files/FileChoosers.h"
#include "files/RawStack.h"
#include "platform/core/ByteOrder.h"
#include "platform/core/StandardAlerts.h"
#include "platform/qt/Controls.h"

OpenRAWInterface::OpenRAWInterface(const std::filesystem::path& file) : DialogInterface("OpenRAW"), mFile(file)
{
    // Most raw files come from programs on this machine: offer its order.
    if (!BigEndianSystem())
        control(kOpenRawByteOrderPopup).SetValue(2);
}

OpenRAWInterface::~OpenRAWInterface()
{
    ClearGlobalPointer();
}

RawImportParams OpenRAWInterface::Params() const
{
    RawImportParams params;
    params.width = getEditableTextInt(kControlSignature, kOpenRawWidthText);
    params.height = getEditableTextInt(kControlSignature, kOpenRawHeightText);
    switch (control(kOpenRawSampleSizePopup).Value()) {
    case 1:
        params.sampleBytes = 1;
        break;
    case 2:
        params.sampleBytes = 2;
        break;
    case 3:
        params.sampleBytes = 4;
        break;
    default:
        params.sampleBytes = 0;
        break;
    }
    params.bigEndian = control(kOpenRawByteOrderPopup).Value() == 1;
    params.interleaved = control(kOpenRawInterleavedCheckbox).Value() != 0;
    return params;
}

void OpenRAWInterface::commit()
{
    (void)OpenRAWFile(mFile, Params());
}

void OpenRAWInterface::ClearGlobalPointer()
{
    if (gOpenRAWInterface == this)
        gOpenRAWInterface = nullptr;
}

void OpenRawAsStack()
{
    std::filesystem::path file;
    if (GetOneFileWithPreview(0, nullptr, &file) != kNoErr)
        return;
    try {
        gOpenRAWInterface = new OpenRAWInterface(file);
    } catch (const std::bad_alloc&) {
        gOpenRAWInterface = nullptr;
        DoNotEnougMemoryForOperationDialog();
    }
}
