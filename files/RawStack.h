// files/RawStack.h: the summed stack read from and written to headerless raw
// RGB files. These are the operations the Open Raw and Save Raw dialogs run
// when they end with OK.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "files/RawFile.h"

class StackDocument;

// Alert texts, word for word: users and the documentation quote them.
extern const char* const kRawSizeErrorTitle; // "File Size Error"
extern const char* const kRawSizeErrorMessage;

// Reads `file` as described by params and makes it the whole summed stack:
// - the file is read whole into memory after its length was checked against
//   the params (a mismatch or a bad parameter shows "File Size Error"; a file
//   that cannot be opened or read shows nothing); nothing changes on failure;
// - a document with clips keeps its size, and a file of another size only
//   beeps; a clip-less document takes the file's size;
// - the stack is built (CreateInitialStack); when none results, the previous
//   size is restored and nothing else changes;
// - the samples fill the three planes and the display is re-projected.
// Returns ok when the stack now holds the file. Main thread only.
RawReadResult OpenRAWFile(StackDocument& doc, const std::filesystem::path& file, const RawImportParams& params);

// The largest plane value (signed, from 0) of doc's stack; 0 without one.
// The save dialog shows what it implies and the save recomputes it.
int32_t RawStackMaxValue(StackDocument& doc);

// Writes count bytes to target, replacing an older file only when the whole
// write succeeded; a failure shows the save alert and keeps the old file.
bool PutRawToFile(const uint8_t* bytes, std::size_t count, const std::filesystem::path& target);

// Saves doc's stack with params into target (the chooser's answer): the
// maximum is recomputed from the current planes, samples are converted
// (EncodeRawSamples) and written by PutRawToFile. Without a stack (the dialog
// is modeless) beeps and writes nothing. Too little memory for the buffer
// shows the out-of-memory alert. Main thread only.
bool SaveRAWFile(StackDocument& doc, const RawExportParams& params, const std::filesystem::path& target);

// The save dialog's OK: without a stack beeps; otherwise runs the save-file
// chooser and, unless it is cancelled, SaveRAWFile into the chosen file.
bool SaveRAWFile(StackDocument& doc, const RawExportParams& params);

// The dialogs' OK on the running program's document.
RawReadResult OpenRAWFile(const std::filesystem::path& file, const RawImportParams& params);
bool SaveRAWFile(const RawExportParams& params);
