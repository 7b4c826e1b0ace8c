// tests/gui/WindowResizingTest.cpp: user resizes of the main windows as the
// windowing system delivers them during a drag: live redraws only while the
// drag goes on, one aspect correction once it has rested, our own resizes not
// taken for the user's, and no endless exchange with a window manager that
// puts its size back.
#include "app/WindowResizing.h"

#include <functional>
#include <memory>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include "app/MainWindows.h"
#include "app/MenuBar.h"
#include "shell/ImageDim.h"
#include "platform/qt/Screens.h"
#include "platform/qt/ShellWindow.h"
#include "tests/gui/GuiTestApp.h"
#include "tests/unit/EngineFixture.h"

namespace {

class WindowsEnvironment final : public testing::Environment {
public:
    void TearDown() override
    {
        DestroyMainWindows();
        DestroyMenuBarForTesting();
    }
};
testing::Environment* const kWindowsEnvironment = testing::AddGlobalTestEnvironment(new WindowsEnvironment);

// A settle that has not come by then never will.
constexpr int kTimeoutMs = 10000;

// Lets events through until done() holds; false on timeout.
bool SpinUntil(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > kTimeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

// Counts the resize events a widget receives.
class ResizeCounter final : public QObject {
public:
    explicit ResizeCounter(QWidget* widget) : mWidget(widget) { widget->installEventFilter(this); }
    ~ResizeCounter() override { mWidget->removeEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Resize)
            ++count;
        return false;
    }

private:
    QWidget* mWidget;
};

// Lets the windowing system finish placing a window just shown: offscreen,
// as under a window manager, it may still resize it once the show has been
// handled, and that would count as the user's.
void LetShowSettle()
{
    QElapsedTimer quiet;
    quiet.start();
    SpinUntil([&] { return quiet.elapsed() > 3 * ShellWindow::kResizeSettleMs; });
}

// The content size as the user (through the windowing system) drags it:
// the native window is resized, and the widget hears of it as a
// spontaneous resize, as it does from a real window manager.
void UserResizesContent(ShellWindow* window, int width, int height)
{
    // The program's own last resize first reaches the native window (the
    // windowing system applies it later; on a busy machine much later): a
    // user's resize to the size the native window still has would be no
    // resize at all.
    SpinUntil([window] { return !window->centralWidget() || window->centralWidget()->size() == window->ContentSize(); });
    const int menuBar = window->height() - window->ContentSize().height();
    window->windowHandle()->resize(width, height + menuBar);
    QCoreApplication::processEvents();
}

// Drags the content through sizes, one resize after another, and returns the
// milliseconds the drag took. Only a drag quicker than kResizeSettleMs is
// one the window may not settle in the middle of: a machine slowed down
// (sanitizers, a full load) can take longer between two resizes.
qint64 DragContent(ShellWindow* window, const std::vector<QSize>& sizes)
{
    QElapsedTimer drag;
    drag.start();
    for (const QSize& size : sizes)
        UserResizesContent(window, size.width(), size.height());
    return drag.elapsed();
}

// ---- The window: what it reports, and when ----

class ShellWindowResizeTest : public testing::Test {
protected:
    void SetUp() override
    {
        GuiTestApp();
        mWindow = std::make_unique<ShellWindow>();
        mWindow->setCentralWidget(new QWidget);
        mWindow->SetContentSize(300, 200);
        mWindow->show();
        LetShowSettle();
        mWindow->onResized = [this] { mResized.push_back(mWindow->ContentSize()); };
        mWindow->onResizeSettled = [this] {
            mSettled.push_back(mWindow->ContentSize());
            mSinceLastResize = mSince.elapsed();
        };
    }

    std::unique_ptr<ShellWindow> mWindow;
    std::vector<QSize> mResized, mSettled;
    QElapsedTimer mSince;
    qint64 mSinceLastResize = -1;
};

TEST_F(ShellWindowResizeTest, ADragIsReportedLiveAndSettlesOnceAfterItRests)
{
    const qint64 ms = DragContent(mWindow.get(), {QSize(310, 205), QSize(320, 210)});
    mSince.start();
    UserResizesContent(mWindow.get(), 333, 217);
    ASSERT_EQ(mResized.size(), 3u);
    EXPECT_EQ(mResized.back(), QSize(333, 217));
    EXPECT_EQ(mWindow->ContentSize(), QSize(333, 217));
    const bool quickDrag = ms + mSince.elapsed() < ShellWindow::kResizeSettleMs;
    if (quickDrag) {
        EXPECT_TRUE(mSettled.empty());
    }
    ASSERT_TRUE(SpinUntil([this] { return !mSettled.empty() && mSettled.back() == QSize(333, 217); }));
    if (quickDrag) {
        EXPECT_EQ(mSettled.size(), 1u);
    }
    // Not before the drag has rested (the timer may round a little).
    EXPECT_GE(mSinceLastResize, ShellWindow::kResizeSettleMs - 10);
}

TEST_F(ShellWindowResizeTest, OurOwnResizeIsNotTheUsers)
{
    mWindow->SetContentSize(250, 150);
    QCoreApplication::processEvents();
    UserResizesContent(mWindow.get(), 250, 150); // the windowing system confirms it
    EXPECT_TRUE(mResized.empty());
    EXPECT_EQ(mWindow->ContentSize(), QSize(250, 150));
    // A user resize after it is reported again.
    UserResizesContent(mWindow.get(), 260, 150);
    ASSERT_EQ(mResized.size(), 1u);
    EXPECT_EQ(mResized[0], QSize(260, 150));
}

// ---- The image windows: the aspect correction after the drag ----

class WindowResizingTest : public EngineFixture {
protected:
    void SetUp() override
    {
        GuiTestApp();
        EngineFixture::SetUp();
        SetScreensForTesting({ScreenArea{QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1080)}});
        if (!gClipsWindow) {
            MenuBarInit();
            WindowInit();
        }
        InstallWindowResizing();
        gImageDim = MakeRect(0, 0, 480, 640);
        mWindow = gFrameInspectorWindow;
        mWindow->SetContentSize(640, 480);
        mWindow->show();
        LetShowSettle();
        // Count the settles, through whatever the program installed.
        std::function<void()> installed = mWindow->onResizeSettled;
        mWindow->onResizeSettled = [this, installed] {
            installed();
            ++mSettles;
        };
    }
    void TearDown() override
    {
        mWindow->hide();
        InstallWindowResizing();
        SetScreensForTesting({});
        EngineFixture::TearDown();
    }

    // Waits for the next settle; false when none comes.
    bool Settles()
    {
        const int before = mSettles;
        return SpinUntil([this, before] { return mSettles > before; });
    }

    ShellWindow* mWindow = nullptr;
    int mSettles = 0;
};

TEST_F(WindowResizingTest, TheAspectIsKeptOnceTheDragHasRested)
{
    ResizeCounter resizes(mWindow);
    const qint64 ms = DragContent(mWindow, {QSize(500, 300), QSize(400, 200), QSize(320, 100)});
    if (ms < ShellWindow::kResizeSettleMs) {
        // During the drag the window keeps the user's size.
        EXPECT_EQ(mWindow->ContentSize(), QSize(320, 100));
        EXPECT_EQ(mSettles, 0);
    }
    // By hand: 480 × 320 / 640 = 240.
    ASSERT_TRUE(SpinUntil([this] { return mWindow->ContentSize() == QSize(320, 240); }));
    EXPECT_EQ(mWindow->centralWidget()->size(), QSize(320, 240));
    if (ms < ShellWindow::kResizeSettleMs) {
        EXPECT_EQ(mSettles, 1);
    }
    // The correction's own resize starts no second round.
    const int settles = mSettles;
    const int settled = resizes.count;
    QElapsedTimer quiet;
    quiet.start();
    SpinUntil([&] { return quiet.elapsed() > 3 * ShellWindow::kResizeSettleMs; });
    EXPECT_EQ(mSettles, settles);
    EXPECT_EQ(resizes.count, settled);
    EXPECT_EQ(mWindow->ContentSize(), QSize(320, 240));
}

TEST_F(WindowResizingTest, AWindowManagerThatPutsItsSizeBackIsLeftAlone)
{
    UserResizesContent(mWindow, 333, 100);
    ASSERT_TRUE(Settles());
    EXPECT_EQ(mWindow->ContentSize(), QSize(333, 249)); // 480 × 333 / 640
    // The window manager undoes the correction: the window keeps that size
    // instead of correcting again and again.
    LetShowSettle(); // late reports of the correction arrive first
    UserResizesContent(mWindow, 333, 100);
    ASSERT_TRUE(Settles());
    EXPECT_EQ(mWindow->ContentSize(), QSize(333, 100));
    EXPECT_EQ(mSettles, 2);
    // The user's next drag is corrected as usual.
    UserResizesContent(mWindow, 500, 50);
    ASSERT_TRUE(Settles());
    EXPECT_EQ(mWindow->ContentSize(), QSize(500, 375)); // 480 × 500 / 640
}

TEST_F(WindowResizingTest, WithoutAnImageTheWindowKeepsTheUsersSize)
{
    gImageDim = Rect{};
    UserResizesContent(mWindow, 300, 10);
    ASSERT_TRUE(Settles());
    EXPECT_EQ(mWindow->ContentSize(), QSize(300, 10));
}

} // namespace
