// platform/core/StandardAlerts.h: the standard alerts every subsystem uses,
// the image library included, and the program's one out-of-memory message.
#pragma once

#include <string>

// Alert kinds.
constexpr int kAlertPlain = 0;
constexpr int kAlertNote = 1;
constexpr int kAlertCaution = 2;
constexpr int kAlertStop = 3;

// An alert with a default and a cancel button (empty texts give "OK" and
// "Cancel"); beeps once as it opens; true when the default button ended it.
// Main thread only.
bool DoStandardAlert(int kind, const std::string& title, const std::string& message,
                     const std::string& defaultText = std::string(), const std::string& cancelText = std::string());

// An alert with the single button "OK"; beeps once as it opens. Main thread only.
void DoStandardAlertNoCancel(int kind, const std::string& title, const std::string& message);

// The out-of-memory alert "Out of Memory Error". Any thread: on a worker the
// alert is handed to the main thread, and while one is queued or open further
// requests are dropped, so a job that runs out of memory on every worker shows
// it once.
void DoNotEnougMemoryForOperationDialog();

extern const char* const kOutOfMemoryTitle;
extern const char* const kOutOfMemoryMessage;
