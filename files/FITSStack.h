// files/FITSStack.h: the summed stack saved as three FITS files (one per
// channel) and one FITS image opened into a chosen plane. These are the
// operations the Open FITS and Save FITS dialogs run when they end with OK.
#pragma once

#include <string>

class StackDocument;

// Alert texts, word for word: users and the documentation quote them.
extern const char* const kFITSOpenErrorTitle; // "Unknown Error"
extern const char* const kFITSOpenErrorMessage;
extern const char* const kFITSNameErrorTitle;   // "File Name Error"
extern const char* const kFITSNameErrorMessage; // "You specified a blank filename."
extern const char* const kSaveErrorTitle;       // "Unknown Error"
extern const char* const kSaveErrorMessage;     // shared by the FITS and raw saves

// Channel numbers of the popup and of the files' "CHANNEL" keyword.
constexpr int kRedChannel = 0;
constexpr int kGreenChannel = 1;
constexpr int kBlueChannel = 2;

// What the Open FITS dialog hands over at OK.
struct OpenFITSParams {
    std::string name; // as typed, up to 255 characters; relative to the current folder
    int channel = kRedChannel;
};

// What the Save FITS dialog hands over at OK.
struct SaveFITSParams {
    std::string base; // as typed; the files are base-R.fit, base-G.fit, base-B.fit
};

// Reads the first two-dimensional image of the FITS file `name` into plane
// `channel` (0..2) of doc's summed stack:
// - the whole image is read into a buffer of its own first; any failure shows
//   the open alert and changes nothing;
// - without a stack, a clip-less document takes the file's size, a document
//   with clips keeps its size; the stack is built (CreateInitialStack), and if
//   none results the previous size is restored and nothing else changes;
// - an image whose size differs from the stack's raises the wrong-size
//   question; accepted, it is stretched onto the plane, declined, nothing
//   changes;
// - a negative minimum is shifted to 0 in that plane only; the display is
//   re-projected.
// Main thread only.
void OpenFITSFile(StackDocument& doc, const std::string& name, int channel);

// The open alert (every code shows the same text).
void OpenFITSToStackError(int code);

// Saves the three planes as base-R.fit, base-G.fit and base-B.fit in one
// sample width: 16 bits when the largest value of the three planes (signed,
// from 0) is at most 65535, otherwise 32. Each file is written whatever became
// of the others; a failed file shows the save alert and keeps its old file.
// Nothing is written (and nothing shown) without a stack. Main thread only.
void SaveFITSFiles(StackDocument& doc, const std::string& base);

// One channel's file; false (after its alert) when it could not be written.
bool SaveOneFITSfile(StackDocument& doc, int channel, const std::string& base, int bits);

// Code 0: the blank-name alert; any other code: the save alert.
void SaveFITSToStackError(int code);

// The dialogs' OK. Open: OpenFITSFile. Save: a blank base shows the
// blank-name alert, no stack (the dialog is modeless and the stack may have
// gone) beeps; otherwise SaveFITSFiles. Main thread only.
void OpenFITSToStack(StackDocument& doc, const OpenFITSParams& params);
void SaveFITSStack(StackDocument& doc, const SaveFITSParams& params);
// The same on the running program's document.
void OpenFITSToStack(const OpenFITSParams& params);
void SaveFITSStack(const SaveFITSParams& params);
