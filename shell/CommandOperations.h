// shell/CommandOperations.h: the operations and dialogs of the subsystems
// that the program's commands start, filled in by those subsystems at
// start-up and called by the command table (app/Commands.h). Main thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

// The operations and dialogs of other subsystems that commands start. An
// unset operation is one not built yet: its command does nothing.
// Dialog factories create the dialog and store it in its global pointer; they
// may throw std::bad_alloc, which the command turns into the out-of-memory
// alert with no dialog left behind.
struct CommandOperations {
    // Files
    std::function<void()> openImagesAndMovies; // "open": choose files and import them
    // Files handed to the program from outside (command line, desktop): imported as "open" does.
    std::function<void(const std::vector<std::string>& paths)> openDocuments;
    std::function<void()> openDarkFrame;         // "FiDF"
    std::function<void()> openFlatFrame;         // "FiFF"
    std::function<void()> openRawAsStack;        // "FiOR"
    std::function<void()> saveStackAsPict;       // "save"
    std::function<void()> openWorkingSpace;      // "FiOW"
    std::function<void()> openFITSToStackDialog; // "FiOF"
    std::function<void()> saveFITSDialog;        // "FiSF"
    std::function<void()> saveRAWDialog;         // "FiSR"
    std::function<void()> saveWorkspaceDialog;   // "FiSW"
    std::function<void()> dumpWorkspaceDialog;   // "FiDW"
    // Selection
    std::function<void()> persistantSelectAllFrames;              // "sall"
    std::function<void()> persistantSelectNoFrames;               // "EdDA" (with redraw)
    std::function<void()> invertPersistantSelectFrames;           // "EdIS"
    std::function<void()> persistantSelectSumStackIncludedFrames; // "EdSI"
    // Clip and stack operations
    std::function<void()> crop;                              // "OpCC"
    std::function<void()> createInitialStack;                // "OpSF"
    std::function<void(int method, double factor)> resample; // "RsCl"
    std::function<void(int item)> sortClips;                 // "StCl"
    std::function<void(int item)> transformStack;            // "TfSt"
    std::function<void(int item)> resampleStack;             // "RSSt"
    std::function<void()> updateFrames;                      // "RtNN", "RtBl": re-render every clip
    std::function<void()> deleteFrameStack;                  // "clos" on the frame-stack window
    std::function<void()> relayoutClipsWindow;               // clip size: fit the clips window and redraw it
    std::function<void()> projectStack;                      // channel view: rebuild the stack's display
    std::function<void()> resetCursor;                       // back to the arrow
    // Tool dialogs
    std::function<void()> hotPixelMaskDialog;         // "OpHP"
    std::function<void()> alignBrightThresholdDialog; // "OpAB"
    std::function<void()> gaussianBlurDialog;         // "OpGB"
    std::function<void()> unsharpMaskDialog;          // "OpUM"
    std::function<void()> laplacianPyramidDialog;     // "OpLS"
    std::function<void()> ftEditorDialog;             // "OpFE"
    std::function<void()> waveletThresholdDialog;     // "OpWS"
    std::function<void()> histogramLevelsDialog;      // "OpLv"
    std::function<void()> starBeautificationDialog;   // "OpSB"
};
CommandOperations& GetCommandOperations();
