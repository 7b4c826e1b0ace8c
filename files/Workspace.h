// files/Workspace.h: the open document saved whole to a workspace file, and
// replaced whole by one: the Save Workspace dialog's work and the Open
// Workspace command.
#pragma once

#include <filesystem>
#include <string>

#include "files/WorkspaceFile.h"

// Alert texts of the Open Workspace command (stop alerts, one button).
extern const char* const kWorkspaceErrorTitle;          // "Workspace Error"
extern const char* const kWorkspaceOlderVersionMessage; // the file does not start with -1
extern const char* const kWorkspaceDamagedMessage;      // truncated or impossible sizes
extern const char* const kWorkspaceUnreadableMessage;   // cannot be opened or read
// The plain alert after a file that ended early: the clips before that point
// were opened.
extern const char* const kWorkspaceEndedEarlyTitle; // "Workspace Warning"
std::string WorkspaceEndedEarlyMessage(int clipsRead, int clipsInFile);

// Name filters of the workspace dialogs ("Work" files).
extern const char* const kWorkspaceNameFilter;

// Writes the document (image size, alignment threshold, hot-pixel mask and
// its settings, dark and flat frames, and every clip or every included clip)
// to path, replacing an older file only when the whole file was written. A
// clip cropped out of the calibration frames (its calibration rectangles not
// its bounds) goes in with its dark and flat already applied and their flags
// off, since the file keeps no rectangles.
// progress as for WriteWorkspaceFile. Main thread, no job running.
[[nodiscard]] WorkspaceWriteStatus SaveWorkspaceTo(const std::filesystem::path& path, bool asPictures, bool allFrames,
                                                   const WorkspaceProgress& progress = nullptr);

// The Save Workspace dialog's OK: asks for the file, writes it with a
// progress window without Cancel, and on failure shows the save alert (the
// out-of-memory alert when memory ran out); the old file is then kept.
// Picture blocks of an image wider than the picture format allows are
// refused first with the image-width error alert, nothing asked or written.
// Returns true when the file was written; Cancel writes nothing and returns
// false. Main thread, no job running.
bool PutWorkingSpaceToFile(bool asPictures, bool allFrames);

// Replaces the open document by the workspace at path. The whole file is
// read and checked and the new document built before the old one is closed:
// a file that cannot be read, is of another kind, truncated or damaged
// before its first clip, or needs more memory than there is, gets its alert
// and leaves the open document exactly as it was. A file that ends early
// (cut or damaged inside a clip record) opens with the clips before that
// point, and then says so in a plain alert. The loaded document has no summed stack and
// no bounds rectangle; its clips have the stored settings and the defaults
// of a new clip for the rest. Returns true when the document was replaced.
// Refused with a beep (false) while a job runs, a dialog reads the clips or
// a movie dialog adds clips. Main thread.
bool OpenWorkspaceFrom(const std::filesystem::path& path);

// The Open Workspace command: asks for a workspace file, then
// OpenWorkspaceFrom. Main thread.
void OpenWorkingSpace();
