// tools/PreviewRectDialog.cpp: the preview rectangle of the stack filter dialogs.
#include "tools/PreviewRectDialog.h"

#include <algorithm>
#include <string>

#include <QColor>
#include <QLineEdit>

#include "engine/SummedStack.h"
#include "imaging/SumPlaneFilters.h"
#include "platform/core/DrawTarget.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/CanvasDrawing.h"
#include "platform/qt/Controls.h"
#include "shell/HistogramInterface.h"
#include "shell/ThumbnailInterface.h"

PreviewRectDialog::PreviewRectDialog(const char* windowName, ThumbnailPlace thumb, int firstPreviewSide,
                                     std::optional<HistogramsPlace> histograms, int ringingField)
    : SumStackDialogInterface(windowName), mRingingField(ringingField)
{
    setIgnoreEvents(true);
    const int width = StackWidth(), height = StackHeight();
    mThumbnail =
        std::make_unique<ThumbnailInterface>(canvas(), width, height, thumb.left, thumb.top, thumb.width, thumb.height);
    mThumbnail->setImage(&unfilteredImage());
    mThumbnail->setSubThumbBounds(
        firstPreviewSide > 0 ? MakeRect(0, 0, std::min(firstPreviewSide, height), std::min(firstPreviewSide, width))
                             : MakeRect(0, 0, height, width));
    if (histograms) {
        mHistograms = std::make_unique<HistogramInterface>(histograms->left, histograms->top, histograms->spacing);
        (void)mHistograms->GenerateHistograms(unfilteredImage(), previewRect()); // inside the image by construction
    }
    if (mRingingField >= 0) {
        ControlHandle field = control(mRingingField);
        field.SetText(std::to_string(mRingingThreshold));
        if (auto* edit = qobject_cast<QLineEdit*>(field.Widget()))
            QObject::connect(edit, &QLineEdit::textEdited, edit, [this] { ValidateEditableText(); });
    }
}

PreviewRectDialog::~PreviewRectDialog() = default;

Rect PreviewRectDialog::previewRect() const
{
    return mThumbnail->subThumbScaledUpBounds();
}

void PreviewRectDialog::FillHistogramsFromStack()
{
    if (mHistograms && gFrameStack)
        (void)mHistograms->GenerateHistograms(*gFrameStack, previewRect()); // the thumbnail keeps it inside
}

void PreviewRectDialog::RestoreRect(Rect old)
{
    if (HavePlanes()) {
        CopySumPlanesRect(Saved(), Live(), old);
        if (preview())
            ProjectStackIntoFrameStackGWorld(false, old);
    }
}

bool PreviewRectDialog::DefinePreviewBounds(QPoint press)
{
    const Rect old = previewRect();
    if (!mThumbnail->DefineSubThumbBounds(press, nullptr) || previewRect() == old)
        return false;
    RestoreRect(old);
    return true;
}

void PreviewRectDialog::PreviewWholeStack()
{
    mThumbnail->setSubThumbBounds(MakeRect(0, 0, StackHeight(), StackWidth()));
}

void PreviewRectDialog::TogglePreview()
{
    SumStackDialogInterface::TogglePreview();
    FillHistogramsFromStack();
    RedrawDialog();
}

bool PreviewRectDialog::HandleDialogItemHit(int id, bool& done)
{
    if (mHistograms && id == kDialogHistogramScale) {
        mHistograms->HandleDialogItemHit(control(kDialogHistogramScale));
        RedrawDialog();
        return true;
    }
    return SumStackDialogInterface::HandleDialogItemHit(id, done);
}

void PreviewRectDialog::ValidateEditableText()
{
    if (mRingingField < 0 || runningCtorDtor() || closing())
        return;
    ControlHandle field = control(mRingingField);
    const int value = std::clamp(getEditableTextInt(field), kRingingThresholdMin, kRingingThresholdMax);
    const std::string text = std::to_string(value);
    if (!field.Text().empty() && field.Text() != text)
        field.SetText(text); // the field shows 255 after 300 is typed
    if (value != mRingingThreshold) {
        mRingingThreshold = value;
        RingingThresholdChanged();
    }
}

Canvas* PreviewRectDialog::BeginRedraw(PortSaver&)
{
    Canvas* surface = canvas();
    if (!surface || !mThumbnail)
        return nullptr;
    SetPort(surface);
    FillCanvasRect(surface->Image(), surface->Image().rect(), QColor(Qt::white));
    mThumbnail->Draw(true);
    if (mHistograms)
        mHistograms->Draw(surface);
    return surface;
}
