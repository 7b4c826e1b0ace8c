// shell/AlignmentModes.h: the alignment modes chosen by holding digit keys; a
// click in the clips window reads them.
#pragma once

// Search size of alignment by difference while "1", "2" or "3" is held (0..2), else -1.
extern int gAutoAlignmentSearchSize;
// Alignment by brightness centroid while "4" is held.
extern bool gAlignByCentroid;
// Alignment by cross-correlation while "5" is held.
extern bool gAlignByCrossCorrelation;
// Search size of rotational alignment while "6", "7" or "8" is held (0..2), else -1.
extern int gAutoRotationalAlignmentSearchSize;

// The four modes as one value, for saving and restoring them together.
struct AlignmentModes {
    int autoAlignmentSearchSize = -1;
    bool alignByCentroid = false;
    bool alignByCrossCorrelation = false;
    int autoRotationalAlignmentSearchSize = -1;
};
AlignmentModes CurrentAlignmentModes();
void SetAlignmentModes(const AlignmentModes& modes);

// Turns off in modes the mode that releasing key ('1'..'8') ends; other keys
// change nothing.
void ReleaseModeKey(AlignmentModes& modes, char key);
