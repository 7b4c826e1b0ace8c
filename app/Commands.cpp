// app/Commands.cpp: the registry, the command table and the shell's own commands.
#include "app/Commands.h"

#include <cmath>
#include <map>
#include <new>

#include <QApplication>

#include "app/MainWindows.h"
#include "app/MenuBar.h"
#include "app/MenuState.h"
#include "shell/ModalDialogs.h"
#include "shell/OperationBoundsRect.h"
#include "shell/Preferences.h"
#include "shell/ShellHooks.h"
#include "shell/ShellSettings.h"
#include "platform/core/StandardAlerts.h"
#include "platform/core/UserInteraction.h"
#include "platform/qt/MenuModel.h"

namespace {

std::map<uint32_t, CommandFunction>& Registry()
{
    static std::map<uint32_t, CommandFunction> sRegistry;
    return sRegistry;
}

// A command that calls operation op of the operations table (if built).
template <class F> CommandFunction Call(F CommandOperations::*op)
{
    return [op](const CommandContext&) {
        if (const auto& f = GetCommandOperations().*op)
            f();
    };
}

// Runs a dialog factory; out of memory leaves no dialog and says so once.
void CreateDialog(const std::function<void()>& factory)
{
    if (!factory)
        return;
    try {
        factory();
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
    }
    UpdateMenuState();
}

CommandFunction FileDialog(std::function<void()> CommandOperations::*op)
{
    return [op](const CommandContext&) { CreateDialog(GetCommandOperations().*op); };
}

CommandFunction ToolDialog(std::function<void()> CommandOperations::*op)
{
    return [op](const CommandContext&) {
        // Tool dialogs take the pixel-value cursor away first.
        TellShell(GetCommandOperations().resetCursor);
        gCursor = false;
        CreateDialog(GetCommandOperations().*op);
    };
}

void SetClipSize(int size)
{
    gMaxClipWidthOrHeight = size;
    SaveMaxClipWidthOrHeightPreference(size);
    TellShell(GetCommandOperations().relayoutClipsWindow);
    MenuModel& m = GetMenuModel();
    m.SetItemChecked(kViewMenu, 1, size == 32);
    m.SetItemChecked(kViewMenu, 2, size == 64);
    m.SetItemChecked(kViewMenu, 3, size == 128);
}

void SetChannels(bool red, bool green, bool blue)
{
    gRedChannelOn = red;
    gGreenChannelOn = green;
    gBlueChannelOn = blue;
    UpdateMenuState(); // the channel marks follow the flags
    TellShell(GetCommandOperations().projectStack);
}

void SetRotationMethod(int method)
{
    if (gRotationMethod == method)
        return;
    gRotationMethod = method;
    GetMenuModel().SetItemChecked(kRotationMethodMenu, 1, method == 1);
    GetMenuModel().SetItemChecked(kRotationMethodMenu, 2, method == 2);
    TellShell(GetCommandOperations().updateFrames);
}

} // namespace

void RegisterCommand(uint32_t command, CommandFunction function)
{
    Registry()[command] = std::move(function);
}

bool HasCommand(uint32_t command)
{
    return Registry().count(command) != 0;
}

std::vector<uint32_t> RegisteredCommands()
{
    std::vector<uint32_t> commands;
    for (const auto& entry : Registry())
        commands.push_back(entry.first);
    return commands;
}

bool MenuHandler(uint32_t command, int menuId, int item)
{
    const auto it = Registry().find(command);
    if (it == Registry().end() || !it->second)
        return false;
    // The entry may replace itself; run a copy.
    const CommandFunction function = it->second;
    function(CommandContext{command, menuId, item});
    // Whatever the command changed (clips, stack, dialogs), the menus follow.
    UpdateMenuState();
    return true;
}

bool ResampleForItem(int item, int& method, double& factor)
{
    if (item < 1 || item > 28)
        return false;
    method = (item - 1) / 7;
    if (item >= 22) {
        factor = 0.5; // binning
        return true;
    }
    static const double kFactors[] = {0.0, 0.25, 0.5, 2.0, 3.0, 4.0, 0.0};
    factor = kFactors[(item - 1) % 7];
    return factor != 0.0;
}

bool RequestQuit()
{
    if (IsJobRunning()) {
        SysBeep();
        return false;
    }
    // exit, not quit: quit asks every window to close, and the program's
    // windows answer a close by hiding (or refuse it).
    QCoreApplication::exit(0);
    return true;
}

void InstallShellCommands()
{
    using O = CommandOperations;
    RegisterCommand(FourCC("abou"), [](const CommandContext&) { DoAboutBox(); });
    RegisterCommand(FourCC("open"), Call(&O::openImagesAndMovies));
    RegisterCommand(FourCC("FiDF"), Call(&O::openDarkFrame));
    RegisterCommand(FourCC("FiFF"), Call(&O::openFlatFrame));
    RegisterCommand(FourCC("FiOF"), FileDialog(&O::openFITSToStackDialog));
    RegisterCommand(FourCC("FiOR"), Call(&O::openRawAsStack));
    RegisterCommand(FourCC("save"), Call(&O::saveStackAsPict));
    RegisterCommand(FourCC("FiSF"), FileDialog(&O::saveFITSDialog));
    RegisterCommand(FourCC("FiSR"), FileDialog(&O::saveRAWDialog));
    RegisterCommand(FourCC("FiOW"), Call(&O::openWorkingSpace));
    RegisterCommand(FourCC("FiSW"), FileDialog(&O::saveWorkspaceDialog));
    RegisterCommand(FourCC("FiDW"), FileDialog(&O::dumpWorkspaceDialog));
    RegisterCommand(FourCC("clos"), [](const CommandContext&) { CloseFrontWindow(); });
    RegisterCommand(FourCC("quit"), [](const CommandContext&) { RequestQuit(); });

    RegisterCommand(FourCC("sall"), Call(&O::persistantSelectAllFrames));
    RegisterCommand(FourCC("EdDA"), Call(&O::persistantSelectNoFrames));
    RegisterCommand(FourCC("EdIS"), Call(&O::invertPersistantSelectFrames));
    RegisterCommand(FourCC("EdSI"), Call(&O::persistantSelectSumStackIncludedFrames));

    RegisterCommand(FourCC("OpHP"), ToolDialog(&O::hotPixelMaskDialog));
    RegisterCommand(FourCC("OpAB"), ToolDialog(&O::alignBrightThresholdDialog));
    RegisterCommand(FourCC("OpAS"), [](const CommandContext&) {
        gAlignChannelsSeparately = !gAlignChannelsSeparately;
        GetMenuModel().SetItemChecked(kOperationsMenu, 4, gAlignChannelsSeparately);
    });
    RegisterCommand(FourCC("OpCC"), Call(&O::crop));
    RegisterCommand(FourCC("OpSF"), Call(&O::createInitialStack));
    RegisterCommand(FourCC("OpGB"), ToolDialog(&O::gaussianBlurDialog));
    RegisterCommand(FourCC("OpUM"), ToolDialog(&O::unsharpMaskDialog));
    RegisterCommand(FourCC("OpLS"), ToolDialog(&O::laplacianPyramidDialog));
    RegisterCommand(FourCC("OpFE"), ToolDialog(&O::ftEditorDialog));
    RegisterCommand(FourCC("OpWS"), ToolDialog(&O::waveletThresholdDialog));
    RegisterCommand(FourCC("OpLv"), ToolDialog(&O::histogramLevelsDialog));
    RegisterCommand(FourCC("OpSB"), ToolDialog(&O::starBeautificationDialog));

    RegisterCommand(FourCC("ThSn"), [](const CommandContext&) {
        gSyncThreadDisplay = !gSyncThreadDisplay;
        SaveSyncThreadDisplayPreference(gSyncThreadDisplay);
        GetMenuModel().SetItemChecked(kThreadsMenu, 1, gSyncThreadDisplay);
    });
    RegisterCommand(FourCC("ThNm"), [](const CommandContext& c) {
        if (c.item < kFirstThreadItem || c.item >= kFirstThreadItem + 12)
            return;
        gNumThreads = kThreadCounts[c.item - kFirstThreadItem];
        SaveNumThreadsPreference(gNumThreads);
        for (int item = kFirstThreadItem; item < kFirstThreadItem + 12; ++item)
            GetMenuModel().SetItemChecked(kThreadsMenu, item, item == c.item);
    });
    RegisterCommand(FourCC("ViSc"), [](const CommandContext&) { SetClipSize(32); });
    RegisterCommand(FourCC("ViMc"), [](const CommandContext&) { SetClipSize(64); });
    RegisterCommand(FourCC("ViLc"), [](const CommandContext&) { SetClipSize(128); });
    RegisterCommand(FourCC("ViMF"), [](const CommandContext&) {
        gMinimalVisualFeedback = !gMinimalVisualFeedback;
        SaveMinimalVisualFeedbackPreference(gMinimalVisualFeedback);
        GetMenuModel().SetItemChecked(kViewMenu, 5, gMinimalVisualFeedback);
    });
    RegisterCommand(FourCC("ViSa"), [](const CommandContext&) { SetChannels(true, true, true); });
    RegisterCommand(FourCC("ViSr"), [](const CommandContext&) { SetChannels(true, false, false); });
    RegisterCommand(FourCC("ViSg"), [](const CommandContext&) { SetChannels(false, true, false); });
    RegisterCommand(FourCC("ViSb"), [](const CommandContext&) { SetChannels(false, false, true); });
    RegisterCommand(FourCC("ViSC"), [](const CommandContext&) { ShowAndRaise(gCommandsWindow); });
    RegisterCommand(FourCC("ViSH"), [](const CommandContext&) { ShowAndRaise(gHintsWindow); });

    RegisterCommand(FourCC("RsCl"), [](const CommandContext& c) {
        int method = 0;
        double factor = 0.0;
        if (!ResampleForItem(c.item, method, factor))
            return;
        if (const auto& resample = GetCommandOperations().resample)
            resample(method, factor);
    });
    RegisterCommand(FourCC("StCl"), [](const CommandContext& c) {
        if (const auto& sort = GetCommandOperations().sortClips)
            sort(c.item);
    });
    RegisterCommand(FourCC("P2Bo"), [](const CommandContext& c) {
        if (c.item < 1 || c.item > 4)
            return;
        gPow2BoundsDim = int(std::lround(std::pow(2.0, c.item + 4)));
        const int checked = int(std::lround(std::log2(gPow2BoundsDim))) - 4;
        for (int item = 1; item <= 4; ++item)
            GetMenuModel().SetItemChecked(kSquareBoundsMenu, item, item == checked);
    });
    RegisterCommand(FourCC("TfSt"), [](const CommandContext& c) {
        if (const auto& transform = GetCommandOperations().transformStack)
            transform(c.item);
    });
    RegisterCommand(FourCC("RSSt"), [](const CommandContext& c) {
        if (const auto& bin = GetCommandOperations().resampleStack)
            bin(c.item);
    });
    RegisterCommand(FourCC("RtNN"), [](const CommandContext&) { SetRotationMethod(1); });
    RegisterCommand(FourCC("RtBl"), [](const CommandContext&) { SetRotationMethod(2); });
}
