// shell/Preferences.h: the settings kept between runs, under their stored keys.
// Every save is written to disk at once; a key missing at read is written back
// with its default. Main thread only.
#pragma once

#include <cstdint>
#include <string>

#include <QPoint>
#include <QSize>

// Missing or unusable (not true/false/1/0, not a 32-bit integer) keys get the
// default, which is stored.
bool LoadBooleanPreference(const std::string& key, bool defaultValue);
int32_t LoadIntPreference(const std::string& key, int32_t defaultValue);
// A failed write (read-only or full folder) is not reported; the value holds
// for this run.
void SaveBooleanPreference(const std::string& key, bool value);
void SaveIntPreference(const std::string& key, int32_t value);

// "maxClipWidthOrHeight" (default 64) into gMaxClipWidthOrHeight; any value but
// 32, 64 or 128 is used as 64 and left as stored.
void LoadMaxClipWidthOrHeightPreference();
void SaveMaxClipWidthOrHeightPreference(int value);
// "clipsWindowWidth", default 800.
int LoadClipsWindowWidthPreference();
void SaveClipsWindowWidthPreference(int width);
// "syncThreadDisplay" (default true) into gSyncThreadDisplay.
void LoadSyncThreadDisplayPreference();
void SaveSyncThreadDisplayPreference(bool value);
// "numThreads" (default 1) into gNumThreads, unchecked here.
void LoadNumThreadsPreference();
void SaveNumThreadsPreference(int value);
// "minimalVisualFeedback" (default false) into gMinimalVisualFeedback.
void LoadMinimalVisualFeedbackPreference();
void SaveMinimalVisualFeedbackPreference(bool value);

// Pixels kept free above a window's content for its title bar.
constexpr int kTitleBarAllowance = 22;

// Window keys of the windows with a stored position.
extern const char* const kFrameInspectorWindowKey;
extern const char* const kFrameStackWindowKey;
extern const char* const kDarkFrameWindowKey;
extern const char* const kFlatFrameWindowKey;
extern const char* const kCommandsWindowKey;
extern const char* const kHintsWindowKey;

// Stores a content top-left (global coordinates) under key + "PosX"/"PosY".
void SaveWindowPosPreference(const std::string& windowKey, QPoint contentTopLeft);
// The content top-left to place a window of contentSize at. Defaults are the
// available area's left and its top + 22; a stored position is raised to
// those when less; one that lies on no screen gives the primary screen's
// defaults. Whatever differs from the store is written back.
QPoint LoadWindowPosPreference(const std::string& windowKey, QSize contentSize);
