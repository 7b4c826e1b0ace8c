// platform/qt/Screens.h: the screens and the area of each that windows may use,
// replaceable by a fixed list in tests.
#pragma once

#include <vector>

#include <QPoint>
#include <QRect>

struct ScreenArea {
    QRect geometry;  // the whole screen, global coordinates
    QRect available; // less panels and docks
};

// The screens, the primary one first. Never empty: without any screen a
// 1024 x 768 one stands in. Main thread only.
std::vector<ScreenArea> GetScreens();

// Replaces the real screens (an empty list restores them). Tests only.
void SetScreensForTesting(std::vector<ScreenArea> screens);

// The screen holding the largest part of rect (global coordinates); the
// primary screen when rect touches none.
ScreenArea ScreenHoldingMost(const QRect& rect);

// True when point lies in some screen's available area.
bool PointOnSomeScreen(QPoint point);
