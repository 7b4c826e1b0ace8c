// shell/DialogPointers.cpp: the open-dialog pointers.
#include "shell/DialogPointers.h"

OpenFITSToStackInterface* gOpenFITSToStackInterface = nullptr;
SaveFITSInterface* gSaveFITSInterface = nullptr;
OpenRAWInterface* gOpenRAWInterface = nullptr;
SaveRAWInterface* gSaveRAWInterface = nullptr;
SaveWorkspaceInterface* gSaveWorkspaceInterface = nullptr;
DumpWorkspaceInterface* gDumpWorkspaceInterface = nullptr;
CreateHotPixelMaskInterface* gCreateHotPixelMaskInterface = nullptr;
SetAlignBrightThresholdInterface* gSetAlignBrightThresholdInterface = nullptr;
NormalizeClipsInterface* gNormalizeClipsInterface = nullptr;
MedianFilterClipsInterface* gMedianFilterClipsInterface = nullptr;
DebayerClipsInterface* gDebayerClipsInterface = nullptr;
HistogramLevelsInterface* gHistogramLevelsInterface = nullptr;
GaussianBlurInterface* gGaussianBlurInterface = nullptr;
UnsharpMaskInterface* gUnsharpMaskInterface = nullptr;
LaplacianPyramidInterface* gLaplacianPyramidInterface = nullptr;
StarBeautificationInterface* gStarBeautificationInterface = nullptr;
FTEditorInterface* gFTEditorInterface = nullptr;
WaveletThresholdInterface* gWaveletThresholdInterface = nullptr;
SortBySpectrumInterface* gSortBySpectrumInterface = nullptr;
