// files/PictOutput.cpp: saving the stack as a picture file and dumping clips.
#include "files/PictOutput.h"

#include <memory>
#include <new>
#include <vector>

#include <QCoreApplication>
#include <QEventLoop>

#include "shell/PascalStrings.h"
#include "shell/WorkingDialog.h"
#include "engine/FrameList.h"
#include "engine/SummedStack.h"
#include "files/FITSStack.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/PictCodec.h"
#include "platform/core/PictFile.h"
#include "platform/core/StandardAlerts.h"
#include "platform/core/UserInteraction.h"

namespace {

// Longest file name the file systems take, in bytes.
constexpr std::size_t kMaxFileNameBytes = 255;

void ShowSaveError()
{
    DoStandardAlertNoCancel(kAlertStop, kSaveErrorTitle, kSaveErrorMessage);
}

// The longest prefix of text of at most limit bytes that ends on a UTF-8
// character boundary.
std::string CutAtCharacter(const std::string& text, std::size_t limit)
{
    if (text.size() <= limit)
        return text;
    std::size_t end = limit;
    // Continuation bytes are 10xxxxxx: step back to the start of that character.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

} // namespace

bool SaveStackAsPict()
{
    if (!gFrameStack)
        return false;
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::kSaveFile;
    request.nameFilters = {"PICT files (*.pict *.pct)", "All files (*)"};
    const std::vector<std::string> chosen = GetUserInteraction().RunFileDialog(request);
    if (chosen.empty())
        return false;
    PictFileStatus status = PictFileStatus::writeFailed;
    try {
        status = WritePictFile(chosen.front(), *gFrameStack, PictWriteMode::replaceExisting);
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
        return false;
    }
    if (status != PictFileStatus::ok) {
        ShowSaveError();
        return false;
    }
    return true;
}

std::string DumpFileName(const std::string& base, int clipNumber)
{
    std::string suffix = std::to_string(clipNumber);
    suffix.insert(suffix.begin(), '-');
    std::string safe = base;
    for (char& c : safe)
        if (c == '/' || c == '\0')
            c = '_';
    return CutAtCharacter(safe, kMaxFileNameBytes - suffix.size()) + suffix;
}

DumpOutcome DumpClips(const std::string& folder, const std::string& base, bool allClips,
                      const std::function<void(int handled)>& progress)
{
    DumpOutcome outcome;
    int handled = 0;
    for (std::size_t i = 0; i < gFrames.size(); ++i) {
        Frame& frame = *gFrames[i];
        if (!allClips && !frame.GetSumStackIncluded())
            continue;
        if (progress)
            progress(handled);
        ++handled;
        const std::string path = folder + "/" + DumpFileName(base, static_cast<int>(i) + 1);
        bool ok = false;
        try {
            // The rendered image: a swapped-out clip comes back, a dirty one is rendered.
            FrameLease image = frame.GetModified(true);
            ok = image && WritePictFile(path, *image, PictWriteMode::replaceExisting) == PictFileStatus::ok;
        } catch (const std::bad_alloc&) {
            ok = false; // the render's step has shown the out-of-memory alert
        }
        if (ok)
            ++outcome.written;
        else
            ++outcome.failed;
    }
    return outcome;
}

void DumpWorkspace(bool allClips, const std::string& base)
{
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::kChooseFolder;
    const std::vector<std::string> chosen = GetUserInteraction().RunFileDialog(request);
    if (chosen.empty())
        return;
    int count = 0;
    for (const auto& frame : gFrames)
        if (allClips || frame->GetSumStackIncluded())
            ++count;
    // A progress window without Cancel; between clips only non-input events
    // (repaints) are let through.
    std::unique_ptr<WorkingDialog> working;
    if (!gWorkingDialog) {
        working = std::make_unique<WorkingDialog>(count, false, false);
        gWorkingDialog = working.get();
    }
    const DumpOutcome outcome = DumpClips(chosen.front(), base, allClips, [](int handled) {
        if (gWorkingDialog)
            gWorkingDialog->DrawWorkingDialogProgressBar(handled);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
    if (working && gWorkingDialog == working.get())
        gWorkingDialog = nullptr;
    working.reset();
    if (outcome.failed > 0)
        ShowSaveError();
}

std::string DumpEstimateText(int64_t clips, int64_t pictureSize, int width, int height)
{
    const int64_t bytes = clips * (pictureSize + 31) + static_cast<int64_t>(width) * height;
    return FloatToString(static_cast<double>(bytes) / 1000000.0, 1);
}

int64_t DumpPictureSize()
{
    if (gFrames.empty())
        return 0;
    FrameLease original = gFrames.front()->GetOriginal();
    if (!original)
        return 0;
    std::vector<uint8_t> picture;
    try {
        if (EncodePict(*original, picture) != PictStatus::ok)
            return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return static_cast<int64_t>(picture.size());
}
