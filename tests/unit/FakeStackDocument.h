// tests/unit/FakeStackDocument.h: a document with a summed stack and nothing
// else, for the stack file formats' tests. Stack building follows the
// engine's rules for what it may leave behind: the rotation warning and the
// width check change nothing when they refuse, a Cancel or too little memory
// leave no stack.
#pragma once

#include <cstdint>
#include <vector>

#include "shell/Alerts.h"
#include "files/StackDocument.h"
#include "platform/core/StandardAlerts.h"

class FakeStackDocument final : public StackDocument {
public:
    enum class Build { normal, declineRotationWarning, cancel, outOfMemory };

    std::vector<int32_t> planes[3];
    int width = 0;
    int height = 0;
    bool hasStack = false;
    int clips = 0;
    Rect imageDim;
    Build build = Build::normal;
    bool acceptWrongSize = false;
    int wrongSizeQuestions = 0;
    int projections = 0;
    int sizeFollows = 0;
    int builds = 0;

    // A stack of w × h whose planes hold distinct values per channel.
    void MakeStack(int w, int h, int32_t base = 0)
    {
        width = w;
        height = h;
        hasStack = true;
        for (int c = 0; c < 3; ++c) {
            planes[c].assign(static_cast<std::size_t>(w) * h, 0);
            for (std::size_t i = 0; i < planes[c].size(); ++i)
                planes[c][i] = base + static_cast<int32_t>(c * 100000 + i);
        }
    }

    bool HasStack() const override { return hasStack; }
    int StackWidth() const override { return width; }
    int StackHeight() const override { return height; }
    int32_t* Plane(int channel) override { return hasStack ? planes[channel].data() : nullptr; }
    int ClipCount() const override { return clips; }
    Rect ImageDim() const override { return imageDim; }
    void SetImageDim(Rect r) override { imageDim = r; }
    void FollowNewImageDim() override { ++sizeFollows; }
    bool AskWrongImageDim() override
    {
        ++wrongSizeQuestions;
        return acceptWrongSize;
    }
    void ProjectStack() override { ++projections; }

    bool CreateInitialStack() override
    {
        ++builds;
        if (build == Build::declineRotationWarning)
            return false;
        if (!VerifyImageWidth(&imageDim, false))
            return false;
        hasStack = false;
        for (auto& p : planes)
            p.clear();
        if (build == Build::outOfMemory) {
            DoNotEnougMemoryForOperationDialog();
            return false;
        }
        if (build == Build::cancel && clips > 0)
            return false;
        // Clips are summed into ones; a clip-less stack is all zeros.
        width = imageDim.Width();
        height = imageDim.Height();
        for (auto& p : planes)
            p.assign(static_cast<std::size_t>(width) * height, clips > 0 ? 1 : 0);
        hasStack = true;
        return true;
    }
};
