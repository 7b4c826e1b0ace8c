// tests/gui/MainWindowsTest.cpp: start-up, the main windows' close boxes,
// closing the document, the home window, window positions and quit requests.
#include "app/MainWindows.h"

#include <csignal>
#include <set>

#include <QAction>
#include <QDialog>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QSettings>
#include <QTimer>

#include <gtest/gtest.h>

#include "app/Application.h"
#include "app/Commands.h"
#include "shell/DialogPointers.h"
#include "app/MenuBar.h"
#include "app/MenuState.h"
#include "shell/OperationBoundsRect.h"
#include "shell/ShellHooks.h"
#include "shell/ImageDim.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/MenuModel.h"
#include "platform/qt/Screens.h"
#include "platform/qt/ShellWindow.h"
#include "tests/gui/GuiTestApp.h"
#include "tests/gui/MainWindowsTestSupport.h"
#include "tests/support/ScriptedInteraction.h"

namespace {

// A stand-in document: what the hooks report and what closing it must undo.
struct FakeDocument {
    bool job = false;
    bool clips = false, stack = false, dark = false, flat = false, mask = false;
    int tempSelection = -1, firstClip = 0, persistent = 0;
    int stackDraws = 0;
    void Fill()
    {
        clips = stack = dark = flat = mask = true;
        tempSelection = 3;
        firstClip = 8;
        persistent = 2;
    }
};
FakeDocument sDoc;

void InstallFakeDocument()
{
    ShellHooks& h = GetShellHooks();
    h = ShellHooks{};
    h.jobRunning = [] { return sDoc.job; };
    h.clipsExist = [] { return sDoc.clips; };
    h.stackExists = [] { return sDoc.stack; };
    h.darkFrameExists = [] { return sDoc.dark; };
    h.flatFrameExists = [] { return sDoc.flat; };
    h.inspectorShowsClip = [] { return sDoc.tempSelection >= 0 || sDoc.persistent == 1; };
    h.anyClipSelected = [] { return sDoc.tempSelection >= 0 || sDoc.persistent > 0; };
    h.destroyClips = [] {
        sDoc.clips = false;
        sDoc.persistent = 0;
    };
    h.deleteFrameStack = [] { sDoc.stack = false; };
    h.releaseCalibration = [] { sDoc.dark = sDoc.flat = sDoc.mask = false; };
    h.resetClipsWindowState = [] {
        sDoc.tempSelection = -1;
        sDoc.firstClip = 0;
    };
    h.drawFrameStackWindow = [] { ++sDoc.stackDraws; };
}

// Runs the event loop for ms milliseconds.
void Spin(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

class MainWindowsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GuiTestApp();
        SetScreensForTesting({{QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1080)}});
        sDoc = FakeDocument{};
        InstallFakeDocument();
        gImageDim = Rect{};
        gOperationBoundsRect = kNoBoundsRect;
    }
    void TearDown() override
    {
        ui.reset();
        EndShell();
        GetShellHooks() = ShellHooks{};
        SetScreensForTesting({});
    }
    void Start()
    {
        StartShell({});
        InstallFakeDocument();                  // start-up installs the real subsystems' hooks
        Spin(ShellWindow::kMoveSettleMs + 100); // the windowing system's placement settles
        ui = std::make_unique<ScriptedInteraction>();
    }
    void ShowAll()
    {
        for (ShellWindow* w : {gClipsWindow, gFrameInspectorWindow, gFrameStackWindow, gDarkFrameWindow,
                               gFlatFrameWindow, gCommandsWindow, gHintsWindow})
            w->show();
    }

    TemporaryPreferences mPrefs;
    std::unique_ptr<ScriptedInteraction> ui;
};

} // namespace

TEST_F(MainWindowsTest, StartShowsOnlyTheCommandsWindow)
{
    Start();
    for (ShellWindow* w : {gClipsWindow, gFrameInspectorWindow, gFrameStackWindow, gDarkFrameWindow, gFlatFrameWindow,
                           gHintsWindow, gPixelValuesWindow})
        EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
    EXPECT_TRUE(gCommandsWindow->isVisible());
    EXPECT_EQ(gClipsWindow->ContentSize(), QSize(1, 1));
    for (ShellWindow* w : {gClipsWindow, gFrameInspectorWindow, gFrameStackWindow, gDarkFrameWindow, gFlatFrameWindow,
                           gCommandsWindow, gHintsWindow})
        EXPECT_NE(w->menuBar(), nullptr);
    EXPECT_TRUE(gPixelValuesWindow->windowFlags() & Qt::WindowDoesNotAcceptFocus);

    // A first run wrote the four settings and the six windows' positions.
    QSettings file(QString::fromStdString(mPrefs.Path()), QSettings::IniFormat);
    for (const char* key : {"maxClipWidthOrHeight", "syncThreadDisplay", "numThreads", "minimalVisualFeedback"})
        EXPECT_TRUE(file.contains(key)) << key;
    for (const char* w : {"FrameInspectorWindow", "FrameStackWindow", "DarkFrameWindow", "FlatFrameWindow",
                          "CommandsWindow", "HintsWindow"}) {
        EXPECT_EQ(file.value(QString(w) + "PosX").toInt(), 0) << w;
        EXPECT_EQ(file.value(QString(w) + "PosY").toInt(), 22) << w;
    }
    EXPECT_FALSE(file.contains("ClipsWindowPosX"));
    EXPECT_EQ(gFrameStackWindow->ContentTopLeft(), QPoint(0, 22));
}

TEST_F(MainWindowsTest, StoredPositionsPlaceTheContent)
{
    {
        QSettings file(QString::fromStdString(mPrefs.Path()), QSettings::IniFormat);
        file.setValue("FrameStackWindowPosX", 300);
        file.setValue("FrameStackWindowPosY", 400);
        file.setValue("HintsWindowPosX", 1000);
        file.setValue("HintsWindowPosY", 5);
    }
    SetSettingsFileForTesting(mPrefs.Path());
    Start();
    EXPECT_EQ(gFrameStackWindow->ContentTopLeft(), QPoint(300, 400));
    EXPECT_EQ(gHintsWindow->ContentTopLeft(), QPoint(1000, 22));
}

TEST_F(MainWindowsTest, AMoveIsSavedOnceAfterItRests)
{
    Start();
    gDarkFrameWindow->show();
    Spin(ShellWindow::kMoveSettleMs + 100);
    const int writesBefore = SettingsWriteCountForTesting();
    for (int i = 1; i <= 20; ++i) { // a drag of many moves
        gDarkFrameWindow->MoveContentTo(QPoint(100 + 10 * i, 200 + 5 * i));
        Spin(10);
    }
    EXPECT_EQ(SettingsWriteCountForTesting(), writesBefore); // nothing during the drag
    Spin(ShellWindow::kMoveSettleMs + 200);
    EXPECT_EQ(SettingsWriteCountForTesting(), writesBefore + 2); // X and Y, once
    const QPoint final = gDarkFrameWindow->ContentTopLeft();
    QSettings file(QString::fromStdString(mPrefs.Path()), QSettings::IniFormat);
    EXPECT_EQ(file.value("DarkFrameWindowPosX").toInt(), final.x());
    EXPECT_EQ(file.value("DarkFrameWindowPosY").toInt(), final.y());
}

TEST_F(MainWindowsTest, CloseMainWindowEmptiesTheDocument)
{
    Start();
    const std::vector<std::set<int>> startMenus = MenuSnapshot();
    sDoc.Fill();
    gImageDim = MakeRect(0, 0, 480, 640);
    gOperationBoundsRect = MakeRect(10, 10, 73, 73);
    gClipsWindow->SetContentSize(300, 200);
    ShowAll();
    UpdateMenuState();
    EXPECT_NE(MenuSnapshot(), startMenus);

    CloseMainWindow();
    EXPECT_FALSE(sDoc.clips || sDoc.stack || sDoc.dark || sDoc.flat || sDoc.mask);
    EXPECT_EQ(sDoc.persistent, 0);
    EXPECT_EQ(sDoc.tempSelection, -1);
    EXPECT_EQ(sDoc.firstClip, 0);
    EXPECT_TRUE(gImageDim.IsEmpty());
    EXPECT_EQ(gImageDim, Rect{});
    EXPECT_FALSE(OperationBoundsRectExists());
    EXPECT_EQ(gClipsWindow->ContentSize(), QSize(1, 1));
    for (ShellWindow* w : {gClipsWindow, gFrameInspectorWindow, gFrameStackWindow, gDarkFrameWindow, gFlatFrameWindow})
        EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
    EXPECT_EQ(MenuSnapshot(), startMenus);
}

TEST_F(MainWindowsTest, CloseBoxMatrix)
{
    Start();
    enum State { kIdle, kJob, kBlocked };
    struct Expect {
        bool hidden;
        int beeps;
        bool documentKept;
        bool stackKept;
    };
    auto run = [&](ShellWindow* window, State state) {
        sDoc = FakeDocument{};
        sDoc.Fill();
        ShowAll();
        sDoc.job = state == kJob;
        gNormalizeClipsInterface = state == kBlocked ? reinterpret_cast<NormalizeClipsInterface*>(this) : nullptr;
        const int beeps = ui->BeepCount();
        window->close();
        Expect seen{!window->isVisible(), ui->BeepCount() - beeps, sDoc.clips, sDoc.stack};
        gNormalizeClipsInterface = nullptr;
        sDoc.job = false;
        return seen;
    };
    auto check = [](const Expect& seen, const Expect& want, const char* what) {
        EXPECT_EQ(seen.hidden, want.hidden) << what;
        EXPECT_EQ(seen.beeps, want.beeps) << what;
        EXPECT_EQ(seen.documentKept, want.documentKept) << what;
        EXPECT_EQ(seen.stackKept, want.stackKept) << what;
    };
    check(run(gClipsWindow, kIdle), {true, 0, false, false}, "clips idle");
    check(run(gClipsWindow, kJob), {false, 1, true, true}, "clips job");
    check(run(gClipsWindow, kBlocked), {false, 1, true, true}, "clips blocked");
    check(run(gFrameStackWindow, kIdle), {true, 0, true, false}, "stack idle");
    check(run(gFrameStackWindow, kJob), {true, 0, true, false}, "stack job");
    check(run(gFrameStackWindow, kBlocked), {false, 1, true, true}, "stack blocked");
    for (ShellWindow* w : {gDarkFrameWindow, gFlatFrameWindow, gCommandsWindow, gHintsWindow})
        for (State s : {kIdle, kJob, kBlocked})
            check(run(w, s), {true, 0, true, true}, w->objectName().toStdString().c_str());
    // The sort-by-spectrum dialog blocks clip changes too.
    sDoc.Fill();
    ShowAll();
    gSortBySpectrumInterface = reinterpret_cast<SortBySpectrumInterface*>(this);
    gClipsWindow->close();
    EXPECT_TRUE(gClipsWindow->isVisible());
    EXPECT_TRUE(sDoc.clips);
    gSortBySpectrumInterface = nullptr;
}

TEST_F(MainWindowsTest, TheCommandsWindowComesBackWhenNothingElseIsShown)
{
    Start();
    gHintsWindow->show();
    gCommandsWindow->close();
    EXPECT_FALSE(gCommandsWindow->isVisible());
    gHintsWindow->close();
    EXPECT_TRUE(gCommandsWindow->isVisible());

    // Hiding the commands window as the last one is a quit: refused during a job.
    sDoc.job = true;
    gCommandsWindow->close();
    EXPECT_TRUE(gCommandsWindow->isVisible());
    EXPECT_EQ(ui->BeepCount(), 1);
}

TEST_F(MainWindowsTest, CloseCommandActsOnTheFrontWindow)
{
    Start();
    auto front = [](QWidget* w) {
        w->show();
        w->activateWindow();
        for (int i = 0; i < 20 && QApplication::activeWindow() != w; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return QApplication::activeWindow() == w;
    };
    sDoc.Fill();
    ShowAll();
    ASSERT_TRUE(front(gHintsWindow));
    MenuHandler(FourCC("clos"), kFileMenu, 15);
    EXPECT_FALSE(gHintsWindow->isVisible());

    ASSERT_TRUE(front(gFrameStackWindow));
    MenuHandler(FourCC("clos"), kFileMenu, 15);
    EXPECT_FALSE(gFrameStackWindow->isVisible());
    EXPECT_FALSE(sDoc.stack);

    ASSERT_TRUE(front(gDarkFrameWindow)); // not a window "Close" acts on
    MenuHandler(FourCC("clos"), kFileMenu, 15);
    EXPECT_TRUE(gDarkFrameWindow->isVisible());

    QDialog dialog;
    ASSERT_TRUE(front(&dialog));
    MenuHandler(FourCC("clos"), kFileMenu, 15);
    EXPECT_TRUE(dialog.isVisible());
    dialog.hide();

    ASSERT_TRUE(front(gClipsWindow));
    MenuHandler(FourCC("clos"), kFileMenu, 15);
    EXPECT_FALSE(gClipsWindow->isVisible());
    EXPECT_FALSE(sDoc.clips);

    gHintsWindow->show(); // otherwise closing the commands window would be a quit
    ASSERT_TRUE(front(gCommandsWindow));
    MenuHandler(FourCC("clos"), kFileMenu, 15);
    EXPECT_FALSE(gCommandsWindow->isVisible());
}

TEST_F(MainWindowsTest, ImageWindowsRedrawOnActivationOnlyWithTheirImage)
{
    Start();
    gFrameStackWindow->show();
    gFrameStackWindow->onActivated();
    EXPECT_EQ(sDoc.stackDraws, 0);
    sDoc.stack = true;
    gFrameStackWindow->onActivated();
    EXPECT_EQ(sDoc.stackDraws, 1);
}

TEST_F(MainWindowsTest, SignalsAskToQuitRefusedWithABeepDuringAJob)
{
    Start();
    sDoc.job = true;
    bool stillRunning = false;
    QTimer::singleShot(0, [] { std::raise(SIGTERM); });
    QTimer::singleShot(300, [&] {
        stillRunning = true; // the loop went on after the refused request
        EXPECT_EQ(ui->BeepCount(), 1);
        sDoc.job = false;
        std::raise(SIGINT);
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    bool timedOut = false;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    watchdog.start(5000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(stillRunning);
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(ui->BeepCount(), 1);
}

namespace {

void Mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, QPointF(at), QPointF(w->mapToGlobal(at)),
                  type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, modifiers);
    QApplication::sendEvent(w, &e);
}

// Presses at from, moves through path and releases at the last point.
void Drag(QWidget* w, QPoint from, std::vector<QPoint> path, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTimer::singleShot(0, [w, path] {
        for (const QPoint& p : path)
            Mouse(w, QEvent::MouseMove, p);
        Mouse(w, QEvent::MouseButtonRelease, path.empty() ? QPoint() : path.back());
    });
    Mouse(w, QEvent::MouseButtonPress, from, modifiers);
}

} // namespace

TEST_F(MainWindowsTest, BoundsRectangleDrawnInTheFrameInspector)
{
    Start();
    sDoc.clips = true;
    gImageDim = MakeRect(0, 0, 480, 640);
    gFrameInspectorWindow->SetContentSize(320, 240);
    gFrameInspectorWindow->show();
    Canvas* inspector = ContentCanvas(gFrameInspectorWindow);
    ASSERT_EQ(inspector->size(), QSize(320, 240));
    MenuModel& m = GetMenuModel();

    // Nothing shown in the inspector: no rectangle.
    Drag(inspector, {10, 20}, {{60, 70}});
    EXPECT_FALSE(OperationBoundsRectExists());

    sDoc.tempSelection = 0;
    Drag(inspector, {10, 20}, {{30, 40}, {60, 70}});
    EXPECT_EQ(gOperationBoundsRect, MakeRect(40, 20, 140, 120));
    EXPECT_TRUE(m.IsItemEnabled(kOperationsMenu, 6));
    EXPECT_TRUE(m.IsItemEnabled(kOperationsMenu, 9));

    // A click without movement keeps the rectangle.
    Drag(inspector, {100, 100}, {});
    EXPECT_EQ(gOperationBoundsRect, MakeRect(40, 20, 140, 120));

    // Control-click (Meta on this keyboard) places the square.
    gPow2BoundsDim = 64;
    Drag(inspector, {50, 50}, {{50, 50}}, Qt::MetaModifier);
    EXPECT_EQ(gOperationBoundsRect, MakeRect(68, 68, 131, 131));
    Drag(inspector, {5, 5}, {{6, 6}}, Qt::MetaModifier); // too near the edge
    EXPECT_FALSE(OperationBoundsRectExists());
    EXPECT_FALSE(m.IsItemEnabled(kOperationsMenu, 6));
    EXPECT_FALSE(m.IsItemEnabled(kOperationsMenu, 9));

    // A purely vertical drag leaves no rectangle.
    Drag(inspector, {10, 20}, {{10, 90}});
    EXPECT_FALSE(OperationBoundsRectExists());

    // During a job the inspector takes no clicks.
    sDoc.job = true;
    Drag(inspector, {10, 20}, {{60, 70}});
    EXPECT_FALSE(OperationBoundsRectExists());
    gPow2BoundsDim = 128;
}
