// tests/unit/EngineFixture.h: a clean document for engine tests: no clips,
// no calibration data, thumbnails of 128 × 96, temporary files in a scratch
// folder and plenty of free memory unless a test says otherwise.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "shell/ShellSettings.h"
#include "engine/CalibrationFrames.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "engine/FrameRenderSteps.h"
#include "shell/ImageDim.h"
#include "shell/ScratchImages.h"
#include "platform/core/FreeMemory.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/PictFile.h"
#include "platform/core/TempFolder.h"
#include "tests/support/PythonReference.h"
#include "tests/support/TestImages.h"

class EngineFixture : public testing::Test {
protected:
    void SetUp() override
    {
        RemovePrivateTempFolder();
        mTempParent = ReferenceScratchDir() + "/cache";
        SetTempFolderParentForTesting(mTempParent);
        SetFreeMemForTesting([] { return int64_t{1} << 34; });
        gMaxClipDim = MakeRect(0, 0, 96, 128);
        gRotationMethod = 1;
        Reset();
    }
    void TearDown() override
    {
        Reset();
        SetFrameRenderStepsForTesting(nullptr);
        SetFreeMemForTesting(nullptr);
        FailPictFileWriteAfterForTesting(-1);
        FailNextImageAllocationsForTesting(0);
        RemovePrivateTempFolder();
        SetTempFolderParentForTesting(std::string());
    }
    static void Reset()
    {
        gFrames.clear();
        gTempGWs.clear();
        gDarkFrame.reset();
        gFlatFrame.reset();
        gAverageFlatFieldValue = 0.0;
        gHotPixelMask.Clear();
        gImageDim = Rect{};
        gSensorDim = Rect{};
    }

    // A new clip of width × height whose original (and modified) image is
    // noise from seed; appended to gFrames when append is true.
    static Frame* AddClip(int width, int height, uint32_t seed, bool append = true)
    {
        auto original = MakeImage(width, height);
        FillNoise(*original, seed);
        auto modified = MakeImage(width, height);
        *modified = *original;
        auto frame = std::make_unique<Frame>(static_cast<int>(gFrames.size()), original.release(), modified.release());
        Frame* raw = frame.get();
        if (append)
            gFrames.push_back(std::move(frame));
        else
            frame.release(); // the caller owns it
        return raw;
    }

    // Number of files in this process's temporary folder.
    int TempFileCount() const
    {
        std::string folder;
        if (!PrivateTempFolder(&folder))
            return -1;
        int n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (entry.path().filename().string() != ".lock")
                ++n;
        return n;
    }

    std::string mTempParent;
};
