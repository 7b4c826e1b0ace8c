// app/MenuBar.cpp: the authored menus and their start state.
#include "app/MenuBar.h"

#include <cmath>
#include <memory>

#include <QAction>
#include <QMenu>

#include "app/Commands.h"
#include "app/MenuState.h"
#include "shell/OperationBoundsRect.h"
#include "shell/ShellSettings.h"
#include "platform/qt/MenuModel.h"

namespace {

std::unique_ptr<MenuModel> sModel;

QKeySequence Ctrl(const char* key)
{
    return QKeySequence(QStringLiteral("Ctrl+") + QLatin1String(key));
}

QKeySequence CtrlShift(const char* key)
{
    return QKeySequence(QStringLiteral("Ctrl+Shift+") + QLatin1String(key));
}

void BuildSubmenus(MenuModel& m)
{
    // Resample clips: item (method * 7 + k + 1) for factor k, the numbers the
    // command decodes; each method's block starts with its heading.
    m.AddMenu(kResampleClipsMenu, QStringLiteral("Resample Clips"), false);
    const char* const methods[] = {"Nearest Neighbour", "Bilinear", "Bicubic"};
    const char* const factors[] = {"25%", "50%", "200%", "300%", "400%"};
    for (int method = 0; method < 3; ++method) {
        m.AddSeparator(kResampleClipsMenu, QLatin1String(methods[method]));
        for (const char* f : factors)
            m.AddItem(kResampleClipsMenu, QLatin1String(f), FourCC("RsCl"));
        m.AddSeparator(kResampleClipsMenu);
    }
    m.AddSeparator(kResampleClipsMenu, QStringLiteral("Binning"));
    m.AddItem(kResampleClipsMenu, QStringLiteral("2 x 2 Bin (50%)"), FourCC("RsCl"));

    // Sort clips: the four sorts at items 1, 6, 12 and 18; separators between
    // (shown as one) keep those numbers.
    m.AddMenu(kSortClipsMenu, QStringLiteral("Sort Clips"), false);
    const struct {
        int item;
        const char* text;
    } sorts[] = {{1, "By Difference from Clip 1"},
                 {6, "By Brightness"},
                 {12, "By Brightness Range"},
                 {18, "By Power Spectrum..."}};
    for (const auto& sort : sorts) {
        while (m.ItemCount(kSortClipsMenu) < sort.item - 1)
            m.AddSeparator(kSortClipsMenu);
        m.AddItem(kSortClipsMenu, QLatin1String(sort.text), FourCC("StCl"));
    }

    m.AddMenu(kSquareBoundsMenu, QStringLiteral("Square Bounds Size"), false);
    for (const char* side : {"32 x 32", "64 x 64", "128 x 128", "256 x 256"})
        m.AddItem(kSquareBoundsMenu, QLatin1String(side), FourCC("P2Bo"), {}, true);

    m.AddMenu(kTransformStackMenu, QStringLiteral("Transform Stack"), false);
    for (const char* t : {"Rotate 90° Clockwise", "Rotate 180°", "Rotate 90° Counter-Clockwise", "Mirror Left-Right",
                          "Mirror Top-Bottom"})
        m.AddItem(kTransformStackMenu, QString::fromUtf8(t), FourCC("TfSt"));

    m.AddMenu(kResampleStackMenu, QStringLiteral("Bin Stack"), false);
    m.AddItem(kResampleStackMenu, QStringLiteral("2 x 2"), FourCC("RSSt"));
    m.AddItem(kResampleStackMenu, QStringLiteral("3 x 3"), FourCC("RSSt"));

    m.AddMenu(kRotationMethodMenu, QStringLiteral("Rotation Method"), false);
    m.AddItem(kRotationMethodMenu, QStringLiteral("Nearest Neighbour"), FourCC("RtNN"), {}, true);
    m.AddItem(kRotationMethodMenu, QStringLiteral("Bilinear"), FourCC("RtBl"), {}, true);
}

void BuildMenus(MenuModel& m)
{
    BuildSubmenus(m);

    m.AddMenu(kAppMenu, QStringLiteral("Velmora"), true);
    m.AddItem(kAppMenu, QStringLiteral("About Velmora"), FourCC("abou"));

    m.AddMenu(kFileMenu, QStringLiteral("File"), true);
    m.AddItem(kFileMenu, QStringLiteral("Open Pictures and Movies..."), FourCC("open"), Ctrl("O")); // 1
    m.AddItem(kFileMenu, QStringLiteral("Open Dark Frame..."), FourCC("FiDF"));                     // 2
    m.AddItem(kFileMenu, QStringLiteral("Open Flat Frame..."), FourCC("FiFF"));                     // 3
    m.AddItem(kFileMenu, QStringLiteral("Open FITS as Stack..."), FourCC("FiOF"));                  // 4
    m.AddItem(kFileMenu, QStringLiteral("Open Raw as Stack..."), FourCC("FiOR"));                   // 5
    m.AddSeparator(kFileMenu);                                                                      // 6
    m.AddItem(kFileMenu, QStringLiteral("Save Stack as Picture..."), FourCC("save"), Ctrl("S"));    // 7
    m.AddItem(kFileMenu, QStringLiteral("Save Stack as FITS..."), FourCC("FiSF"));                  // 8
    m.AddItem(kFileMenu, QStringLiteral("Save Stack as Raw..."), FourCC("FiSR"));                   // 9
    m.AddItem(kFileMenu, QStringLiteral("Open Workspace..."), FourCC("FiOW"), CtrlShift("O"));      // 10
    m.AddSeparator(kFileMenu);                                                                      // 11
    m.AddItem(kFileMenu, QStringLiteral("Save Workspace..."), FourCC("FiSW"), CtrlShift("S"));      // 12
    m.AddItem(kFileMenu, QStringLiteral("Export Clips as Pictures..."), FourCC("FiDW"));            // 13
    m.AddSeparator(kFileMenu);                                                                      // 14
    m.AddItem(kFileMenu, QStringLiteral("Close"), FourCC("clos"), Ctrl("W"));                       // 15
    m.AddItem(kFileMenu, QStringLiteral("Quit"), FourCC("quit"), Ctrl("Q"));                        // 16

    m.AddMenu(kEditMenu, QStringLiteral("Edit"), true);
    m.AddItem(kEditMenu, QStringLiteral("Undo"));                                                      // 1
    m.AddSeparator(kEditMenu);                                                                         // 2
    m.AddItem(kEditMenu, QStringLiteral("Cut"));                                                       // 3
    m.AddItem(kEditMenu, QStringLiteral("Copy"));                                                      // 4
    m.AddItem(kEditMenu, QStringLiteral("Paste"));                                                     // 5
    m.AddItem(kEditMenu, QStringLiteral("Clear"));                                                     // 6
    m.AddSeparator(kEditMenu);                                                                         // 7
    m.AddItem(kEditMenu, QStringLiteral("Select All Clips"), FourCC("sall"), Ctrl("A"));               // 8
    m.AddItem(kEditMenu, QStringLiteral("Deselect All Clips"), FourCC("EdDA"), CtrlShift("A"));        // 9
    m.AddItem(kEditMenu, QStringLiteral("Invert Selection"), FourCC("EdIS"), Ctrl("I"));               // 10
    m.AddItem(kEditMenu, QStringLiteral("Select Clips in the Stack"), FourCC("EdSI"), CtrlShift("I")); // 11

    m.AddMenu(kOperationsMenu, QStringLiteral("Operations"), true);
    m.AddItem(kOperationsMenu, QStringLiteral("Create Hot Pixel Mask..."), FourCC("OpHP"));            // 1
    m.AddItem(kOperationsMenu, QStringLiteral("Alignment Brightness Threshold..."), FourCC("OpAB"));   // 2
    m.AddSeparator(kOperationsMenu);                                                                   // 3
    m.AddItem(kOperationsMenu, QStringLiteral("Align Channels Separately"), FourCC("OpAS"), {}, true); // 4
    m.AddSubmenu(kOperationsMenu, kRotationMethodMenu);                                                // 5
    m.AddItem(kOperationsMenu, QStringLiteral("Crop to Bounds Rectangle"), FourCC("OpCC"), Ctrl("K")); // 6
    m.AddSubmenu(kOperationsMenu, kResampleClipsMenu);                                                 // 7
    m.AddSubmenu(kOperationsMenu, kSquareBoundsMenu);                                                  // 8
    m.AddSubmenu(kOperationsMenu, kSortClipsMenu);                                                     // 9
    m.AddItem(kOperationsMenu, QStringLiteral("Stack"), FourCC("OpSF"), Ctrl("T"));                    // 10
    m.AddSeparator(kOperationsMenu);                                                                   // 11
    m.AddSeparator(kOperationsMenu);                                                                   // 12
    m.AddSubmenu(kOperationsMenu, kTransformStackMenu);                                                // 13
    m.AddSubmenu(kOperationsMenu, kResampleStackMenu);                                                 // 14
    m.AddItem(kOperationsMenu, QStringLiteral("Gaussian Blur..."), FourCC("OpGB"));                    // 15
    m.AddItem(kOperationsMenu, QStringLiteral("Unsharp Mask..."), FourCC("OpUM"));                     // 16
    m.AddItem(kOperationsMenu, QStringLiteral("Laplacian Pyramid Sharpening..."), FourCC("OpLS"));     // 17
    m.AddItem(kOperationsMenu, QStringLiteral("Fourier Editor..."), FourCC("OpFE"));                   // 18
    m.AddItem(kOperationsMenu, QStringLiteral("Wavelet Noise Reduction..."), FourCC("OpWS"));          // 19
    m.AddItem(kOperationsMenu, QStringLiteral("Levels..."), FourCC("OpLv"), Ctrl("L"));                // 20
    m.AddItem(kOperationsMenu, QStringLiteral("Star Beautification..."), FourCC("OpSB"));              // 21

    m.AddMenu(kThreadsMenu, QStringLiteral("Threads"), true);
    m.AddItem(kThreadsMenu, QStringLiteral("Synchronize Display"), FourCC("ThSn"), {}, true); // 1
    m.AddSeparator(kThreadsMenu);                                                             // 2
    m.AddSeparator(kThreadsMenu, QStringLiteral("Worker Threads"));                           // 3
    for (int count : kThreadCounts)                                                           // 4..15
        m.AddItem(kThreadsMenu, count == 1 ? QStringLiteral("1 Thread") : QStringLiteral("%1 Threads").arg(count),
                  FourCC("ThNm"), {}, true);

    m.AddMenu(kViewMenu, QStringLiteral("View"), true);
    m.AddItem(kViewMenu, QStringLiteral("Small Clips"), FourCC("ViSc"), Ctrl("1"), true);      // 1
    m.AddItem(kViewMenu, QStringLiteral("Medium Clips"), FourCC("ViMc"), Ctrl("2"), true);     // 2
    m.AddItem(kViewMenu, QStringLiteral("Large Clips"), FourCC("ViLc"), Ctrl("3"), true);      // 3
    m.AddSeparator(kViewMenu);                                                                 // 4
    m.AddItem(kViewMenu, QStringLiteral("Minimal Visual Feedback"), FourCC("ViMF"), {}, true); // 5
    m.AddSeparator(kViewMenu);                                                                 // 6
    m.AddItem(kViewMenu, QStringLiteral("All Channels"), FourCC("ViSa"), Ctrl("4"), true);     // 7
    m.AddItem(kViewMenu, QStringLiteral("Red Channel"), FourCC("ViSr"), Ctrl("5"), true);      // 8
    m.AddItem(kViewMenu, QStringLiteral("Green Channel"), FourCC("ViSg"), Ctrl("6"), true);    // 9
    m.AddItem(kViewMenu, QStringLiteral("Blue Channel"), FourCC("ViSb"), Ctrl("7"), true);     // 10
    m.AddSeparator(kViewMenu);                                                                 // 11
    m.AddItem(kViewMenu, QStringLiteral("Show Commands"), FourCC("ViSC"), CtrlShift("K"));     // 12
    m.AddItem(kViewMenu, QStringLiteral("Show Hints"), FourCC("ViSH"), CtrlShift("H"));        // 13
}

} // namespace

int ThreadItemForCount(int count)
{
    for (int i = 0; i < 12; ++i)
        if (kThreadCounts[i] == count)
            return kFirstThreadItem + i;
    return 0;
}

MenuModel& GetMenuModel()
{
    if (!sModel)
        sModel = std::make_unique<MenuModel>();
    return *sModel;
}

void MenuBarInit()
{
    MenuModel& m = GetMenuModel();
    if (m.Menu(kFileMenu) == nullptr)
        BuildMenus(m);
    m.SetHandler([](uint32_t command, int menuId, int item) { MenuHandler(command, menuId, item); });

    // Check marks from the settings.
    m.SetItemChecked(kViewMenu, 1, gMaxClipWidthOrHeight == 32);
    m.SetItemChecked(kViewMenu, 2, gMaxClipWidthOrHeight == 64);
    m.SetItemChecked(kViewMenu, 3, gMaxClipWidthOrHeight == 128);
    for (int item = 1; item <= 2; ++item)
        m.SetItemChecked(kRotationMethodMenu, item, gRotationMethod == item);
    m.SetItemChecked(kViewMenu, 5, gMinimalVisualFeedback);
    m.SetItemChecked(kThreadsMenu, 1, gSyncThreadDisplay);
    if (ThreadItemForCount(gNumThreads) == 0)
        gNumThreads = 1; // a stored count the menu does not offer
    for (int item = kFirstThreadItem; item < kFirstThreadItem + 12; ++item)
        m.SetItemChecked(kThreadsMenu, item, item == ThreadItemForCount(gNumThreads));
    const int squareItem = int(std::lround(std::log2(gPow2BoundsDim))) - 4;
    for (int item = 1; item <= 4; ++item)
        m.SetItemChecked(kSquareBoundsMenu, item, item == squareItem);
    m.SetItemChecked(kOperationsMenu, 4, gAlignChannelsSeparately);
    InstallMenuState();
    UpdateMenuState();
}

void DestroyMenuBarForTesting()
{
    sModel.reset();
}
