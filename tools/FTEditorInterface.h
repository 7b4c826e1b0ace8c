// tools/FTEditorInterface.h: the Fourier-domain editor. At opening it
// transforms the three planes of the summed stack once and shows their
// combined power spectrum as a grey picture with the zero frequency in the
// centre; dragging a round brush over the picture attenuates the spectrum
// under it, and after every brush step the planes are transformed back into
// the stack, so the frame-stack window follows. Two sliders set the display
// exposure and the brush radius, a pop-up chooses the display normalisation
// and Reset returns to the spectrum of the opening. Nothing is remembered
// between openings.
#pragma once

#include <memory>
#include <vector>

#include "engine/SumStackDialogInterface.h"
#include "imaging/FourierPicture.h"
#include "imaging/FourierBrush.h"
#include "platform/core/Geometry.h"
#include "tools/LinearSlider.h"
#include "tools/LiveSliderOwner.h"

class GWorldWrapper;

// Controls of the window "FTEditor".
inline constexpr int kFTEditorNormalization = 4; // pop-up: items 1 .. 4 for methods 0 .. 3
inline constexpr int kFTEditorReset = 8;         // button

// The largest side of the shown picture; larger spectra are shown reduced by
// a power of two.
inline constexpr int kFTEditorMaxDisplaySide = 512;

class FTEditorInterface final : public SumStackDialogInterface, public LiveSliderOwner {
public:
    // Needs a summed stack. Transforms the planes (centred in the transform's
    // power-of-two size). Throws std::bad_alloc, with nothing left behind and
    // the planes unchanged, when memory runs out or the transform's tables
    // cannot be prepared.
    FTEditorInterface();
    ~FTEditorInterface() override;

    // 4 the normalisation, 8 Reset; the rest goes to the base.
    bool HandleDialogItemHit(int id, bool& done) override;
    void RedrawDialog() override;
    // A press on a slider's thumb drags it and makes it active; otherwise a
    // press on the picture starts a brush stroke.
    void processMouse(int modifiers, QPoint where, bool& done) override;
    // Moves the active slider one step.
    void nudgeSlider(bool up, bool shift) override;
    // During a drag: 0 exposure (the picture is recomputed), 1 brush radius.
    void ProcessLiveSliderUpdate(int index) override;

    // The picture from the edited spectra (exposure and normalisation).
    void GeneratePowerSpectrum();
    // The planes from the edited spectra, shown in the frame-stack window.
    void DoFourierSynthesis();
    // The spectra of the opening back; picture, dialog and planes follow.
    void Reset();
    // Reads the pop-up: items 1 .. 4 choose methods 0 .. 3, anything else
    // keeps the method; then the picture.
    void ChangeNormalizationMethod();
    // A brush stroke from the press until release.
    void ProcessMouseInPowerSpectrum(QPoint press);

    // For tests.
    const SpectrumSize& spectrumSize() const { return mSize; }
    Rect displayRect() const { return mDisplayRect; }
    int displayScale() const { return mDisplayScale; }
    int normalizationMethod() const { return mMethod; }
    double exposureDivisor() const { return mDivisor; }
    int brushRadius() const { return mBrushRadius; }
    int activeSlider() const { return mActiveSlider; }
    const LinearSlider& exposureSlider() const { return mExposureSlider; }
    const LinearSlider& brushSlider() const { return mBrushSlider; }
    const std::vector<double>& editedSpectrum(int channel) const { return mEdited[channel]; }
    const std::vector<double>& openingSpectrum(int channel) const { return mOpening[channel]; }
    const std::vector<double>& powerSpectrum() const { return mPower; }
    const GWorldWrapper& spectrumImage() const { return *mSpectrumImage; }

protected:
    void ClearGlobalPointer() override;

private:
    void ExposureChanged();
    void DrawBrushPreview();

    SpectrumSize mSize;
    std::vector<double> mEdited[3];
    std::vector<double> mOpening[3];
    std::vector<double> mPower;
    std::vector<double> mScratch;
    std::unique_ptr<GWorldWrapper> mSpectrumImage;
    Rect mDisplayRect;
    LinearSlider mExposureSlider;
    LinearSlider mBrushSlider;
    int mMethod = 1;
    double mDivisor = 65536.0;
    int mBrushRadius = 32;
    int mDisplayScale = 1;
    int mActiveSlider = 0;
};
