// platform/qt/SettingsStore.h: the per-user key-value store behind the
// program's preferences (an INI file under the user's config folder).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The stored value, or nothing when the key is missing or its text is not a
// 32-bit integer (respectively one of true, false, 1, 0). Main thread only.
std::optional<int32_t> ReadIntSetting(const std::string& key);
std::optional<bool> ReadBoolSetting(const std::string& key);

// Stores the value and writes the file at once. Returns false when the file
// could not be written; the value is still kept for this run. Main thread only.
bool WriteIntSetting(const std::string& key, int32_t value);
bool WriteBoolSetting(const std::string& key, bool value);

// Uses the INI file at path from now on (empty: the user's own file). Tests only.
void SetSettingsFileForTesting(const std::string& path);
// Writes made since the program started. Tests only.
int SettingsWriteCountForTesting();
