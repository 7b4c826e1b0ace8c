// shell/DialogPointers.h: one global per dialog class, non-null exactly while that
// dialog is open. Main thread only.
#pragma once

class OpenFITSToStackInterface;
class SaveFITSInterface;
class OpenRAWInterface;
class SaveRAWInterface;
class SaveWorkspaceInterface;
class DumpWorkspaceInterface;
class CreateHotPixelMaskInterface;
class SetAlignBrightThresholdInterface;
class NormalizeClipsInterface;
class MedianFilterClipsInterface;
class DebayerClipsInterface;
class HistogramLevelsInterface;
class GaussianBlurInterface;
class UnsharpMaskInterface;
class LaplacianPyramidInterface;
class StarBeautificationInterface;
class FTEditorInterface;
class WaveletThresholdInterface;
class SortBySpectrumInterface;

extern OpenFITSToStackInterface* gOpenFITSToStackInterface;
extern SaveFITSInterface* gSaveFITSInterface;
extern OpenRAWInterface* gOpenRAWInterface;
extern SaveRAWInterface* gSaveRAWInterface;
extern SaveWorkspaceInterface* gSaveWorkspaceInterface;
extern DumpWorkspaceInterface* gDumpWorkspaceInterface;
extern CreateHotPixelMaskInterface* gCreateHotPixelMaskInterface;
extern SetAlignBrightThresholdInterface* gSetAlignBrightThresholdInterface;
extern NormalizeClipsInterface* gNormalizeClipsInterface;
extern MedianFilterClipsInterface* gMedianFilterClipsInterface;
extern DebayerClipsInterface* gDebayerClipsInterface;
extern HistogramLevelsInterface* gHistogramLevelsInterface;
extern GaussianBlurInterface* gGaussianBlurInterface;
extern UnsharpMaskInterface* gUnsharpMaskInterface;
extern LaplacianPyramidInterface* gLaplacianPyramidInterface;
extern StarBeautificationInterface* gStarBeautificationInterface;
extern FTEditorInterface* gFTEditorInterface;
extern WaveletThresholdInterface* gWaveletThresholdInterface;
extern SortBySpectrumInterface* gSortBySpectrumInterface;
