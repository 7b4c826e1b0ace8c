// platform/qt/MouseTracking.h: follow the mouse from a press until its release.
#pragma once

#include <functional>

#include <QPoint>

class QWidget;

// Runs a nested event loop from inside widget's press handler and calls
// onMove(position) with every mouse move, in widget coordinates (points
// outside the widget included). Ends on the button's release (which it
// consumes, so no click follows), on deactivation of the application, or when
// a move reports no button down; moves and releases still queued after the
// end are not followed. Other user input is dropped meanwhile. Returns the
// last position. Main thread only.
QPoint TrackMouseUntilRelease(QWidget* widget, const std::function<void(QPoint position)>& onMove);

// True while a drag's loop runs. The main-thread event dispatcher holds the
// workers' events meanwhile (a drag sees no job event), and replays them in
// order from the callback, which runs once each drag has ended.
bool IsTrackingMouse();
void SetMouseTrackingEndedCallback(std::function<void()> callback);
