// engine/SumStackDialogInterface.cpp: saving, previewing and restoring the stack.
#include "engine/SumStackDialogInterface.h"

#include <algorithm>
#include <cassert>
#include <cstddef>

#include <QApplication>

#include "shell/ShellSettings.h"
#include "engine/SummedStack.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/qt/Controls.h"
#include "platform/qt/Modifiers.h"

namespace {

std::size_t PlaneSize(int width, int height)
{
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

void SavePlane(const std::unique_ptr<int32_t[]>& plane, std::vector<int32_t>& saved, std::size_t n)
{
    if (plane)
        saved.assign(plane.get(), plane.get() + n);
}

void RestorePlane(const std::vector<int32_t>& saved, std::unique_ptr<int32_t[]>& plane)
{
    if (plane && !saved.empty())
        std::copy(saved.begin(), saved.end(), plane.get());
}

// Puts the channel flags back however the constructor leaves.
class ChannelFlagsGuard {
public:
    ChannelFlagsGuard() : mRed(gRedChannelOn), mGreen(gGreenChannelOn), mBlue(gBlueChannelOn) {}
    ~ChannelFlagsGuard()
    {
        if (!Changed())
            return;
        gRedChannelOn = mRed;
        gGreenChannelOn = mGreen;
        gBlueChannelOn = mBlue;
        ProjectStackIntoFrameStackGWorld(false);
    }
    bool AllOn() const { return mRed && mGreen && mBlue; }
    bool Changed() const { return gRedChannelOn != mRed || gGreenChannelOn != mGreen || gBlueChannelOn != mBlue; }

private:
    bool mRed, mGreen, mBlue;
};

SumStackDialogInterface* sOpenDialog = nullptr;

} // namespace

SumStackDialogInterface* SumStackDialogInterface::OpenDialog()
{
    return sOpenDialog;
}

SumStackDialogInterface::SumStackDialogInterface(const std::string& windowName) : DialogInterface(windowName)
{
    setIgnoreEvents(true);
    mPreview = true;
    mSavedWidth = StackWidth();
    mSavedHeight = StackHeight();
    mUnfilteredImage = std::make_unique<GWorldWrapper>(32, MakeRect(0, 0, mSavedHeight, mSavedWidth), -1);
    const std::size_t n = PlaneSize(mSavedWidth, mSavedHeight);
    SavePlane(gRedStack, mSavedRed, n);
    SavePlane(gGreenStack, mSavedGreen, n);
    SavePlane(gBlueStack, mSavedBlue, n);
    {
        // The saved picture shows every channel even while one is displayed;
        // the guard puts the displayed channel back.
        ChannelFlagsGuard flags;
        if (!flags.AllOn()) {
            gRedChannelOn = gGreenChannelOn = gBlueChannelOn = true;
            ProjectStackIntoFrameStackGWorld(false);
        }
        if (gFrameStack)
            CopyGWorldWrapper(*gFrameStack, *mUnfilteredImage);
    }
    control(kDialogPreview).SetValue(1);
    control(kDialogHistogramScale).SetValue(3);
    sOpenDialog = this;
    setIgnoreEvents(false);
}

SumStackDialogInterface::~SumStackDialogInterface()
{
    if (sOpenDialog == this)
        sOpenDialog = nullptr;
}

int SumStackDialogInterface::HandleEvent(const DialogEvent& event, bool& done)
{
    switch (event.kind) {
    case DialogEvent::keyDown: {
        const bool shift = (event.modifiers & kShiftKeyBit) != 0;
        if (event.key == Qt::Key_Right || event.key == Qt::Key_Up) {
            nudgeSlider(true, shift);
            return kEventHandled;
        }
        if (event.key == Qt::Key_Left || event.key == Qt::Key_Down) {
            nudgeSlider(false, shift);
            return kEventHandled;
        }
        return DialogInterface::HandleEvent(event, done);
    }
    case DialogEvent::mouseDown:
        if (QApplication::overrideCursor())
            QApplication::changeOverrideCursor(Qt::ArrowCursor);
        processMouse(event.modifiers, canvasPoint(event.where), done);
        if (done)
            return kEventHandled; // the dialog is about to go
        return DialogInterface::HandleEvent(event, done);
    default:
        return DialogInterface::HandleEvent(event, done);
    }
}

bool SumStackDialogInterface::HandleDialogItemHit(int id, bool& done)
{
    if (id == kDialogPreview) {
        TogglePreview();
        return true;
    }
    return DialogInterface::HandleDialogItemHit(id, done);
}

ConstSumPlanes SumStackDialogInterface::Saved() const
{
    return ConstSumPlanes{mSavedRed.data(), mSavedGreen.data(), mSavedBlue.data(), StackWidth(), StackHeight()};
}

SumPlanes SumStackDialogInterface::Live() const
{
    return SumPlanes{gRedStack.get(), gGreenStack.get(), gBlueStack.get(), StackWidth(), StackHeight()};
}

void SumStackDialogInterface::ShowStack()
{
    // The stack cannot change size under an open filter dialog; the test
    // keeps a stray call harmless all the same.
    if (!HaveSummedStack() || !gFrameStack || mSavedRed.size() != Saved().Count() ||
        mSavedGreen.size() != Saved().Count() || mSavedBlue.size() != Saved().Count())
        return;
    const Rect whole = MakeRect(-1, -1, -1, -1);
    const std::optional<Rect> area = previewArea();
    const int32_t* saved[3] = {mSavedRed.data(), mSavedGreen.data(), mSavedBlue.data()};
    const int32_t* live[3] = {gRedStack.get(), gGreenStack.get(), gBlueStack.get()};
    if (!mPreview || area)
        ProjectPlanesIntoFrameStackGWorld(saved, whole);
    if (mPreview)
        ProjectPlanesIntoFrameStackGWorld(live, area ? *area : whole);
    DrawFrameStackWindow();
}

void SumStackDialogInterface::TogglePreview()
{
    mPreview = !mPreview;
    ShowStack();
}

void SumStackDialogInterface::finish()
{
    if (sOpenDialog == this)
        sOpenDialog = nullptr;
    // All channels are shown again; the projection below already shows them,
    // so the window never keeps a single channel under flags that say all.
    gRedChannelOn = gGreenChannelOn = gBlueChannelOn = true;
    if (cancelled()) {
        // The stack cannot change size under an open filter dialog (the
        // commands that would are refused), so the saved planes fit.
        assert(StackWidth() == mSavedWidth && StackHeight() == mSavedHeight);
        if (StackWidth() == mSavedWidth && StackHeight() == mSavedHeight) {
            RestorePlane(mSavedRed, gRedStack);
            RestorePlane(mSavedGreen, gGreenStack);
            RestorePlane(mSavedBlue, gBlueStack);
        }
        ProjectStackIntoFrameStackGWorld(false);
    } else {
        ProjectStackIntoFrameStackGWorld(true);
    }
}
