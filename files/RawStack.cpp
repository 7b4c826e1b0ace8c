// files/RawStack.cpp: raw files of the summed stack.
#include "files/RawStack.h"

#include <new>
#include <string>
#include <vector>

#include "files/FITSStack.h"
#include "files/ReplacingSave.h"
#include "files/StackDocument.h"
#include "files/StackPlanes.h"
#include "platform/core/StandardAlerts.h"
#include "platform/core/UserInteraction.h"

const char* const kRawSizeErrorTitle = "File Size Error";
const char* const kRawSizeErrorMessage = "The file size that would result from the parameters you specified does not "
                                         "fit the size of the actual file.  Sorry.";

namespace {

constexpr const char* kRawSaveTitle = "Save Raw";

std::size_t StackPixels(const StackDocument& doc)
{
    return static_cast<std::size_t>(doc.StackWidth()) * static_cast<std::size_t>(doc.StackHeight());
}

} // namespace

RawReadResult OpenRAWFile(StackDocument& doc, const std::filesystem::path& file, const RawImportParams& params)
{
    std::vector<uint8_t> bytes;
    const RawReadResult read = ReadRawFile(file, params, bytes);
    switch (read) {
    case RawReadResult::ok:
        break;
    case RawReadResult::wrongSize:
        DoStandardAlertNoCancel(kAlertStop, kRawSizeErrorTitle, kRawSizeErrorMessage);
        return read;
    case RawReadResult::outOfMemory:
        DoNotEnougMemoryForOperationDialog();
        return read;
    case RawReadResult::cannotOpen:
    case RawReadResult::readFailed:
        return read; // the program never reported these; the document is untouched
    }

    const Rect previous = doc.ImageDim();
    const Rect size = MakeRect(0, 0, params.height, params.width);
    const bool clipless = doc.ClipCount() == 0;
    if (!clipless && previous != size) {
        // Clips all share the document's size; a stack of another size would
        // not belong to them.
        SysBeep();
        return RawReadResult::wrongSize;
    }
    doc.SetImageDim(size);
    if (!doc.CreateInitialStack() || !doc.HasStack() || doc.StackWidth() != params.width ||
        doc.StackHeight() != params.height) {
        doc.SetImageDim(previous);
        return RawReadResult::readFailed;
    }
    if (clipless)
        doc.FollowNewImageDim();
    // Cannot fail: the length was checked against the same params.
    (void)DecodeRawSamples(bytes.data(), bytes.size(), params, doc.Plane(0), doc.Plane(1), doc.Plane(2));
    doc.ProjectStack();
    return RawReadResult::ok;
}

int32_t RawStackMaxValue(StackDocument& doc)
{
    if (!doc.HasStack())
        return 0;
    return LargestPlaneValue(doc.Plane(0), doc.Plane(1), doc.Plane(2), StackPixels(doc));
}

bool PutRawToFile(const uint8_t* bytes, std::size_t count, const std::filesystem::path& target)
{
    if (WriteFileReplacing(target, bytes, count))
        return true;
    DoStandardAlertNoCancel(kAlertStop, kSaveErrorTitle, kSaveErrorMessage);
    return false;
}

bool SaveRAWFile(StackDocument& doc, const RawExportParams& params, const std::filesystem::path& target)
{
    if (!doc.HasStack()) {
        SysBeep();
        return false;
    }
    std::vector<uint8_t> bytes;
    try {
        bytes = EncodeRawSamples(doc.Plane(0), doc.Plane(1), doc.Plane(2), doc.StackWidth(), doc.StackHeight(),
                                 RawStackMaxValue(doc), params);
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
        return false;
    }
    return PutRawToFile(bytes.data(), bytes.size(), target);
}

bool SaveRAWFile(StackDocument& doc, const RawExportParams& params)
{
    if (!doc.HasStack()) {
        SysBeep();
        return false;
    }
    const std::string target = ChooseFileToSave(kRawSaveTitle, std::string());
    if (target.empty())
        return false;
    return SaveRAWFile(doc, params, target);
}

RawReadResult OpenRAWFile(const std::filesystem::path& file, const RawImportParams& params)
{
    return OpenRAWFile(TheStackDocument(), file, params);
}

bool SaveRAWFile(const RawExportParams& params)
{
    return SaveRAWFile(TheStackDocument(), params);
}
