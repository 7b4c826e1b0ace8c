// platform/qt/Screens.cpp: screen areas from QScreen or from a test's list.
#include "platform/qt/Screens.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

std::vector<ScreenArea>& TestScreens()
{
    static std::vector<ScreenArea> sScreens;
    return sScreens;
}

} // namespace

std::vector<ScreenArea> GetScreens()
{
    if (!TestScreens().empty())
        return TestScreens();
    std::vector<ScreenArea> screens;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary)
        screens.push_back({primary->geometry(), primary->availableGeometry()});
    for (QScreen* screen : QGuiApplication::screens())
        if (screen != primary)
            screens.push_back({screen->geometry(), screen->availableGeometry()});
    if (screens.empty())
        screens.push_back({QRect(0, 0, 1024, 768), QRect(0, 0, 1024, 768)});
    return screens;
}

void SetScreensForTesting(std::vector<ScreenArea> screens)
{
    TestScreens() = std::move(screens);
}

ScreenArea ScreenHoldingMost(const QRect& rect)
{
    const std::vector<ScreenArea> screens = GetScreens();
    const ScreenArea* best = &screens.front();
    long long bestArea = 0;
    for (const ScreenArea& screen : screens) {
        const QRect common = screen.geometry.intersected(rect);
        const long long area = common.isEmpty() ? 0 : (long long)common.width() * common.height();
        if (area > bestArea) {
            bestArea = area;
            best = &screen;
        }
    }
    return *best;
}

bool PointOnSomeScreen(QPoint point)
{
    for (const ScreenArea& screen : GetScreens())
        if (screen.available.contains(point))
            return true;
    return false;
}
