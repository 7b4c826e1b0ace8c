// app/Screenshots.cpp: the screenshot run of the program.
#include "app/Screenshots.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <set>
#include <string>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include "app/Commands.h"
#include "shell/DialogInterface.h"
#include "shell/DialogPointers.h"
#include "shell/Jobs.h"
#include "app/MainWindows.h"
#include "app/MenuBar.h"
#include "app/MenuState.h"
#include "shell/WorkingDialog.h"
#include "engine/CreateHotPixelMaskInterface.h"
#include "engine/DebayerClipsInterface.h"
#include "engine/FrameList.h"
#include "engine/MedianFilterClipsInterface.h"
#include "engine/NormalizeClipsInterface.h"
#include "engine/SetAlignBrightThresholdInterface.h"
#include "engine/SummedStack.h"
#include "files/DumpWorkspaceInterface.h"
#include "files/ImportedClips.h"
#include "files/PictureImport.h"
#include "files/SaveFITSInterface.h"
#include "files/SaveRAWInterface.h"
#include "files/SaveWorkspaceInterface.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/InterfaceFile.h"
#include "platform/qt/MenuModel.h"
#include "platform/qt/ShellWindow.h"
#include "tools/FTEditorInterface.h"
#include "tools/GaussianBlurInterface.h"
#include "tools/HistogramLevelsInterface.h"
#include "tools/LaplacianPyramidInterface.h"
#include "tools/StarBeautificationInterface.h"
#include "tools/UnsharpMaskInterface.h"
#include "tools/WaveletThresholdInterface.h"

namespace {

void Settle(int ms = 150)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

void Save(QWidget* widget, const QDir& dir, const QString& name)
{
    Settle();
    widget->grab().save(dir.filePath(name + ".png"));
}

// A placeholder picture, so the image windows show how their content sits.
void PaintSample(ShellWindow* window)
{
    Canvas* canvas = ContentCanvas(window);
    if (!canvas)
        return;
    QImage& image = canvas->Image();
    QPainter painter(&image);
    QRadialGradient glow(image.rect().center(), image.width() / 3.0);
    glow.setColorAt(0, QColor(255, 240, 210));
    glow.setColorAt(0.25, QColor(200, 120, 60));
    glow.setColorAt(1, QColor(8, 8, 16));
    painter.fillRect(image.rect(), glow);
    canvas->update();
}

// A small document for the dialogs to show: clips of a star field drifting a
// little from clip to clip, with sky noise, and their summed stack.
constexpr int kSampleWidth = 320, kSampleHeight = 240, kSampleClips = 6;

std::unique_ptr<GWorldWrapper> MakeStarField(int clip, std::mt19937& random)
{
    struct Star {
        double x, y, sigma, peak;
    };
    const Star stars[] = {{80, 60, 1.6, 230},  {200, 90, 2.2, 250}, {150, 170, 1.3, 140},
                          {260, 200, 1.8, 190}, {40, 190, 1.1, 90},  {290, 40, 1.4, 120}};
    const double dx = 1.5 * clip, dy = -0.8 * clip;
    std::normal_distribution<double> noise(0.0, 6.0);
    auto image = std::make_unique<GWorldWrapper>(32, MakeRect(0, 0, kSampleHeight, kSampleWidth), 0);
    for (int y = 0; y < kSampleHeight; ++y) {
        uint8_t* row = image->PixelRow(y);
        for (int x = 0; x < kSampleWidth; ++x) {
            double light = 18.0 + 10.0 * x / kSampleWidth; // a faint sky gradient
            for (const Star& s : stars) {
                const double ex = x - s.x - dx, ey = y - s.y - dy;
                light += s.peak * std::exp(-(ex * ex + ey * ey) / (2 * s.sigma * s.sigma));
            }
            const double tint[3] = {1.0, 0.95, 0.85};
            row[4 * x] = 255;
            for (int c = 0; c < 3; ++c)
                row[4 * x + 1 + c] =
                    static_cast<uint8_t>(std::clamp(light * tint[2 - c] + noise(random), 0.0, 255.0));
        }
    }
    return image;
}

// Adds the clips as picture import does, then sums them. False when the
// document could not be made.
bool BuildSampleDocument()
{
    if (FrameCount() > 0)
        return false;
    try {
        TakeNewImageDim(MakeRect(0, 0, kSampleHeight, kSampleWidth));
        ShowFrameInspectorForImageDim();
        std::mt19937 random(1234);
        for (int i = 0; i < kSampleClips; ++i)
            (void)AppendImportedClip(MakeImportedClip(MakeStarField(i, random)));
    } catch (const std::bad_alloc&) {
        return false;
    }
    Thread_OpenSetOfPicturesFinal();
    const bool stacked = CreateInitialStack();
    UpdateMenuState();
    Settle(300);
    return stacked;
}

// The new visible top-level window, or null.
QWidget* NewWindow(const std::set<QWidget*>& before)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && !before.count(w) && !qobject_cast<QMenu*>(w))
            return w;
    return nullptr;
}

std::set<QWidget*> VisibleWindows()
{
    std::set<QWidget*> visible;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible())
            visible.insert(w);
    return visible;
}

void SettleJobs()
{
    QElapsedTimer timer;
    timer.start();
    while (IsJobActive() && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Opens each dialog through its command with the sample document open,
// photographs it once it has drawn, and cancels it.
void TakeDialogScreenshots(const QDir& dir)
{
    if (!BuildSampleDocument())
        return;
    // The sample has no calibration frames: their windows go with the placeholders.
    gDarkFrameWindow->hide();
    gFlatFrameWindow->hide();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        screen->grabWindow(0).save(dir.filePath("ScreenWithDocument.png"));
    struct DialogShot {
        uint32_t code; // the command; 0: open opens it
        void (*open)();
        DialogInterface* (*dialog)();
    };
    const DialogShot dialogs[] = {
        {FourCC("OpGB"), nullptr, [] { return static_cast<DialogInterface*>(gGaussianBlurInterface); }},
        {FourCC("OpUM"), nullptr, [] { return static_cast<DialogInterface*>(gUnsharpMaskInterface); }},
        {FourCC("OpLS"), nullptr, [] { return static_cast<DialogInterface*>(gLaplacianPyramidInterface); }},
        {FourCC("OpFE"), nullptr, [] { return static_cast<DialogInterface*>(gFTEditorInterface); }},
        {FourCC("OpWS"), nullptr, [] { return static_cast<DialogInterface*>(gWaveletThresholdInterface); }},
        {FourCC("OpLv"), nullptr, [] { return static_cast<DialogInterface*>(gHistogramLevelsInterface); }},
        {FourCC("OpSB"), nullptr, [] { return static_cast<DialogInterface*>(gStarBeautificationInterface); }},
        {FourCC("OpHP"), nullptr, [] { return static_cast<DialogInterface*>(gCreateHotPixelMaskInterface); }},
        {FourCC("OpAB"), nullptr, [] { return static_cast<DialogInterface*>(gSetAlignBrightThresholdInterface); }},
        {FourCC("FiSF"), nullptr, [] { return static_cast<DialogInterface*>(gSaveFITSInterface); }},
        {FourCC("FiSR"), nullptr, [] { return static_cast<DialogInterface*>(gSaveRAWInterface); }},
        {FourCC("FiSW"), nullptr, [] { return static_cast<DialogInterface*>(gSaveWorkspaceInterface); }},
        {FourCC("FiDW"), nullptr, [] { return static_cast<DialogInterface*>(gDumpWorkspaceInterface); }},
        {0, &OpenNormalizeClipsDialog, [] { return static_cast<DialogInterface*>(gNormalizeClipsInterface); }},
        {0, &OpenMedianFilterClipsDialog,
         [] { return static_cast<DialogInterface*>(gMedianFilterClipsInterface); }},
        {0, &OpenDebayerClipsDialog, [] { return static_cast<DialogInterface*>(gDebayerClipsInterface); }},
    };
    for (const DialogShot& shot : dialogs) {
        const std::set<QWidget*> before = VisibleWindows();
        if (shot.code) {
            if (!HasCommand(shot.code) || !MenuHandler(shot.code, 0, 0))
                continue;
        } else {
            shot.open();
        }
        Settle(300);
        SettleJobs();
        DialogInterface* dialog = shot.dialog();
        QWidget* window = dialog ? dialog->window() : NewWindow(before);
        if (!window)
            continue;
        window->raise();
        Save(window, dir, window->objectName() + "-open");
        if (dialog)
            dialog->End(true);
        else
            window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        Settle(200);
        SettleJobs();
    }
}

void TakeScreenshots(const QDir& dir)
{
    struct Shot {
        ShellWindow* window;
        const char* name;
        QPoint at;
        QSize content;
    };
    const Shot shots[] = {{gCommandsWindow, "Commands", {20, 40}, {}},
                          {gHintsWindow, "Hints", {520, 40}, {}},
                          {gFrameInspectorWindow, "FrameInspector", {960, 40}, {320, 240}},
                          {gFrameStackWindow, "FrameStack", {960, 340}, {320, 240}},
                          {gDarkFrameWindow, "DarkFrame", {520, 420}, {200, 150}},
                          {gFlatFrameWindow, "FlatFrame", {740, 420}, {200, 150}},
                          {gClipsWindow, "ClipsWindow", {20, 640}, {480, 160}}};
    for (const Shot& shot : shots) {
        if (shot.content.isValid())
            shot.window->SetContentSize(shot.content.width(), shot.content.height());
        shot.window->show();
        shot.window->MoveContentTo(shot.at);
        if (shot.window != gClipsWindow)
            PaintSample(shot.window);
        Save(shot.window, dir, shot.name);
    }

    // The menus, opened from the commands window's menu bar.
    MenuModel& menus = GetMenuModel();
    const struct {
        int id;
        const char* name;
    } menuShots[] = {{kFileMenu, "MenuFile"},       {kEditMenu, "MenuEdit"}, {kOperationsMenu, "MenuOperations"},
                     {kThreadsMenu, "MenuThreads"}, {kViewMenu, "MenuView"}, {kResampleClipsMenu, "MenuResampleClips"}};
    for (const auto& m : menuShots) {
        QMenu* menu = menus.Menu(m.id);
        menu->popup(gCommandsWindow->ContentTopLeft() + QPoint(10, 10));
        Save(menu, dir, m.name);
        menu->hide();
    }

    // The progress windows and the modal windows, shown without their loops.
    auto working = std::make_unique<WorkingDialog>(10, true, false);
    working->DrawWorkingDialogProgressBar(4);
    working->Window()->move(560, 620);
    Save(working->Window(), dir, "WorkingWithButton");
    auto quiet = std::make_unique<WorkingDialog>(10, false, false);
    quiet->DrawWorkingDialogProgressBar(7);
    quiet->Window()->move(560, 740);
    Save(quiet->Window(), dir, "WorkingWithoutButton");
    // Every other window of the interface file as its form lays it out (the
    // dialogs' own drawing comes with their data, so their canvases are empty).
    const std::set<std::string> shown = {"ClipsWindow", "FrameInspector", "FrameStack", "DarkFrame", "FlatFrame",
                                         "Commands", "Hints", "WorkingWithButton", "WorkingWithoutButton"};
    for (const std::string& name : InterfaceWindowNames()) {
        if (shown.count(name))
            continue;
        std::unique_ptr<QWidget> window(CreateWindowFromInterface(name));
        if (!window)
            continue;
        window->show();
        Save(window.get(), dir, QString::fromStdString(name));
    }
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        Settle(300);
        screen->grabWindow(0).save(dir.filePath("Screen.png"));
    }
    working.reset();
    quiet.reset();
    TakeDialogScreenshots(dir);
}

} // namespace

bool ScheduleScreenshotsIfAsked()
{
    const QString folder = qEnvironmentVariable("VELMORA_SCREENSHOTS");
    if (folder.isEmpty())
        return false;
    QTimer::singleShot(300, qApp, [folder] {
        QDir dir;
        dir.mkpath(folder);
        TakeScreenshots(QDir(folder));
        QCoreApplication::exit(0);
    });
    return true;
}
