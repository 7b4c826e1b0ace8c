// fuzz/FuzzInput.h: what every fuzz target shares: the input written to a
// file of its own (the readers take paths), and a headless Qt application
// for the targets whose readers need one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

// This process's scratch folder, made on first use and removed at exit.
const std::filesystem::path& ScratchFolder();

// Writes size bytes to `name` inside the scratch folder and returns its
// path. Aborts when the file cannot be written: a target that cannot hand
// over its input must not pass.
std::filesystem::path WriteInputFile(const uint8_t* data, std::size_t size, const char* name);

// Makes the one QApplication of the process on the offscreen platform, with
// the program's windows registered and preferences in the scratch folder.
// Alerts go to the silent default interaction, which answers Cancel without
// showing anything. Safe to call more than once.
void StartHeadlessQt();
