// shell/EditTextValidation.h: keeps a dialog's number field inside its range
// while the user types, as the batch dialogs' goal and threshold fields do.
#pragma once

class DialogInterface;

// The field's leading integer (0 when the text does not begin with one)
// clamped to lo .. hi; the text is rewritten when it reads otherwise ("300"
// becomes "255", "-4" becomes "0", "07" becomes "7"). Returns the value.
// Main thread only.
int ClampEditTextInteger(DialogInterface& dialog, int id, int lo, int hi);

// Applies ClampEditTextInteger to the edit-text control id of dialog's window
// after every change the user makes to it (typing, pasting, deleting), not
// after the program's own SetText. A field left empty or holding only a sign
// is a number still being typed and stays as it is (it reads as 0), so that
// typing "-4" gives "0" and clearing the field to type anew works. Nothing
// while the dialog is being built or is closing. The connection lives as long
// as the window. Main thread only.
void ClampEditTextIntegerWhileTyping(DialogInterface& dialog, int id, int lo, int hi);
