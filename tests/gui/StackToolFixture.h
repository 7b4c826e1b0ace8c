// tests/gui/StackToolFixture.h: a summed stack for the filter dialogs' tests
// (a scene of sky, noise and stars in its planes, its display image), the
// command table with the blur and sharpen dialogs, a scripted pointer, and
// helpers to press, drag and type in a dialog.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>

#include <gtest/gtest.h>

#include "app/Commands.h"
#include "shell/DialogInterface.h"
#include "shell/PointerInput.h"
#include "shell/ShellSettings.h"
#include "engine/SummedStack.h"
#include "imaging/SumPlanes.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/qt/MenuModel.h"
#include "tests/gui/GuiTestApp.h"
#include "tests/support/TestImages.h"
#include "tests/unit/SumPlaneSet.h"
#include "tools/BlurAndSharpenDialogs.h"

class StackToolFixture : public testing::Test {
protected:
    // Odd sizes, wider than the first preview rectangle of 64.
    static constexpr int kW = 83, kH = 71;
    static constexpr int kFrames = 6;

    void SetUp() override
    {
        GuiTestApp();
        GetCommandOperations() = CommandOperations{};
        InstallShellCommands();
        InstallBlurAndSharpenDialogs();
        gRedChannelOn = gGreenChannelOn = gBlueChannelOn = true;
        MakeStack(kW, kH, kFrames);
        SetPointerScriptForTesting(PointerScript{});
    }
    void TearDown() override
    {
        SetPointerScriptForTesting(std::nullopt);
        Flush();
        gRedStack.reset();
        gGreenStack.reset();
        gBlueStack.reset();
        gFrameStack.reset();
        GetCommandOperations() = CommandOperations{};
    }

    // A stack of frames clips' worth of sums, width × height, its planes
    // the scene of SumPlaneSet::FillScene (seeded), shown.
    void MakeStack(int width, int height, int frames, uint32_t seed = 17)
    {
        mSaved = SumPlaneSet(width, height);
        mSaved.FillScene(frames, seed, 2.0);
        const std::size_t n = static_cast<std::size_t>(width) * height;
        gRedStack = std::make_unique<int32_t[]>(n);
        gGreenStack = std::make_unique<int32_t[]>(n);
        gBlueStack = std::make_unique<int32_t[]>(n);
        std::copy(mSaved.planes[0].begin(), mSaved.planes[0].end(), gRedStack.get());
        std::copy(mSaved.planes[1].begin(), mSaved.planes[1].end(), gGreenStack.get());
        std::copy(mSaved.planes[2].begin(), mSaved.planes[2].end(), gBlueStack.get());
        gNumFramesInStack = frames;
        gFrameStack = MakeImage(width, height);
        ProjectStackIntoFrameStackGWorld(false);
        mSavedDisplay = MakeImage(width, height);
        CopyGWorldWrapper(*gFrameStack, *mSavedDisplay);
    }

    // The stack's planes now.
    static SumPlaneSet Live()
    {
        const int w = StackWidth(), h = StackHeight();
        SumPlaneSet s(w, h);
        const std::size_t n = static_cast<std::size_t>(w) * h;
        std::copy(gRedStack.get(), gRedStack.get() + n, s.planes[0].begin());
        std::copy(gGreenStack.get(), gGreenStack.get() + n, s.planes[1].begin());
        std::copy(gBlueStack.get(), gBlueStack.get() + n, s.planes[2].begin());
        return s;
    }

    // Lets ended dialogs delete themselves.
    static void Flush()
    {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents();
    }
    static void Run(const char (&code)[5]) { ASSERT_TRUE(MenuHandler(FourCC(code), 131, 1)); }

    // A press at press, moved along path and released at its end, delivered
    // as the dialog's mouse-down.
    static void Press(DialogInterface& dialog, QPoint press, std::vector<QPoint> path = {})
    {
        PointerScriptForTesting()->position = press;
        PointerScriptForTesting()->dragPaths = {std::move(path)};
        DialogEvent e(DialogEvent::mouseDown);
        e.where = press;
        dialog.Dispatch(e);
    }
    // An arrow key as the dialog gets it.
    static void Key(DialogInterface& dialog, int key, bool shift = false)
    {
        DialogEvent e(DialogEvent::keyDown);
        e.key = key;
        e.modifiers = shift ? 0x0200 : 0;
        dialog.Dispatch(e);
    }
    static void Hit(DialogInterface& dialog, int id) { dialog.Dispatch(DialogEvent(DialogEvent::controlHit, id)); }

    SumPlaneSet mSaved{1, 1};
    std::unique_ptr<GWorldWrapper> mSavedDisplay;
};
