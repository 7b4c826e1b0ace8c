// shell/HistogramInterface.cpp: filling and drawing the dialog's histograms.
#include "shell/HistogramInterface.h"

#include "platform/core/DrawTarget.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/Controls.h"

HistogramInterface::HistogramInterface(int locH, int locV, int verticalSpacing)
    : mLocH(locH), mLocV(locV), mVerticalSpacing(verticalSpacing)
{
    for (int channel = 0; channel < 4; ++channel)
        mHistograms[channel] = std::make_unique<Histogram>(kNumBins, channel);
}

bool HistogramInterface::GenerateHistograms(const GWorldWrapper& image, Rect rect)
{
    return ::GenerateHistograms(image, rect, *mHistograms[0], *mHistograms[1], *mHistograms[2], *mHistograms[3]) != 0;
}

void HistogramInterface::Draw(Canvas* window) const
{
    if (!window)
        return;
    PortSaver saver;
    SetPort(window);
    for (int channel = 0; channel < 4; ++channel)
        mHistograms[channel]->DrawHistogram(mLocH, mLocV + channel * mVerticalSpacing, kDrawHeight, mScaleMode);
    window->Flush();
}

void HistogramInterface::HandleDialogItemHit(const ControlHandle& selector)
{
    mScaleMode = 3 - selector.Value();
}
