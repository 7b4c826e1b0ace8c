// engine/CreateHotPixelMaskInterface.cpp: the hot-pixel mask dialog.
#include "engine/CreateHotPixelMaskInterface.h"

#include <algorithm>
#include <new>
#include <string>
#include <utility>

#include <QLineEdit>
#include <QRadioButton>
#include <QWidget>

#include "engine/ClipViewWindow.h"
#include "shell/DialogPointers.h"
#include "engine/CalibrationFrames.h"
#include "engine/CalibrationWindows.h"
#include "engine/ClipCommandGate.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "shell/ImageDim.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/StandardAlerts.h"
#include "platform/core/UserInteraction.h"
#include "platform/qt/Controls.h"
#include "platform/qt/Modifiers.h"

struct CreateHotPixelMaskInterface::Source {
    FrameLease lease; // clip 1's rendered image, pinned while it is read
    const GWorldWrapper* image = nullptr;
    // Where the clips' top-left pixel lies in image: the dark frame keeps the
    // sensor's size through a crop, and clip 1's green calibration rectangle
    // says where the clips were cut from it.
    Point origin;
};

namespace {

// The open dialog when it shows its previews, else null.
CreateHotPixelMaskInterface* ShowingDialog()
{
    CreateHotPixelMaskInterface* dialog = gCreateHotPixelMaskInterface;
    return dialog && dialog->IsShowingPreviews() ? dialog : nullptr;
}

// The mask preview for a window: the inspector's when the source is clip 1,
// the dark-frame window's when it is the dark frame.
const GWorldWrapper* PreviewFor(bool darkFrameWindow)
{
    CreateHotPixelMaskInterface* dialog = ShowingDialog();
    if (!dialog || !dialog->GetPreviewOn() || dialog->GetUsingDarkFrame() != darkFrameWindow)
        return nullptr;
    return dialog->GetMaskImage();
}

void FillBlack(GWorldWrapper& image)
{
    for (int y = 0; y < image.Height(); ++y) {
        uint8_t* row = image.PixelRow(y);
        for (int x = 0; x < image.Width(); ++x) {
            uint8_t* p = row + 4 * static_cast<std::ptrdiff_t>(x);
            p[0] = 0xFF;
            p[1] = p[2] = p[3] = 0;
        }
    }
}

} // namespace

CreateHotPixelMaskInterface::CreateHotPixelMaskInterface() : DialogInterface("CreateHotPixelMask")
{
    setIgnoreEvents(true);
    // Clip 1 is the preview's first source; without its render there is
    // nothing to show (thrown before anything points at this dialog).
    RequireFirstClipRender();
    mThreshold = gPreviousHotPixelMaskThreshold;
    mRadius = gPreviousHotPixelMaskRadius;
    mPreviewOn = true;
    mMaskImage = std::make_unique<GWorldWrapper>(32, MakeRect(0, 0, gImageDim.Height(), gImageDim.Width()), -1);
    FillBlack(*mMaskImage);

    QWidget* w = window();
    if (auto* edit = qobject_cast<QLineEdit*>(control(kHotPixelThresholdText).Widget()))
        QObject::connect(edit, &QLineEdit::textEdited, edit, [this] { ValidateEditableText(); });
    // The source is one control: a click on either of its buttons is its hit.
    for (QRadioButton* radio : control(kHotPixelSourceRadios).Widget()->findChildren<QRadioButton*>())
        QObject::connect(radio, &QRadioButton::clicked, w, [this] {
            DialogEvent e{DialogEvent::controlHit, kHotPixelSourceRadios};
            Dispatch(e);
        });
    control(kHotPixelThresholdText).SetText(std::to_string(mThreshold));
    control(kHotPixelRadiusPopup).SetValue(mRadius + 1);
    control(kHotPixelSourceRadios).SetValue(1);
    control(kHotPixelSourceRadios).SetEnabled(gDarkFrame != nullptr);
    control(kHotPixelPreviewCheckbox).SetValue(mPreviewOn ? 1 : 0);

    gCreateHotPixelMaskInterface = this;
    mReady = true;
    SetHotPixelMaskSource(
        InspectorMaskSource{[] { return PreviewFor(false) != nullptr; }, [] { return PreviewFor(false); }});
    SetDarkFrameWindowPreview([] { return PreviewFor(true); });
    UpdateMaskImage();
    setIgnoreEvents(false);
}

CreateHotPixelMaskInterface::~CreateHotPixelMaskInterface()
{
    // Torn down without OK or Cancel (a failed construction, a test): the
    // windows go back to what they show without the dialog.
    if (mReady)
        finish();
    ClearGlobalPointer();
}

bool CreateHotPixelMaskInterface::IsShowingPreviews() const
{
    return mReady && !closing();
}

const GWorldWrapper* CreateHotPixelMaskInterface::GetMaskImage() const
{
    return IsShowingPreviews() ? mMaskImage.get() : nullptr;
}

bool CreateHotPixelMaskInterface::GetUsingDarkFrame() const
{
    return control(kHotPixelSourceRadios).Value() == 2;
}

bool CreateHotPixelMaskInterface::GetPreviewOn() const
{
    return control(kHotPixelPreviewCheckbox).Value() != 0;
}

CreateHotPixelMaskInterface::Source CreateHotPixelMaskInterface::GetSource() const
{
    Source source;
    if (GetUsingDarkFrame()) {
        source.image = gDarkFrame.get();
        if (const Frame* first = FrameAt(0)) {
            const Rect green = first->GetSubRect(2);
            source.origin = MakePoint(green.top, green.left);
        }
        return source;
    }
    if (Frame* first = FrameAt(0)) {
        source.lease = first->GetModified(true); // may throw std::bad_alloc from the render
        source.image = source.lease.get();
    }
    return source;
}

void CreateHotPixelMaskInterface::RedrawPreviewWindow()
{
    if (GetUsingDarkFrame())
        DrawDarkFrameWindow();
    else
        DrawFrameInspectorWindow();
}

void CreateHotPixelMaskInterface::UpdateMaskImage()
{
    if (!mMaskImage)
        return;
    try {
        const Source source = GetSource();
        if (source.image)
            PaintHotPixelPreview(*source.image, Params(), *mMaskImage, source.origin);
        else
            FillBlack(*mMaskImage);
    } catch (const std::bad_alloc&) {
        // A render has shown its own alert; the preview's mask needs one.
        DoNotEnougMemoryForOperationDialog();
    }
    RedrawPreviewWindow();
}

void CreateHotPixelMaskInterface::NudgeValue(bool up, bool large)
{
    const int step = large ? kHotPixelNudgeLarge : kHotPixelNudgeSmall;
    if (up) {
        if (mThreshold > 255) {
            SysBeep();
            return;
        }
        mThreshold = std::min(mThreshold + step, kHotPixelThresholdNone);
    } else {
        if (mThreshold < 1) {
            SysBeep();
            return;
        }
        mThreshold = std::max(mThreshold - step, 0);
    }
    control(kHotPixelThresholdText).SetText(std::to_string(mThreshold));
    UpdateMaskImage();
}

void CreateHotPixelMaskInterface::ValidateEditableText()
{
    if (runningCtorDtor() || closing())
        return;
    const int value = getEditableTextInt(control(kHotPixelThresholdText));
    control(kHotPixelThresholdText).SetText(std::to_string(value));
    if (value != mThreshold) {
        mThreshold = value;
        UpdateMaskImage();
    }
}

void CreateHotPixelMaskInterface::TogglePreview()
{
    mPreviewOn = !mPreviewOn;
    control(kHotPixelPreviewCheckbox).SetValue(mPreviewOn ? 1 : 0);
    RedrawPreviewWindow();
}

bool CreateHotPixelMaskInterface::HandleDialogItemHit(int id, bool& done)
{
    switch (id) {
    case kHotPixelRadiusPopup:
        mRadius = std::clamp(control(kHotPixelRadiusPopup).Value() - 1, kHotPixelRadiusMin, kHotPixelRadiusMax);
        UpdateMaskImage();
        return true;
    case kHotPixelSourceRadios:
        UpdateMaskImage();
        // The preview moves between the two windows.
        DrawFrameInspectorWindow();
        DrawDarkFrameWindow();
        return true;
    case kHotPixelPreviewCheckbox:
        TogglePreview();
        return true;
    default:
        return DialogInterface::HandleDialogItemHit(id, done);
    }
}

int CreateHotPixelMaskInterface::HandleEvent(const DialogEvent& event, bool& done)
{
    if (event.kind == DialogEvent::keyDown) {
        const bool shift = (event.modifiers & kShiftKeyBit) != 0;
        switch (event.key) {
        case Qt::Key_Right:
        case Qt::Key_Up:
            NudgeValue(true, shift);
            return kEventHandled;
        case Qt::Key_Left:
        case Qt::Key_Down:
            NudgeValue(false, shift);
            return kEventHandled;
        default:
            break;
        }
    }
    return DialogInterface::HandleEvent(event, done);
}

void CreateHotPixelMaskInterface::commit()
{
    const int width = gImageDim.Width(), height = gImageDim.Height();
    const Source source = GetSource();
    if (!source.image || width <= 0 || height <= 0) {
        SysBeep(); // nothing to find hot pixels in: the old mask stays
        return;
    }
    HotPixelMask mask;
    mask.Reset(width, height);
    MarkHotPixels(*source.image, Params(), mask.pixels.data(), width, height, source.origin);
    gHotPixelMask = std::move(mask);
    gPreviousHotPixelMaskThreshold = mThreshold;
    gPreviousHotPixelMaskRadius = mRadius;
}

void CreateHotPixelMaskInterface::finish()
{
    const bool usedDarkFrame = GetUsingDarkFrame();
    mReady = false;
    mMaskImage.reset();
    SetHotPixelMaskSource(InspectorMaskSource{});
    SetDarkFrameWindowPreview(nullptr);
    if (usedDarkFrame)
        DrawDarkFrameWindow();
    else
        DrawFrameInspectorWindow();
}

void CreateHotPixelMaskInterface::ClearGlobalPointer()
{
    if (gCreateHotPixelMaskInterface == this)
        gCreateHotPixelMaskInterface = nullptr;
}

void OpenCreateHotPixelMaskDialog()
{
    if (RefuseClipChange())
        return;
    if (FrameCount() == 0 || gImageDim.IsEmpty()) {
        SysBeep();
        return;
    }
    // Stored in gCreateHotPixelMaskInterface by the constructor; the dialog
    // deletes itself when it ends.
    (void)new CreateHotPixelMaskInterface();
}
