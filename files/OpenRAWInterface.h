// files/OpenRAWInterface.h: the Open Raw dialog: how a headerless raw RGB
// file chosen beforehand is laid out, and reading it as the summed stack.
#pragma once

#include <filesystem>

#include "shell/DialogInterface.h"
#include "files/RawFile.h"

// Control IDs of the "OpenRAW" window ("????" signature).
inline constexpr int kOpenRawWidthText = 3;
inline constexpr int kOpenRawHeightText = 4;
inline constexpr int kOpenRawSampleSizePopup = 5; // 1 = 1 byte, 2 = 2 bytes, 3 = 4 bytes
inline constexpr int kOpenRawByteOrderPopup = 6;  // 1 = big-endian, 2 = little-endian
inline constexpr int kOpenRawInterleavedCheckbox = 8;

// Modeless; held in gOpenRAWInterface while open. OK reads the file with the
// dialog's layout (the file layer checks every field against the file's
// length). Main thread only.
class OpenRAWInterface final : public DialogInterface {
public:
    explicit OpenRAWInterface(const std::filesystem::path& file);
    ~OpenRAWInterface() override;

    void RedrawDialog() override {}
    // The layout as the controls state it; an unknown sample-size item gives
    // 0, which the file layer refuses.
    RawImportParams Params() const;
    const std::filesystem::path& File() const { return mFile; }

protected:
    void commit() override;
    void ClearGlobalPointer() override;

private:
    std::filesystem::path mFile;
};

// The Open Raw command: any file from the chooser, then the dialog on it
// (stored in gOpenRAWInterface). Too little memory for the dialog shows the
// out-of-memory alert and leaves no dialog. Main thread only.
void OpenRawAsStack();
