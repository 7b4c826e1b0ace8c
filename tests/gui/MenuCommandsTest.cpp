// tests/gui/MenuCommandsTest.cpp: the command table's dispatch, the menus'
// numbering, check marks and enabling in each state of the program.
#include "app/Commands.h"

#include <map>
#include <set>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QAction>
#include <QMenu>
#include <QTimer>

#include <gtest/gtest.h>

#include "shell/DialogPointers.h"
#include "app/MenuBar.h"
#include "app/MenuState.h"
#include "shell/OperationBoundsRect.h"
#include "shell/Preferences.h"
#include "shell/ShellHooks.h"
#include "shell/ShellSettings.h"
#include "platform/qt/Controls.h"
#include "platform/qt/MenuModel.h"
#include "tests/gui/GuiTestApp.h"
#include "tests/support/ScriptedInteraction.h"

namespace {

// The program state the fake hooks answer with.
struct FakeState {
    bool job = false, clips = false, stack = false;
};
FakeState sState;

class MenuCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GuiTestApp();
        sState = FakeState{};
        ShellHooks& hooks = GetShellHooks();
        hooks = ShellHooks{};
        hooks.jobRunning = [] { return sState.job; };
        hooks.clipsExist = [] { return sState.clips; };
        hooks.stackExists = [] { return sState.stack; };
        GetCommandOperations() = CommandOperations{};
        gRedChannelOn = gGreenChannelOn = gBlueChannelOn = true;
        gOperationBoundsRect = kNoBoundsRect;
        gNumThreads = 1;
        gPow2BoundsDim = 128;
        gRotationMethod = 1;
        DestroyMenuBarForTesting();
        InstallShellCommands();
        MenuBarInit();
    }
    void TearDown() override
    {
        GetShellHooks() = ShellHooks{};
        GetCommandOperations() = CommandOperations{};
        DestroyMenuBarForTesting();
    }

    MenuModel& Menus() { return GetMenuModel(); }

    // The enabled items among those that carry a command or a submenu.
    std::set<int> Enabled(int menuId)
    {
        std::set<int> on;
        for (int item = 1; item <= Menus().ItemCount(menuId); ++item) {
            QAction* a = Menus().Item(menuId, item);
            if (a->isSeparator())
                continue;
            if (a->isEnabled())
                on.insert(item);
        }
        return on;
    }
    std::set<int> Checked(int menuId)
    {
        std::set<int> on;
        for (int item = 1; item <= Menus().ItemCount(menuId); ++item)
            if (Menus().IsItemChecked(menuId, item))
                on.insert(item);
        return on;
    }
    bool MenuOn(int menuId) { return Menus().IsMenuEnabled(menuId); }

    TemporaryPreferences mPrefs;
};

std::set<int> Range(int first, int last)
{
    std::set<int> s;
    for (int i = first; i <= last; ++i)
        s.insert(i);
    return s;
}

std::set<int> Join(std::set<int> a, const std::set<int>& b)
{
    a.insert(b.begin(), b.end());
    return a;
}

const char* const kAllCommands[] = {"abou", "open", "FiDF", "FiFF", "FiOF", "FiOR", "save", "FiSF", "FiSR", "FiOW",
                                    "FiSW", "FiDW", "clos", "quit", "sall", "EdDA", "EdIS", "EdSI", "OpHP", "OpAB",
                                    "OpAS", "OpCC", "OpSF", "OpGB", "OpUM", "OpLS", "OpFE", "OpWS", "OpLv", "OpSB",
                                    "ThSn", "ThNm", "ViSc", "ViMc", "ViLc", "ViMF", "ViSa", "ViSr", "ViSg", "ViSb",
                                    "ViSC", "ViSH", "RsCl", "StCl", "P2Bo", "TfSt", "RSSt", "RtNN", "RtBl"};

} // namespace

TEST_F(MenuCommandsTest, EveryCommandOfTheTableHasAnEntryAndNoOther)
{
    std::set<uint32_t> expected;
    for (const char* c : kAllCommands)
        expected.insert(FourCC(*reinterpret_cast<const char(*)[5]>(c)));
    EXPECT_EQ(expected.size(), 49u);
    const std::vector<uint32_t> registered = RegisteredCommands();
    EXPECT_EQ(std::set<uint32_t>(registered.begin(), registered.end()), expected);
    EXPECT_FALSE(MenuHandler(FourCC("zzzz"), 129, 1));
    EXPECT_FALSE(MenuHandler(0, 130, 1)); // Undo and the other items without a command
}

TEST_F(MenuCommandsTest, EveryMenuItemCarriesItsCommand)
{
    const std::map<std::string, std::pair<int, int>> where = {
        {"abou", {128, 1}},  {"open", {129, 1}},  {"FiDF", {129, 2}},  {"FiFF", {129, 3}},  {"FiOF", {129, 4}},
        {"FiOR", {129, 5}},  {"save", {129, 7}},  {"FiSF", {129, 8}},  {"FiSR", {129, 9}},  {"FiOW", {129, 10}},
        {"FiSW", {129, 12}}, {"FiDW", {129, 13}}, {"clos", {129, 15}}, {"quit", {129, 16}}, {"sall", {130, 8}},
        {"EdDA", {130, 9}},  {"EdIS", {130, 10}}, {"EdSI", {130, 11}}, {"OpHP", {131, 1}},  {"OpAB", {131, 2}},
        {"OpAS", {131, 4}},  {"OpCC", {131, 6}},  {"OpSF", {131, 10}}, {"OpGB", {131, 15}}, {"OpUM", {131, 16}},
        {"OpLS", {131, 17}}, {"OpFE", {131, 18}}, {"OpWS", {131, 19}}, {"OpLv", {131, 20}}, {"OpSB", {131, 21}},
        {"ThSn", {132, 1}},  {"ViSc", {133, 1}},  {"ViMc", {133, 2}},  {"ViLc", {133, 3}},  {"ViMF", {133, 5}},
        {"ViSa", {133, 7}},  {"ViSr", {133, 8}},  {"ViSg", {133, 9}},  {"ViSb", {133, 10}}, {"ViSC", {133, 12}},
        {"ViSH", {133, 13}}, {"RtNN", {105, 1}},  {"RtBl", {105, 2}}};
    for (const auto& [code, place] : where)
        EXPECT_EQ(FourCCText(Menus().ItemCommand(place.first, place.second)), code)
            << "menu " << place.first << " item " << place.second;
    for (int item = 4; item <= 15; ++item)
        EXPECT_EQ(FourCCText(Menus().ItemCommand(132, item)), "ThNm") << item;
    for (int item = 1; item <= 4; ++item)
        EXPECT_EQ(FourCCText(Menus().ItemCommand(102, item)), "P2Bo") << item;
    for (int item : {2, 3, 4, 5, 6, 9, 10, 11, 12, 13, 16, 17, 18, 19, 20, 23})
        EXPECT_EQ(FourCCText(Menus().ItemCommand(100, item)), "RsCl") << item;
    for (int item : {1, 6, 12, 18})
        EXPECT_EQ(FourCCText(Menus().ItemCommand(101, item)), "StCl") << item;
    for (int item = 1; item <= 5; ++item)
        EXPECT_EQ(FourCCText(Menus().ItemCommand(103, item)), "TfSt") << item;
    for (int item = 1; item <= 2; ++item)
        EXPECT_EQ(FourCCText(Menus().ItemCommand(104, item)), "RSSt") << item;
    // The six submenus hang from the Operations menu.
    for (int sub : {100, 101, 102, 103, 104, 105}) {
        bool found = false;
        for (int item = 1; item <= Menus().ItemCount(131); ++item)
            found |= Menus().Item(131, item)->menu() == Menus().Menu(sub);
        EXPECT_TRUE(found) << sub;
    }
    // Key equivalents always include Ctrl.
    for (int menu : {128, 129, 130, 131, 132, 133})
        for (int item = 1; item <= Menus().ItemCount(menu); ++item) {
            const QKeySequence keys = Menus().Item(menu, item)->shortcut();
            if (!keys.isEmpty()) {
                EXPECT_TRUE(keys[0].keyboardModifiers() & Qt::ControlModifier) << menu << "/" << item;
            }
        }
}

TEST_F(MenuCommandsTest, OperationCommandsReachTheirOperation)
{
    std::vector<std::string> calls;
    CommandOperations& ops = GetCommandOperations();
    auto record = [&calls](const char* name) { return [&calls, name] { calls.push_back(name); }; };
    ops.openImagesAndMovies = record("open");
    ops.openDarkFrame = record("FiDF");
    ops.openFlatFrame = record("FiFF");
    ops.openFITSToStackDialog = record("FiOF");
    ops.openRawAsStack = record("FiOR");
    ops.saveStackAsPict = record("save");
    ops.saveFITSDialog = record("FiSF");
    ops.saveRAWDialog = record("FiSR");
    ops.openWorkingSpace = record("FiOW");
    ops.saveWorkspaceDialog = record("FiSW");
    ops.dumpWorkspaceDialog = record("FiDW");
    ops.persistantSelectAllFrames = record("sall");
    ops.persistantSelectNoFrames = record("EdDA");
    ops.invertPersistantSelectFrames = record("EdIS");
    ops.persistantSelectSumStackIncludedFrames = record("EdSI");
    ops.hotPixelMaskDialog = record("OpHP");
    ops.alignBrightThresholdDialog = record("OpAB");
    ops.crop = record("OpCC");
    ops.createInitialStack = record("OpSF");
    ops.gaussianBlurDialog = record("OpGB");
    ops.unsharpMaskDialog = record("OpUM");
    ops.laplacianPyramidDialog = record("OpLS");
    ops.ftEditorDialog = record("OpFE");
    ops.waveletThresholdDialog = record("OpWS");
    ops.histogramLevelsDialog = record("OpLv");
    ops.starBeautificationDialog = record("OpSB");
    ops.resetCursor = record("cursor");
    const std::vector<std::string> plain = {"open", "FiDF", "FiFF", "FiOF", "FiOR", "save", "FiSF", "FiSR", "FiOW",
                                            "FiSW", "FiDW", "sall", "EdDA", "EdIS", "EdSI", "OpCC", "OpSF"};
    for (const std::string& code : plain) {
        calls.clear();
        EXPECT_TRUE(MenuHandler(FourCC(*reinterpret_cast<const char(*)[5]>(code.c_str())), 0, 0));
        EXPECT_EQ(calls, std::vector<std::string>{code});
    }
    // Tool dialogs reset the cursor first; file dialogs do not.
    gCursor = true;
    for (const std::string code : {"OpHP", "OpAB", "OpGB", "OpUM", "OpLS", "OpFE", "OpWS", "OpLv", "OpSB"}) {
        calls.clear();
        gCursor = true;
        EXPECT_TRUE(MenuHandler(FourCC(*reinterpret_cast<const char(*)[5]>(code.c_str())), 131, 0));
        EXPECT_EQ(calls, (std::vector<std::string>{"cursor", code}));
        EXPECT_FALSE(gCursor);
    }
    // Unbuilt operations are handled and do nothing.
    GetCommandOperations() = CommandOperations{};
    for (const std::string& code : plain)
        EXPECT_TRUE(MenuHandler(FourCC(*reinterpret_cast<const char(*)[5]>(code.c_str())), 0, 0));
}

TEST_F(MenuCommandsTest, ResampleItemsGiveMethodAndFactor)
{
    // Written from the menu's meaning: rows of factors 25 %, 50 %, 200 %, 300 %,
    // 400 % under nearest neighbour (0), bilinear (1), bicubic (2); item 23 bins (3).
    const std::map<int, std::pair<int, double>> table = {
        {2, {0, 0.25}}, {3, {0, 0.5}},  {4, {0, 2.0}},  {5, {0, 3.0}},  {6, {0, 4.0}},   {9, {1, 0.25}},
        {10, {1, 0.5}}, {11, {1, 2.0}}, {12, {1, 3.0}}, {13, {1, 4.0}}, {16, {2, 0.25}}, {17, {2, 0.5}},
        {18, {2, 2.0}}, {19, {2, 3.0}}, {20, {2, 4.0}}, {23, {3, 0.5}}};
    std::vector<std::pair<int, double>> calls;
    GetCommandOperations().resample = [&calls](int m, double f) { calls.push_back({m, f}); };
    for (const auto& [item, expected] : table) {
        calls.clear();
        ASSERT_TRUE(Menus().Trigger(kResampleClipsMenu, item));
        ASSERT_EQ(calls.size(), 1u) << item;
        EXPECT_EQ(calls[0], expected) << item;
    }
    // The headings carry no command.
    calls.clear();
    for (int item : {1, 7, 8, 14, 15, 21, 22})
        Menus().Trigger(kResampleClipsMenu, item);
    EXPECT_TRUE(calls.empty());
}

TEST_F(MenuCommandsTest, SortTransformAndBinPassTheirItem)
{
    std::vector<int> sorted, transformed, binned;
    GetCommandOperations().sortClips = [&](int item) { sorted.push_back(item); };
    GetCommandOperations().transformStack = [&](int item) { transformed.push_back(item); };
    GetCommandOperations().resampleStack = [&](int item) { binned.push_back(item); };
    for (int item : {1, 6, 12, 18})
        Menus().Trigger(kSortClipsMenu, item);
    for (int item = 1; item <= 5; ++item)
        Menus().Trigger(kTransformStackMenu, item);
    Menus().Trigger(kResampleStackMenu, 1);
    Menus().Trigger(kResampleStackMenu, 2);
    EXPECT_EQ(sorted, (std::vector<int>{1, 6, 12, 18}));
    EXPECT_EQ(transformed, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(binned, (std::vector<int>{1, 2}));
}

TEST_F(MenuCommandsTest, ThreadItemsSetTheCountAndItsMarkAndSaveIt)
{
    const int counts[] = {1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64};
    for (int item = 4; item <= 15; ++item) {
        Menus().Trigger(kThreadsMenu, item);
        EXPECT_EQ(gNumThreads, counts[item - 4]);
        EXPECT_EQ(Checked(kThreadsMenu), Join({1}, {item})); // 1: synchronise display
        EXPECT_EQ(LoadIntPreference("numThreads", -1), counts[item - 4]);
    }
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(ThreadItemForCount(counts[i]), 4 + i) << counts[i];
    EXPECT_EQ(ThreadItemForCount(5), 0);
    // Items outside 4..15 change nothing.
    MenuHandler(FourCC("ThNm"), kThreadsMenu, 3);
    MenuHandler(FourCC("ThNm"), kThreadsMenu, 16);
    EXPECT_EQ(gNumThreads, 64);
    EXPECT_EQ(Checked(kThreadsMenu), (std::set<int>{1, 15}));
}

TEST_F(MenuCommandsTest, StoredThreadCountNotOfferedBecomesOne)
{
    for (int stored : {5, 65, 0, -4}) {
        gNumThreads = stored;
        MenuBarInit();
        EXPECT_EQ(gNumThreads, 1) << stored;
        EXPECT_TRUE(Menus().IsItemChecked(kThreadsMenu, 4));
    }
    gNumThreads = 12;
    MenuBarInit();
    EXPECT_TRUE(Menus().IsItemChecked(kThreadsMenu, 10));
    EXPECT_FALSE(Menus().IsItemChecked(kThreadsMenu, 4));
}

TEST_F(MenuCommandsTest, SquareSizeItems)
{
    EXPECT_EQ(Checked(kSquareBoundsMenu), std::set<int>{3}); // 128 at start
    const int sides[] = {32, 64, 128, 256};
    for (int item = 1; item <= 4; ++item) {
        Menus().Trigger(kSquareBoundsMenu, item);
        EXPECT_EQ(gPow2BoundsDim, sides[item - 1]);
        EXPECT_EQ(Checked(kSquareBoundsMenu), std::set<int>{item});
    }
}

TEST_F(MenuCommandsTest, SettingsTogglesMarkAndSave)
{
    Menus().Trigger(kThreadsMenu, 1);
    EXPECT_FALSE(gSyncThreadDisplay);
    EXPECT_FALSE(Menus().IsItemChecked(kThreadsMenu, 1));
    EXPECT_FALSE(LoadBooleanPreference("syncThreadDisplay", true));
    Menus().Trigger(kViewMenu, 5);
    EXPECT_TRUE(gMinimalVisualFeedback);
    EXPECT_TRUE(Menus().IsItemChecked(kViewMenu, 5));
    EXPECT_TRUE(LoadBooleanPreference("minimalVisualFeedback", false));
    Menus().Trigger(kViewMenu, 5);
    EXPECT_FALSE(gMinimalVisualFeedback);

    int relayouts = 0;
    GetCommandOperations().relayoutClipsWindow = [&] { ++relayouts; };
    const int sizes[] = {32, 64, 128};
    for (int item = 1; item <= 3; ++item) {
        Menus().Trigger(kViewMenu, item);
        EXPECT_EQ(gMaxClipWidthOrHeight, sizes[item - 1]);
        EXPECT_EQ(LoadIntPreference("maxClipWidthOrHeight", 0), sizes[item - 1]);
        for (int other = 1; other <= 3; ++other)
            EXPECT_EQ(Menus().IsItemChecked(kViewMenu, other), other == item);
    }
    EXPECT_EQ(relayouts, 3);

    // Not saved, but marked.
    Menus().Trigger(kOperationsMenu, 4);
    EXPECT_TRUE(gAlignChannelsSeparately);
    EXPECT_TRUE(Menus().IsItemChecked(kOperationsMenu, 4));
    Menus().Trigger(kOperationsMenu, 4);
    EXPECT_FALSE(gAlignChannelsSeparately);
    EXPECT_FALSE(Menus().IsItemChecked(kOperationsMenu, 4));
}

TEST_F(MenuCommandsTest, RotationMethodReRendersOnlyOnChange)
{
    int updates = 0;
    GetCommandOperations().updateFrames = [&] { ++updates; };
    Menus().Trigger(kRotationMethodMenu, 1);
    EXPECT_EQ(updates, 0);
    Menus().Trigger(kRotationMethodMenu, 2);
    EXPECT_EQ(gRotationMethod, 2);
    EXPECT_EQ(Checked(kRotationMethodMenu), std::set<int>{2});
    Menus().Trigger(kRotationMethodMenu, 2);
    EXPECT_EQ(updates, 1);
    Menus().Trigger(kRotationMethodMenu, 1);
    EXPECT_EQ(Checked(kRotationMethodMenu), std::set<int>{1});
    EXPECT_EQ(updates, 2);
}

TEST_F(MenuCommandsTest, ChannelViewMarksFollowTheFlags)
{
    int projections = 0;
    GetCommandOperations().projectStack = [&] { ++projections; };
    const struct {
        int item;
        bool r, g, b;
    } views[] = {{8, true, false, false}, {9, false, true, false}, {10, false, false, true}, {7, true, true, true}};
    for (const auto& v : views) {
        Menus().Trigger(kViewMenu, v.item);
        EXPECT_EQ(gRedChannelOn, v.r);
        EXPECT_EQ(gGreenChannelOn, v.g);
        EXPECT_EQ(gBlueChannelOn, v.b);
        std::set<int> marks = Checked(kViewMenu);
        for (int i : {1, 2, 3, 5})
            marks.erase(i);
        EXPECT_EQ(marks, std::set<int>{v.item});
    }
    EXPECT_EQ(projections, 4);

    // A filter dialog shows all channels again when it closes; the mark follows.
    sState.clips = sState.stack = true;
    Menus().Trigger(kViewMenu, 8);
    NoteDialogOpened();
    UpdateMenuState();
    gRedChannelOn = gGreenChannelOn = gBlueChannelOn = true;
    NoteDialogClosed();
    UpdateMenuState();
    EXPECT_TRUE(Menus().IsItemChecked(kViewMenu, 7));
    EXPECT_FALSE(Menus().IsItemChecked(kViewMenu, 8));
}

TEST_F(MenuCommandsTest, EnablingInEachState)
{
    const std::set<int> appItems = {1};
    auto expectFile = [&](const std::set<int>& items) { EXPECT_EQ(Enabled(kFileMenu), items); };
    const std::set<int> editOn = {8, 9, 10, 11};
    const std::set<int> clipOps = {1, 2, 4, 5, 7, 8, 10};
    const std::set<int> stackOps = Range(13, 21);
    const std::set<int> viewNoDialog = {1, 2, 3, 5, 12, 13};
    const std::set<int> channels = {7, 8, 9, 10};

    // Start: no document.
    UpdateMenuState();
    EXPECT_TRUE(MenuOn(kAppMenu));
    EXPECT_TRUE(MenuOn(kFileMenu));
    expectFile({1, 4, 5, 10, 15, 16});
    EXPECT_FALSE(MenuOn(kEditMenu));
    EXPECT_EQ(Enabled(kEditMenu), editOn);
    EXPECT_FALSE(MenuOn(kOperationsMenu));
    EXPECT_TRUE(MenuOn(kThreadsMenu));
    EXPECT_TRUE(MenuOn(kViewMenu));
    EXPECT_EQ(Enabled(kViewMenu), viewNoDialog);

    // Pictures opened.
    sState.clips = true;
    UpdateMenuState();
    expectFile({1, 2, 3, 10, 12, 13, 15, 16});
    EXPECT_TRUE(MenuOn(kEditMenu));
    EXPECT_TRUE(MenuOn(kOperationsMenu));
    EXPECT_EQ(Enabled(kOperationsMenu), clipOps);

    // Stack made.
    sState.stack = true;
    UpdateMenuState();
    expectFile({1, 2, 3, 7, 8, 9, 10, 12, 13, 15, 16});
    EXPECT_EQ(Enabled(kOperationsMenu), Join(clipOps, stackOps));
    EXPECT_EQ(Enabled(kViewMenu), Join(viewNoDialog, channels));

    // Bounds rectangle drawn.
    gOperationBoundsRect = MakeRect(0, 0, 10, 10);
    UpdateMenuState();
    EXPECT_EQ(Enabled(kOperationsMenu), Join(Join(clipOps, stackOps), {6, 9}));
    DestroyOperationBoundsRect();
    EXPECT_EQ(Enabled(kOperationsMenu), Join(clipOps, stackOps));

    // A stack from FITS with no clips.
    sState.clips = false;
    UpdateMenuState();
    expectFile({1, 4, 5, 7, 8, 9, 10, 15, 16});
    EXPECT_FALSE(MenuOn(kEditMenu));
    EXPECT_TRUE(MenuOn(kOperationsMenu));
    EXPECT_EQ(Enabled(kOperationsMenu), stackOps);
    EXPECT_EQ(Enabled(kAppMenu), appItems);
}

TEST_F(MenuCommandsTest, DialogsDisableFileEditOperationsAndSomeViewItems)
{
    for (bool document : {true, false}) {
        sState.clips = sState.stack = document;
        NoteDialogOpened();
        UpdateMenuState();
        EXPECT_FALSE(MenuOn(kFileMenu));
        EXPECT_FALSE(MenuOn(kEditMenu));
        EXPECT_FALSE(MenuOn(kOperationsMenu));
        EXPECT_TRUE(MenuOn(kViewMenu));
        const std::set<int> channelsOnly = {7, 8, 9, 10};
        EXPECT_EQ(Enabled(kViewMenu), document ? channelsOnly : std::set<int>());
        EXPECT_TRUE(MenuOn(kAppMenu));
        EXPECT_TRUE(MenuOn(kThreadsMenu));
        NoteDialogClosed();
        UpdateMenuState();
        EXPECT_TRUE(MenuOn(kFileMenu));
        // Without a document, closing a dialog leaves Edit and Operations off.
        EXPECT_EQ(MenuOn(kEditMenu), document);
        EXPECT_EQ(MenuOn(kOperationsMenu), document);
    }
    // Two dialogs, one closed: Close and Quit stay unavailable.
    NoteDialogOpened();
    NoteDialogOpened();
    NoteDialogClosed();
    UpdateMenuState();
    EXPECT_FALSE(MenuOn(kFileMenu));
    NoteDialogClosed();
    UpdateMenuState();
    EXPECT_TRUE(MenuOn(kFileMenu));
    // A dialog pointer of the document dialogs counts as open too.
    gSaveFITSInterface = reinterpret_cast<SaveFITSInterface*>(this);
    UpdateMenuState();
    EXPECT_FALSE(MenuOn(kFileMenu));
    gSaveFITSInterface = nullptr;
}

TEST_F(MenuCommandsTest, JobsDisableEveryMenuAndItsEndRespectsADialogItOpened)
{
    sState.clips = true;
    sState.job = true;
    UpdateMenuState();
    for (int menu : {128, 129, 130, 131, 132, 133})
        EXPECT_FALSE(MenuOn(menu)) << menu;
    sState.job = false;
    UpdateMenuState();
    for (int menu : {128, 129, 130, 131, 132, 133})
        EXPECT_TRUE(MenuOn(menu)) << menu;

    // The job's final procedure opens the sort-by-spectrum dialog.
    sState.job = true;
    UpdateMenuState();
    gSortBySpectrumInterface = reinterpret_cast<SortBySpectrumInterface*>(this);
    sState.job = false;
    UpdateMenuState();
    EXPECT_FALSE(MenuOn(kFileMenu));
    EXPECT_FALSE(MenuOn(kOperationsMenu));
    EXPECT_TRUE(MenuOn(kViewMenu));
    gSortBySpectrumInterface = nullptr;
}

TEST_F(MenuCommandsTest, OutOfMemoryInADialogLeavesNoDialog)
{
    ScriptedInteraction ui;
    sState.clips = sState.stack = true;
    UpdateMenuState();
    const std::set<int> before = Enabled(kOperationsMenu);
    GetCommandOperations().gaussianBlurDialog = [] {
        NoteDialogOpened(); // half built, then undone by its own destructor
        NoteDialogClosed();
        throw std::bad_alloc();
    };
    EXPECT_TRUE(MenuHandler(FourCC("OpGB"), 131, 15));
    ASSERT_EQ(ui.AlertCount(), 1);
    EXPECT_EQ(ui.Alerts()[0].request.title, "Out of Memory Error");
    EXPECT_EQ(gGaussianBlurInterface, nullptr);
    EXPECT_TRUE(MenuOn(kOperationsMenu));
    EXPECT_EQ(Enabled(kOperationsMenu), before);
}

TEST_F(MenuCommandsTest, QuitIsRefusedWithOneBeepDuringAJob)
{
    ScriptedInteraction ui;
    sState.job = true;
    EXPECT_TRUE(MenuHandler(FourCC("quit"), 129, 16));
    EXPECT_FALSE(RequestQuit());
    EXPECT_EQ(ui.BeepCount(), 2);

    // Idle: the loop ends.
    sState.job = false;
    QTimer::singleShot(0, [] { MenuHandler(FourCC("quit"), 129, 16); });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    bool timedOut = false;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    watchdog.start(5000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(ui.BeepCount(), 2);
}

TEST_F(MenuCommandsTest, AboutOpensTheAboutBox)
{
    bool shown = false;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        shown = box->objectName() == "AboutBox";
        qobject_cast<QAbstractButton*>(GetControlByID(box, kControlSignature, 1000).Widget())->click();
    });
    EXPECT_TRUE(MenuHandler(FourCC("abou"), 128, 1));
    EXPECT_TRUE(shown);
}
