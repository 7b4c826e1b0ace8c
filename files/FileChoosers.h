// files/FileChoosers.h: the open dialogs the file commands share: many
// pictures and movies at once, or one file of a list of types.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Results of the choosers, as the file commands have always compared them.
inline constexpr int kNoErr = 0;
inline constexpr int kParamErr = -50;
inline constexpr int kUserCanceledErr = -128;

// The picture and movie types offered by the Open command, in order ("JPEG"
// twice, as always), and the same list without movies ("MooV") for the dark
// and flat frame dialogs.
extern const uint32_t kPictureAndMovieTypes[15];
extern const uint32_t kPictureTypes[14];

// The name filters of a dialog offering types: one per kind of file, then
// "All files (*)" — files from other systems often carry no extension, and
// their content decides what they are. numTypes 0 offers every file.
std::vector<std::string> NameFiltersForTypes(int numTypes, const uint32_t* types);

// The Open command's dialog: several files, every picture and movie type.
// Empty when the user cancelled. Main thread only.
std::vector<std::filesystem::path> ChoosePicturesAndMovies();

// One file of types (numTypes 0: any file). Returns kParamErr when file is
// null, kNoErr with *file set when a file was chosen, and kUserCanceledErr
// (*file untouched) when the dialog ended without a choice. Main thread only.
[[nodiscard]] int GetOneFileWithPreview(int numTypes, const uint32_t* types, std::filesystem::path* file);
