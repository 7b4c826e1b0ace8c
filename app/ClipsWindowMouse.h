// app/ClipsWindowMouse.h: clicks and hover in the clips window, and hover
// over the image windows.
#pragma once

#include <optional>

#include <QPoint>

#include "shell/AlignmentModes.h"

// What a click in the clips window does, decided at the button's release.
enum class ClipClick {
    nothing,
    toggleInclusion,        // Command: every selected clip takes the inverse of the clicked one
    alignByDifference,
    alignByCentroid,
    alignByCrossCorrelation,
    alignRotationally,
    clearAlignment,
    addRemoveSelection,     // already done by the press (see ClipsWindowMouseDown)
    subtractDarkFrame,      // Command: force
    divideFlatFrame,        // Command: force
};

// The click's action for the program's modifier word and the held modes.
// Plain means none of Option, Control and Shift; Command is read apart.
// The first rule that applies wins:
// 1. plain, no mode: inclusion; 2. plain, no Command, a mode: that mode's
// alignment (difference before centroid before cross-correlation before
// rotation); 3. Option alone: clear alignment; 4. Option otherwise: nothing;
// 5. Shift without Control: selection; 6. no Control: nothing;
// 7. Control: dark frame, with Shift flat frame.
ClipClick ClipsWindowClickAction(int modifiers, const AlignmentModes& modes);

// The press at press (the clips window's content coordinates): with Shift
// and neither Option nor Control, adds or removes clips from the persistent
// selection while the drag lasts. Ignored during a job.
void ClipsWindowMouseDown(int modifiers, QPoint press);

// The release that ends a click: runs ClipsWindowClickAction with the held
// modes. Ignored during a job. Clicks that would change clips or the stack
// beep once instead while a dialog reads them. The Shift-click's selection
// was made by its press, so its release does nothing more. release: where it
// happened, which picks the clip (the pointer's position now without one).
void ClipsWindowMouseUp(int modifiers, std::optional<QPoint> release = std::nullopt);

// Hooks the clips window's and the image windows' mouse input (press,
// release, hover, leaving). Call once after WindowInit.
void InstallMainWindowMouse();
