// shell/Preferences.cpp: preference keys, defaults and the window positions.
#include "shell/Preferences.h"

#include "shell/ShellSettings.h"
#include "platform/qt/Screens.h"
#include "platform/qt/SettingsStore.h"

const char* const kFrameInspectorWindowKey = "FrameInspectorWindow";
const char* const kFrameStackWindowKey = "FrameStackWindow";
const char* const kDarkFrameWindowKey = "DarkFrameWindow";
const char* const kFlatFrameWindowKey = "FlatFrameWindow";
const char* const kCommandsWindowKey = "CommandsWindow";
const char* const kHintsWindowKey = "HintsWindow";

namespace {

// Keys and defaults as stored: existing preference files rely on them.
const char* const kMaxClipWidthOrHeightKey = "maxClipWidthOrHeight";
const char* const kClipsWindowWidthKey = "clipsWindowWidth";
const char* const kSyncThreadDisplayKey = "syncThreadDisplay";
const char* const kNumThreadsKey = "numThreads";
const char* const kMinimalVisualFeedbackKey = "minimalVisualFeedback";

} // namespace

bool LoadBooleanPreference(const std::string& key, bool defaultValue)
{
    if (const std::optional<bool> stored = ReadBoolSetting(key))
        return *stored;
    SaveBooleanPreference(key, defaultValue);
    return defaultValue;
}

int32_t LoadIntPreference(const std::string& key, int32_t defaultValue)
{
    if (const std::optional<int32_t> stored = ReadIntSetting(key))
        return *stored;
    SaveIntPreference(key, defaultValue);
    return defaultValue;
}

void SaveBooleanPreference(const std::string& key, bool value)
{
    // A failed write keeps the value for this run and says nothing: settings
    // are a convenience, never worth an alert.
    [[maybe_unused]] const bool written = WriteBoolSetting(key, value);
}

void SaveIntPreference(const std::string& key, int32_t value)
{
    [[maybe_unused]] const bool written = WriteIntSetting(key, value);
}

void LoadMaxClipWidthOrHeightPreference()
{
    const int32_t value = LoadIntPreference(kMaxClipWidthOrHeightKey, 64);
    gMaxClipWidthOrHeight = (value == 32 || value == 64 || value == 128) ? value : 64;
}

void SaveMaxClipWidthOrHeightPreference(int value)
{
    SaveIntPreference(kMaxClipWidthOrHeightKey, value);
}

int LoadClipsWindowWidthPreference()
{
    return LoadIntPreference(kClipsWindowWidthKey, 800);
}

void SaveClipsWindowWidthPreference(int width)
{
    SaveIntPreference(kClipsWindowWidthKey, width);
}

void LoadSyncThreadDisplayPreference()
{
    gSyncThreadDisplay = LoadBooleanPreference(kSyncThreadDisplayKey, true);
}

void SaveSyncThreadDisplayPreference(bool value)
{
    SaveBooleanPreference(kSyncThreadDisplayKey, value);
}

void LoadNumThreadsPreference()
{
    gNumThreads = LoadIntPreference(kNumThreadsKey, 1);
}

void SaveNumThreadsPreference(int value)
{
    SaveIntPreference(kNumThreadsKey, value);
}

void LoadMinimalVisualFeedbackPreference()
{
    gMinimalVisualFeedback = LoadBooleanPreference(kMinimalVisualFeedbackKey, false);
}

void SaveMinimalVisualFeedbackPreference(bool value)
{
    SaveBooleanPreference(kMinimalVisualFeedbackKey, value);
}

void SaveWindowPosPreference(const std::string& windowKey, QPoint contentTopLeft)
{
    SaveIntPreference(windowKey + "PosX", contentTopLeft.x());
    SaveIntPreference(windowKey + "PosY", contentTopLeft.y());
}

QPoint LoadWindowPosPreference(const std::string& windowKey, QSize contentSize)
{
    const std::string xKey = windowKey + "PosX", yKey = windowKey + "PosY";
    const QRect primary = GetScreens().front().available;
    const std::optional<int32_t> storedX = ReadIntSetting(xKey);
    const std::optional<int32_t> storedY = ReadIntSetting(yKey);
    QPoint position(storedX.value_or(primary.left()), storedY.value_or(primary.top() + kTitleBarAllowance));

    if (!PointOnSomeScreen(position)) {
        // The screen it was saved on has gone: back where a first run puts it.
        position = QPoint(primary.left(), primary.top() + kTitleBarAllowance);
    } else {
        // Raise only, never lower: a window kept far right or low stays there.
        const QRect area = ScreenHoldingMost(QRect(position, contentSize.expandedTo(QSize(1, 1)))).available;
        if (position.x() < area.left())
            position.setX(area.left());
        if (position.y() < area.top() + kTitleBarAllowance)
            position.setY(area.top() + kTitleBarAllowance);
    }
    if (storedX != position.x())
        SaveIntPreference(xKey, position.x());
    if (storedY != position.y())
        SaveIntPreference(yKey, position.y());
    return position;
}
