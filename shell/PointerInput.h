// shell/PointerInput.h: where the mouse is and following a drag, for the
// custom-drawn windows and panels, with a scripted stand-in for tests.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include <QPoint>

class QWidget;

// The mouse position in widget's coordinates (the scripted position while a
// script is installed). Main thread only.
QPoint MousePositionIn(const QWidget* widget);

// True when another visible window of the program lies over widget's window
// at the mouse position (always false under a script unless it says so).
bool MouseCoveredAt(const QWidget* widget);

// Follows the mouse from a press until its release, calling onMove with every
// position (widget coordinates). Returns the last position. Main thread only.
QPoint TrackMouseDrag(QWidget* widget, const std::function<void(QPoint)>& onMove);

// The front window: the active window of the program (the scripted one
// while a script is installed).
QWidget* FrontWindow();

// Tests: a fixed mouse position (the same in every widget's coordinates), a
// "covered" answer, the front window, and the positions the next drags
// report, one path per drag (a drag with no path left reports nothing). A
// drag releases at its path's last position, or at release when one is set
// (taken by the next drag): a release carries its own position, which no
// move reported.
struct PointerScript {
    QPoint position;
    bool covered = false;
    QWidget* front = nullptr;
    std::vector<std::vector<QPoint>> dragPaths;
    std::optional<QPoint> release;
};
void SetPointerScriptForTesting(std::optional<PointerScript> script);
// The script in use (tests change position between calls).
PointerScript* PointerScriptForTesting();
