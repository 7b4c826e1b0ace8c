// shell/ModalDialogs.cpp: modal windows that end on control 1000 or 2.
#include "shell/ModalDialogs.h"

#include <cassert>
#include <memory>

#include <QWidget>

#include "platform/core/MainThread.h"
#include "platform/core/UserInteraction.h"
#include "platform/qt/Controls.h"
#include "platform/qt/InterfaceFile.h"
#include "platform/qt/ModalLoop.h"

bool DoModalDialog(const std::string& windowName, bool beep, bool showCancel)
{
    assert(IsMainThread());
    std::unique_ptr<QWidget> window(CreateWindowFromInterface(windowName));
    if (!window)
        return false;
    if (beep)
        SysBeep();
    if (!showCancel) {
        ControlHandle cancel = GetControlByID(window.get(), kControlSignature, kControlCancel);
        cancel.SetEnabled(false);
        cancel.SetShown(false);
    }
    return RunAppModalWindow(window.get()) == kControlOK;
}

void DoAboutBox()
{
    DoModalDialog("AboutBox", false, false);
}

bool DoWrongImageDimDialog()
{
    return DoModalDialog("ImageDimError", true, true);
}
