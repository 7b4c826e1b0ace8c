// files/Workspace.cpp: saving the document to a workspace file and replacing
// it by one, with the progress window and the alerts.
#include "files/Workspace.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include <QCoreApplication>
#include <QEventLoop>

#include "shell/Alerts.h"
#include "engine/ClipViewWindow.h"
#include "shell/MainWindowSet.h"
#include "shell/OperationBoundsRect.h"
#include "shell/ShellHooks.h"
#include "shell/WorkingDialog.h"
#include "engine/AlignmentThreshold.h"
#include "engine/CalibrationFrames.h"
#include "engine/CalibrationWindows.h"
#include "engine/ClipCommandGate.h"
#include "engine/ClipsWindow.h"
#include "engine/ClipsWindowLayout.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "shell/ImageDim.h"
#include "engine/MemoryPolicy.h"
#include "engine/Selection.h"
#include "engine/SummedStack.h"
#include "files/FITSStack.h"
#include "files/ImportedClips.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/PictCodec.h"
#include "platform/core/StandardAlerts.h"
#include "platform/core/UserInteraction.h"
#include "platform/qt/ShellWindow.h"

const char* const kWorkspaceErrorTitle = "Workspace Error";
const char* const kWorkspaceOlderVersionMessage =
    "The workspace file you are attempting to open was saved with an older version of Velmora.  It cannot be opened "
    "with this version of the program.  Sorry.";
const char* const kWorkspaceDamagedMessage =
    "The workspace file you are attempting to open is damaged or incomplete.  It cannot be opened, and the open "
    "document has not been changed.  Sorry.";
const char* const kWorkspaceUnreadableMessage =
    "The workspace file you are attempting to open could not be read.  The open document has not been changed.  "
    "Sorry.";
const char* const kWorkspaceNameFilter = "Workspaces (*.work)";
const char* const kWorkspaceEndedEarlyTitle = "Workspace Warning";

std::string WorkspaceEndedEarlyMessage(int clipsRead, int clipsInFile)
{
    return "The workspace file ended early, after " + std::to_string(clipsRead) + " of its " +
           std::to_string(clipsInFile) + " clips.  The clips before that point have been opened; the rest are lost.";
}

namespace {

// Largest radius of a hot-pixel mask (its dialog offers 0 to 3).
constexpr int kMaxHotPixelMaskRadius = 3;

// The progress window of a whole-document read or save: no Cancel; after
// each step the bar is redrawn and pending repaints are let through (input
// waits, so nothing can change the document meanwhile).
class DocumentProgress {
public:
    explicit DocumentProgress(int total)
    {
        if (gWorkingDialog)
            return; // someone else's window: stepped, never deleted
        try {
            mOwn = std::make_unique<WorkingDialog>(total, false, false);
            gWorkingDialog = mOwn.get();
        } catch (const std::bad_alloc&) {
            // The work goes on without a window.
        }
    }
    ~DocumentProgress()
    {
        if (mOwn && gWorkingDialog == mOwn.get())
            gWorkingDialog = nullptr;
    }
    DocumentProgress(const DocumentProgress&) = delete;
    DocumentProgress& operator=(const DocumentProgress&) = delete;

    void Step(int value)
    {
        if (gWorkingDialog)
            gWorkingDialog->DrawWorkingDialogProgressBar(value);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }

private:
    std::unique_ptr<WorkingDialog> mOwn;
};

bool Chosen(const Frame& frame, bool allFrames)
{
    return allFrames || frame.GetSumStackIncluded();
}

WorkspaceClipRecord RecordOf(const Frame& frame)
{
    WorkspaceClipRecord r;
    const FrameSettings s = frame.GetSettings();
    r.included = frame.GetSumStackIncluded();
    r.darkFrameSubtracted = s.darkFrameSubtracted;
    r.flatFrameDivided = s.flatFrameDivided;
    for (int c = 0; c < 3; ++c) {
        r.alignment[c][0] = s.alignment[c].h;
        r.alignment[c][1] = s.alignment[c].v;
    }
    r.normalization = StoredNormalizationFactor(s.normalizationFactor);
    r.medianFilterRadius = s.medianFilterRadius;
    r.medianFilterThreshold = s.medianFilterThreshold;
    return r;
}

void ApplyRecord(Frame& frame, const WorkspaceClipRecord& r)
{
    frame.SetSumStackIncluded(r.included);
    frame.SetDarkFrameSubtracted(r.darkFrameSubtracted);
    frame.SetFlatFrameDivided(r.flatFrameDivided);
    for (int c = 0; c < 3; ++c)
        frame.SetAlignment(Point{r.alignment[c][1], r.alignment[c][0]}, c + 1);
    frame.SetNormalizationFactor(LoadedNormalizationFactor(r.normalization));
    frame.SetMedianFilter(r.medianFilterRadius, r.medianFilterThreshold);
}

// A clip of a file: the modified image a copy of the original, the stored
// settings applied; rendered only once the document's calibration frames are
// in place. Throws std::bad_alloc with everything made for it released.
std::unique_ptr<Frame> MakeLoadedClip(int index, std::unique_ptr<GWorldWrapper> original,
                                      const WorkspaceClipRecord& record)
{
    auto modified = std::make_unique<GWorldWrapper>(32, original->GetDim(), -1);
    *modified = *original;
    // The allocation comes before the arguments are taken, and the
    // constructor owns both images from then on, also when it throws.
    std::unique_ptr<Frame> frame(new Frame(index, original.release(), modified.release()));
    ApplyRecord(*frame, record);
    return frame;
}

// Makes gMaxClipDim the thumbnail size of a document of image's size, open
// or not (SetMaxClipDim itself acts only while a document is open).
void TakeThumbnailSizeOf(Rect image)
{
    const Rect open = gImageDim;
    gImageDim = image;
    SetMaxClipDim(image);
    gImageDim = open;
}

void ShowOpenError(WorkspaceReadStatus status)
{
    switch (status) {
    case WorkspaceReadStatus::ok:
    case WorkspaceReadStatus::endedEarly: // opened; said after the document is in place
        return;
    case WorkspaceReadStatus::outOfMemory:
        DoNotEnougMemoryForOperationDialog();
        return;
    case WorkspaceReadStatus::wrongMarker:
        DoStandardAlertNoCancel(kAlertStop, kWorkspaceErrorTitle, kWorkspaceOlderVersionMessage);
        return;
    case WorkspaceReadStatus::cannotOpen:
        DoStandardAlertNoCancel(kAlertStop, kWorkspaceErrorTitle, kWorkspaceUnreadableMessage);
        return;
    case WorkspaceReadStatus::damaged:
        DoStandardAlertNoCancel(kAlertStop, kWorkspaceErrorTitle, kWorkspaceDamagedMessage);
        return;
    }
}

// Replaces the closed document's state by what was read, but for the dark
// and flat frames, which come in as the file commands bring them. Cannot fail.
void InstallDocument(WorkspaceContents& contents, std::vector<std::unique_ptr<Frame>>& clips)
{
    const WorkspaceHeader& h = contents.header;
    gAlignmentBrightnessThreshold = h.alignmentBrightnessThreshold;
    gPreviousHotPixelMaskThreshold = h.hotPixelMaskThreshold;
    gPreviousHotPixelMaskRadius = std::clamp(h.hotPixelMaskRadius, 0, kMaxHotPixelMaskRadius);
    gImageDim = MakeRect(0, 0, h.height, h.width);
    SetMaxClipDim(gImageDim);
    gHotPixelMask.width = h.width;
    gHotPixelMask.height = h.height;
    gHotPixelMask.pixels = std::move(contents.mask);
    std::lock_guard<std::mutex> lock(gFramesMutex);
    gFrames = std::move(clips);
}

} // namespace

WorkspaceWriteStatus SaveWorkspaceTo(const std::filesystem::path& path, bool asPictures, bool allFrames,
                                     const WorkspaceProgress& progress)
{
    const int width = gImageDim.right, height = gImageDim.bottom;
    if (width < 1 || height < 1)
        return WorkspaceWriteStatus::clipUnavailable; // no document
    std::vector<Frame*> chosen;
    for (const auto& frame : gFrames)
        if (Chosen(*frame, allFrames))
            chosen.push_back(frame.get());

    WorkspaceWriteRequest request;
    WorkspaceHeader& h = request.header;
    h.asPictures = asPictures;
    h.numClips = static_cast<int32_t>(chosen.size());
    h.width = width;
    h.height = height;
    h.alignmentBrightnessThreshold = gAlignmentBrightnessThreshold;
    h.hotPixelMaskThreshold = gPreviousHotPixelMaskThreshold;
    h.hotPixelMaskRadius = gPreviousHotPixelMaskRadius;
    // A mask of another size counts as no hot pixels (written as zeros).
    request.mask = gHotPixelMask.Matches(width, height) ? gHotPixelMask.pixels.data() : nullptr;
    request.dark = gDarkFrame.get();
    request.flat = gFlatFrame.get();
    request.clips = [&chosen](int i, WorkspaceClipRecord& record,
                              const std::function<bool(const GWorldWrapper&)>& put) {
        Frame& frame = *chosen[static_cast<std::size_t>(i)];
        record = RecordOf(frame);
        const bool wasOnDisk = !frame.InMemory();
        bool written;
        {
            // A swapped-out clip comes back for its turn.
            FrameLease original = frame.GetOriginal();
            const FrameSettings settings = frame.GetSettings();
            if (!original) {
                written = false;
            } else if (NeedsCalibrationRects(settings, original->GetDim())) {
                // The file keeps no calibration rectangles: a cropped clip
                // would read the frames from their corner when reopened. It
                // goes in calibrated instead, and renders the same.
                GWorldWrapper calibrated(32, original->GetDim(), -1);
                calibrated = *original;
                ApplyCalibrationFrames(calibrated, settings);
                record.darkFrameSubtracted = false;
                record.flatFrameDivided = false;
                written = put(calibrated);
            } else {
                written = put(*original);
            }
        }
        if (wasOnDisk && FreeMemoryIsLow())
            (void)frame.SendToTempDiskFile(); // a failure keeps it in memory
        return written;
    };
    return WriteWorkspaceFile(path, request, progress);
}

bool PutWorkingSpaceToFile(bool asPictures, bool allFrames)
{
    // The picture format holds no image wider than kMaxPictWidth.
    if (asPictures) {
        for (const GWorldWrapper* frame : {gDarkFrame.get(), gFlatFrame.get()})
            if (frame && frame->Width() > kMaxPictWidth)
                return DoImageWidthAlert(false);
        if (gImageDim.Width() > kMaxPictWidth)
            return DoImageWidthAlert(false);
    }
    FileDialogRequest dialog;
    dialog.mode = FileDialogRequest::Mode::kSaveFile;
    dialog.title = "Save Workspace";
    dialog.nameFilters = {kWorkspaceNameFilter, "All files (*)"};
    dialog.defaultName = "Workspace.work";
    const std::vector<std::string> answer = GetUserInteraction().RunFileDialog(dialog);
    if (answer.empty() || answer.front().empty())
        return false;

    WorkspaceWriteStatus status;
    {
        std::unique_ptr<DocumentProgress> progress;
        status = SaveWorkspaceTo(answer.front(), asPictures, allFrames, [&progress](int step, int total) {
            if (!progress)
                progress = std::make_unique<DocumentProgress>(total);
            progress->Step(step);
        });
    }
    if (status == WorkspaceWriteStatus::ok)
        return true;
    if (status == WorkspaceWriteStatus::outOfMemory)
        DoNotEnougMemoryForOperationDialog();
    else
        DoStandardAlertNoCancel(kAlertStop, kSaveErrorTitle, kSaveErrorMessage);
    return false;
}

bool OpenWorkspaceFrom(const std::filesystem::path& path)
{
    if (RefuseClipChange())
        return false;
    if (AskShell(GetShellHooks().movieDialogOpen)) {
        SysBeep(); // a movie dialog would go on adding clips of the old size
        return false;
    }

    // Everything is read into these before the open document is touched.
    WorkspaceContents contents;
    std::vector<std::unique_ptr<Frame>> clips;
    const Rect oldMaxClipDim = gMaxClipDim;
    // One bar for reading (its total known once the header is read) and
    // then rendering the clips.
    std::unique_ptr<DocumentProgress> progress;
    int readSteps = 0;
    auto sink = [&](const WorkspaceClipRecord& record, std::unique_ptr<GWorldWrapper> original) {
        if (clips.empty())
            TakeThumbnailSizeOf(original->GetDim()); // the new clips' thumbnails have the new size
        clips.push_back(MakeLoadedClip(static_cast<int>(clips.size()), std::move(original), record));
        if (FreeMemoryIsLow())
            (void)clips.back()->SendToTempDiskFile(); // a failed write keeps it in memory
    };
    const WorkspaceReadStatus status = ReadWorkspaceFile(path, &contents, sink, [&](int step, int total) {
        if (!progress) {
            readSteps = total;
            progress = std::make_unique<DocumentProgress>(2 * total); // reading, then rendering
        }
        progress->Step(step);
    });
    const bool endedEarly = status == WorkspaceReadStatus::endedEarly;
    if (status != WorkspaceReadStatus::ok && !endedEarly) {
        progress.reset();
        clips.clear();
        gMaxClipDim = oldMaxClipDim;
        ShowOpenError(status);
        return false;
    }

    CloseMainWindow();
    InstallDocument(contents, clips);
    ShowFrameInspectorForImageDim();
    // Their windows are sized, shown and drawn as by Open Dark Frame and
    // Open Flat Frame; the flat frame's mean is taken there.
    if (contents.dark)
        UseAsDarkFrame(std::move(contents.dark));
    if (contents.flat)
        UseAsFlatFrame(std::move(contents.flat));

    // Each clip is rendered once with its settings and the loaded frames.
    const int count = FrameCount();
    for (int i = 0; i < count; ++i) {
        Frame& frame = *gFrames[static_cast<std::size_t>(i)];
        try {
            (void)frame.UpdateFrame(false);
        } catch (const std::bad_alloc&) {
            break; // the step has said so; the rest render when shown
        }
        if (FreeMemoryIsLow())
            (void)frame.SendToTempDiskFile();
        if (progress)
            progress->Step(readSteps + static_cast<int>(static_cast<int64_t>(i + 1) * readSteps / count));
    }
    progress.reset();

    DestroyOperationBoundsRect();
    gTempSelectionIndex = count > 0 ? 0 : -1;
    DeleteFrameStack();
    if (count > 0 && gClipsWindow)
        gClipsWindow->show();
    FitClipsWindowToNumFrames(true);
    DrawClipsWindow();
    DrawFrameInspectorWindow();
    if (count > 0 && gClipsWindow)
        ShowAndRaise(gClipsWindow);
    UpdateMenuState();
    // A partial load is not to be taken for the whole session.
    if (endedEarly)
        DoStandardAlertNoCancel(kAlertPlain, kWorkspaceEndedEarlyTitle,
                                WorkspaceEndedEarlyMessage(contents.clipsRead, contents.header.numClips).c_str());
    return true;
}

void OpenWorkingSpace()
{
    if (RefuseClipChange())
        return;
    const std::string chosen = ChooseFileToOpen("Open Workspace", {kWorkspaceNameFilter, "All files (*)"});
    if (chosen.empty())
        return;
    (void)OpenWorkspaceFrom(chosen);
}
