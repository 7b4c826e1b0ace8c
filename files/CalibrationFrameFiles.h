// files/CalibrationFrameFiles.h: the Open Dark Frame and Open Flat Frame
// commands: one picture file becomes the document's dark or flat frame.
#pragma once

#include <filesystem>

#include "platform/core/Geometry.h"

enum class CalibrationFrameKind { dark, flat };

// "FiDF" and "FiFF": choose one picture file (the picture types, or any
// file) and load it with LoadCalibrationFrameFile. A cancelled chooser does
// nothing. Main thread only.
void OpenDarkFrame();
void OpenFlatFrame();

// The size a new dark or flat frame takes: that of the frame it replaces,
// else that of the other calibration frame (both keep the sensor's size when
// the clips are cropped, and the clips find their pixels in them through
// their calibration rectangles), else the sensor's size after a crop
// (gSensorDim), else the document's image size. Empty without a document.
// Main thread only.
Rect CalibrationFrameTargetDim(CalibrationFrameKind kind);

// Loads file as the dark or flat frame:
// - refused with a beep while a job runs or a dialog reads the clips, or
//   without a document;
// - a file that cannot be read as a picture (missing, unknown, damaged,
//   absurd size): nothing changes and nothing is shown;
// - a picture whose bottom or right differs from CalibrationFrameTargetDim's
//   asks the wrong-size question; declined, nothing changes;
// - the picture is drawn onto a new image of that size, stretched each axis
//   on its own when its size differs, and handed to UseAsDarkFrame /
//   UseAsFlatFrame (engine/CalibrationWindows.h);
// - out of memory: the out-of-memory alert.
// The document's frame is replaced only on success: every failure keeps the
// frame it had. Returns true when the frame was replaced. Main thread only.
bool LoadCalibrationFrameFile(CalibrationFrameKind kind, const std::filesystem::path& file);

// Fills the command table's dark, flat and hot-pixel entries, the clips
// window's dark and flat clicks and the two windows' redraws. Main thread,
// at start-up.
void InstallCalibrationFrameFiles();
