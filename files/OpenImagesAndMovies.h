// files/OpenImagesAndMovies.h: the Open command and files handed to the
// program from outside: each file becomes clips (a picture) or a movie frame
// dialog (a movie).
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "files/PictureImport.h"
#include "platform/qt/MediaStatus.h"

class MovieSource;

using MovieList = std::vector<std::unique_ptr<MovieSource>>;

// Opens the files: docList null shows the Open dialog, otherwise the listed
// paths are used. Refused with a beep (nothing opened) while a job runs or a
// dialog that reads the clips is open. Files that open neither as a picture
// nor as a movie are passed over and reported once by "Add Pictures Error";
// the others are imported: the pictures by the import job, each movie in its
// own frame dialog, opened right after the job started. Of the listed
// paths, the first FITS file opens the Open FITS dialog with its name filled
// in instead. Main thread only.
void OpenImagesAndMovies(const std::vector<std::string>* docList);

// Decides whether file is a picture or a movie (a name ending in "mov",
// case-sensitive, goes straight to the movie opener; any other file is sized
// as a picture first and tried as a movie when no picture decoder takes it)
// and appends it to pictures or movies. A movie wider than the width rule
// allows gets its warning before any frame is decoded (declined on Cancel).
// Returns ok or the reason neither worked, with both lists untouched. May
// throw std::bad_alloc.
[[nodiscard]] MediaStatus OpenImageOrMovieFile(const std::filesystem::path& file, std::vector<ProbedPicture>& pictures,
                                               MovieList& movies);

// Opens every file of files in order with a progress window (without Cancel)
// that lets only non-input events through between files. True when every
// file opened. Main thread only.
bool OpenFileList(const std::vector<std::filesystem::path>& files, std::vector<ProbedPicture>& pictures,
                  MovieList& movies);

// Installs the Open command and the open-documents request.
void InstallPictureAndMovieImport();
