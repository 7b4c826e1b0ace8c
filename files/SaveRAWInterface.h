// files/SaveRAWInterface.h: the Save Raw dialog: the summed stack written as a
// headerless raw RGB file of 16- or 32-bit samples in this machine's order.
#pragma once

#include <cstdint>

#include "shell/DialogInterface.h"
#include "files/RawFile.h"

// Control IDs of the "SaveRAW" window. Check boxes ("????" signature):
inline constexpr int kSaveRawProjectCheckbox = 3;
inline constexpr int kSaveRawYesNoCheckbox = 4;
inline constexpr int kSaveRawInterleavedCheckbox = 5;
// Texts ("Raw " signature): width, height, byte order, sample bits; and the
// 16-bit notice ("Text" signature, ID 1).
inline constexpr const char* kSaveRawTextSignature = "Raw ";
inline constexpr int kSaveRawWidthText = 1;
inline constexpr int kSaveRawHeightText = 2;
inline constexpr int kSaveRawByteOrderText = 3;
inline constexpr int kSaveRawSampleBitsText = 7;
inline constexpr const char* kSaveRawNoticeSignature = "Text";
inline constexpr int kSaveRawNoticeText = 1;

extern const char* const kSaveRawSixteenBitNotice;

// Modeless; held in gSaveRAWInterface while open. The labels describe the
// stack as it was at opening; OK runs the save chooser and writes the file
// (the file layer recomputes the maximum from the planes). Main thread only.
class SaveRAWInterface final : public DialogInterface {
public:
    SaveRAWInterface();
    ~SaveRAWInterface() override;

    void RedrawDialog() override {}
    // Check box 4 writes "Yes" or "No" into the width text; the others go to
    // the base (OK, Cancel).
    bool HandleDialogItemHit(int id, bool& done) override;
    RawExportParams Params() const;
    int32_t MaxValue() const { return mMaxValue; }

protected:
    void commit() override;
    void ClearGlobalPointer() override;

private:
    int32_t mMaxValue = 0;
};
