// app/HeldKeys.h: the keys held down, seen before any window gets them. Each
// press is remembered with the character it produced, so its release undoes
// that press even when Shift changed in between; auto-repeat releases are
// ignored; when the program stops being the active application every held
// key counts as released. Presses and repeats go to KeyboardHandlerKeyDown,
// releases to KeyboardHandlerKeyUp. No key is ever consumed.
#pragma once

#include <QKeyEvent>

// Installs the tracker on the application (once; later calls do nothing).
void InstallHeldKeyTracker();

// The character a key event stands for in the program's bindings: the
// arrows as 28 to 31, printable characters as typed (letters keep their
// case), 0 for keys with no binding character.
char KeyCharacter(const QKeyEvent& event);

// How many keys are held now (tests).
int HeldKeyCountForTesting();
