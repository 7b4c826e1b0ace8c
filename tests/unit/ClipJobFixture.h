// tests/unit/ClipJobFixture.h: an engine document whose clip jobs run to
// their end on the test thread: a self-drained event queue, a stand-in
// progress window, scripted alerts, no bounds rectangle, no selection.
#pragma once

#include <chrono>

#include <gtest/gtest.h>

#include "shell/AlignmentModes.h"
#include "shell/Jobs.h"
#include "shell/OperationBoundsRect.h"
#include "shell/PolledMainThreadQueue.h"
#include "shell/ShellSettings.h"
#include "engine/AlignmentThreshold.h"
#include "engine/Selection.h"
#include "tests/support/FakeProgressWindows.h"
#include "tests/support/ScriptedInteraction.h"
#include "tests/unit/EngineFixture.h"

class ClipJobFixture : public EngineFixture {
protected:
    // Long enough for a loaded machine under ThreadSanitizer; a job that has
    // not ended by then has hung.
    static constexpr std::chrono::milliseconds kJobTimeout{120000};

    void SetUp() override
    {
        EngineFixture::SetUp();
        gNumThreads = 4;
        gSyncThreadDisplay = true;
        gMinimalVisualFeedback = false;
        gAlignChannelsSeparately = false;
        SetAlignmentModes(AlignmentModes{});
        gAlignmentBrightnessThreshold = 0;
        gOperationBoundsRect = kNoBoundsRect;
        gPersistantSelectionIndices.clear();
        gTempSelectionIndex = -1;
        GetJobHooks().updateMenus = [] {};
        InstallJobShellHooks();
    }
    void TearDown() override
    {
        EXPECT_FALSE(IsJobActive());
        GetJobHooks().updateMenus = nullptr;
        GetJobHooks().openProgressWindowWithoutCancel = nullptr;
        gPersistantSelectionIndices.clear();
        gTempSelectionIndex = -1;
        gOperationBoundsRect = kNoBoundsRect;
        gAlignmentBrightnessThreshold = 0;
        gAlignChannelsSeparately = false;
        SetAlignmentModes(AlignmentModes{});
        gNumThreads = 4;
        EngineFixture::TearDown();
    }

    // Hands the job's events over until it has ended.
    void RunJobToEnd()
    {
        ASSERT_TRUE(mQueue.DispatchUntil([] { return !IsJobActive(); }, kJobTimeout));
    }

    PolledMainThreadQueue mQueue;
    FakeProgressWindows mWindows;
    ScriptedInteraction mUser;
};
