// shell/AlignmentModes.cpp: the held-key alignment modes.
#include "shell/AlignmentModes.h"

int gAutoAlignmentSearchSize = -1;
bool gAlignByCentroid = false;
bool gAlignByCrossCorrelation = false;
int gAutoRotationalAlignmentSearchSize = -1;

AlignmentModes CurrentAlignmentModes()
{
    return {gAutoAlignmentSearchSize, gAlignByCentroid, gAlignByCrossCorrelation, gAutoRotationalAlignmentSearchSize};
}

void SetAlignmentModes(const AlignmentModes& modes)
{
    gAutoAlignmentSearchSize = modes.autoAlignmentSearchSize;
    gAlignByCentroid = modes.alignByCentroid;
    gAlignByCrossCorrelation = modes.alignByCrossCorrelation;
    gAutoRotationalAlignmentSearchSize = modes.autoRotationalAlignmentSearchSize;
}

void ReleaseModeKey(AlignmentModes& modes, char key)
{
    switch (key) {
    case '1':
    case '2':
    case '3':
        modes.autoAlignmentSearchSize = -1;
        break;
    case '4':
        modes.alignByCentroid = false;
        break;
    case '5':
        modes.alignByCrossCorrelation = false;
        break;
    case '6':
    case '7':
    case '8':
        modes.autoRotationalAlignmentSearchSize = -1;
        break;
    default:
        break;
    }
}
