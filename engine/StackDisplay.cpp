// engine/StackDisplay.cpp: the installed stack display and the window mapping
// of partial redraws.
#include "engine/StackDisplay.h"

#include <cstdint>

namespace {

class SilentStackDisplay final : public StackDisplay {
public:
    void ShowStackWindow(int, int) override {}
    void ResizeStackWindow(int, int) override {}
    void HideStackWindows() override {}
    void DrawStackImage(const GWorldWrapper&) override {}
    void DrawStackRect(const GWorldWrapper&, Rect) override {}
    void StackStateChanged() override {}
    void OpenProgress(int) override {}
    void SetProgress(int) override {}
    bool ProgressCancelled() override { return false; }
    void CloseProgress() override {}
    void MarkWorkingClip(int) override {}
    void DrawClip(int) override {}
};

SilentStackDisplay sSilent;
StackDisplay* sDisplay = &sSilent;

// ceil(a × b / c) for a, b >= 0 and c > 0, in 64 bits.
int CeilScaled(int a, int b, int c)
{
    return static_cast<int>((static_cast<int64_t>(a) * b + c - 1) / c);
}

} // namespace

StackDisplay& GetStackDisplay()
{
    return *sDisplay;
}

void SetStackDisplay(StackDisplay* display)
{
    sDisplay = display ? display : &sSilent;
}

Rect StackRectInWindow(Rect r, int stackWidth, int stackHeight, int windowWidth, int windowHeight)
{
    if (stackWidth <= 0 || stackHeight <= 0 || windowWidth <= 0 || windowHeight <= 0 || r.IsEmpty() || r.left < 0 ||
        r.top < 0)
        return Rect{};
    // Window pixel d shows source floor(d × S / w): it lies in [a, b) exactly
    // when ceil(a × w / S) <= d < ceil(b × w / S).
    return MakeRect(CeilScaled(r.top, windowHeight, stackHeight), CeilScaled(r.left, windowWidth, stackWidth),
                    CeilScaled(r.bottom, windowHeight, stackHeight), CeilScaled(r.right, windowWidth, stackWidth));
}
