// engine/ClipsWindow.h: the clips window: laying out its grid for the window
// and the clip count, drawing clips and their marks, hover, and the
// selection and inclusion commands. Main thread only.
#pragma once

#include <optional>
#include <string>

#include <QPoint>

#include "platform/core/Geometry.h"

class Frame;

// Lays the grid out for the clips window's content size and the clip count
// and sizes the window to it; the first clip shown becomes 0. Without force,
// nothing happens with no image size (the window becomes 1 × 1) or when the
// content already has the laid-out size. Returns true when the number of
// columns changed. Nothing happens with no clips.
bool FitClipsWindowToNumFrames(bool force);

// The clip's slot in the window, or (-1, -1, -1, -1) when the clip is not on
// the current page or the window is narrower than one slot.
Rect FindClipRectFromFrameIndex(int clip);

// Redraws the page: black, then every clip on it, one flush.
void DrawClipsWindow();

// Draws one clip into its slot with its marks (nothing off the page). Outside
// a job a dirty clip is rendered first; during a job the thumbnail is drawn as
// it stands, since a worker may be rendering that clip. flush shows it now.
void DrawFrameClip(Frame& frame, bool flush);
// The same for the clip of that index (nothing for an index outside the list).
void DrawFrameClipAt(int clip, bool flush);
// A cyan 4-pixel frame around the clip's slot: the clip is being worked on.
void MarkWorkingClip(int clip);
// "X" on the clip's slot: the clip is on disk.
void MarkFrameNotInMemory(int clip);

// The score as the clips window writes it: the integer part when |score| ≥ 1,
// then "." and three truncated digits (0.25 → ".250", 12.3456 → "12.345").
std::string FormatClipScore(double score);

// Hover: the temporary selection follows the mouse (at, in the window's
// content, where a mouse event happened; the pointer's position now
// without one); the clip left and the clip entered are redrawn and the
// inspector follows the selection rule. Nothing changes while a dialog that
// reads the clips is open.
void UpdateSelectedFrameClipFromMouse(std::optional<QPoint> at = std::nullopt);
// Temporary selection to none, with the same redraws.
void EraseTempSelection();

// Selection commands; each ends by showing the selection in the inspector.
// Only clips on the current page are redrawn (the others draw when paged in).
void PersistantSelectNoFrames(bool redraw);
void PersistantSelectAllFrames();
void InvertPersistantSelectFrames();
void PersistantSelectSumStackIncludedFrames();

// Shift-click and drag from the clip under the press (press: where it
// happened, the pointer's position now without one; sameAction: Command
// held: only add when the drag began on an unselected clip, only remove when
// it began on a selected one; otherwise each clip entered toggles).
void AddRemovePersistantSelectionFrame(bool sameAction, std::optional<QPoint> press = std::nullopt);

// Plain click on the clip under the mouse: its inclusion in the summed stack
// (with a persistent selection that holds it: every selected clip; setAll:
// all take the inverse of the clicked clip's flag). Discards the stack.
// Beeps and does nothing while a dialog that reads the clips is open.
void ToggleFrameSumStackInclusion(bool setAll);

// Installs the clips window's hooks into the shell (redraw on activation,
// the selection commands, resetting on close). Call once at start-up.
void InstallClipsWindow();

// Tests: how many renders clip drawing has asked for since the last reset.
int ClipRenderRequestsForTesting();
void ResetClipRenderRequestsForTesting();
