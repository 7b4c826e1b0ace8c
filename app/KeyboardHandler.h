// app/KeyboardHandler.h: what a key does in the main windows. Presses act
// only while one of the seven menu-bar windows is in front and no job runs;
// releases always end what their press began (a held mode key, the space
// bar's hold on clip 0), whatever is in front and also during a job.
#pragma once

// The arrow keys as the program numbers them.
inline constexpr char kLeftArrowKey = 28;
inline constexpr char kRightArrowKey = 29;
inline constexpr char kUpArrowKey = 30;
inline constexpr char kDownArrowKey = 31;

// A press or an auto-repeat of key (the character it produced) with the
// program's modifier word (Command 0x0100, Shift 0x0200, Option 0x0800,
// Control 0x1000). Main thread only. Never consumes the key.
void KeyboardHandlerKeyDown(char key, bool repeat, int modifiers);

// The release of a key whose press produced key. Main thread only.
void KeyboardHandlerKeyUp(char key);

// True while presses are acted on: a menu-bar window is in front, no job runs.
bool KeyboardAcceptsPresses();

// The nudge level of the modifiers: how many of Shift, Control and Option are held.
int NudgeLevel(int modifiers);

// The first clip after a paging key ('[' back half a page, ']' forward half
// a page, '{' back a page, '}' forward a page) from first with perPage clips
// per page and numClips clips. Other keys leave first.
int PagedFirstClip(char key, int first, int perPage, int numClips);
