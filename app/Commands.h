// app/Commands.h: the command table. Every menu item's four-character command
// reaches one registry entry; the entries call the operations of the other
// subsystems through CommandOperations, which those subsystems fill in.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct CommandContext {
    uint32_t command = 0;
    int menuId = 0;
    int item = 0; // item number in its menu, from 1
};
using CommandFunction = std::function<void(const CommandContext&)>;

// Adds or replaces the entry of a command. Main thread only.
void RegisterCommand(uint32_t command, CommandFunction function);
bool HasCommand(uint32_t command);
// Every command with an entry.
std::vector<uint32_t> RegisteredCommands();

// Runs the entry of command; returns false (not handled) when it has none.
// Every command of the table is handled, also when it refuses. Main thread only.
bool MenuHandler(uint32_t command, int menuId, int item);

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

// Installs the entries of every command of the table. Main thread only.
void InstallShellCommands();

// The resample method and factor of an item of the resample menu: method =
// (item - 1) / 7, factor by (item - 1) mod 7: 1 -> 0.25, 2 -> 0.5, 3 -> 2,
// 4 -> 3, 5 -> 4; items 22..28 always 0.5. False for the other items.
bool ResampleForItem(int item, int& method, double& factor);

// The quit request (menu, logout, signal): refused with one beep while a job
// runs; otherwise ends the event loop. Returns true when the program quits.
bool RequestQuit();
