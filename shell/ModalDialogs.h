// shell/ModalDialogs.h: the program's small modal windows of the interface file.
#pragma once

#include <string>

// Shows window windowName application-modal, beeping first when beep is set;
// with showCancel false its control 2 is disabled and hidden. Returns true
// when control 1000 ended it, false for control 2, Esc, the close box or a
// quit of the program (nothing is committed then). False when the window does
// not exist. Main thread only.
bool DoModalDialog(const std::string& windowName, bool beep, bool showCancel);

// The about box ("AboutBox"), without a beep or Cancel.
void DoAboutBox();

// Asks whether pictures of another size than the document's are scaled and
// imported (true) or left out ("ImageDimError", with a beep and Cancel).
bool DoWrongImageDimDialog();
