// engine/ClipSettingDialogs.h: the batch dialogs that set the selected clips'
// normalisation, median filter and debayer settings: their common base, how
// they open, and their keys.
#pragma once

#include <new>

#include "engine/Selection.h"
#include "platform/core/StandardAlerts.h"
#include "shell/DialogInterface.h"

// Opens dialog class D into its global pointer, as the keys do: nothing when
// one is open already; out of memory: the alert, no dialog, pointer null.
// Main thread only.
template <class D> void OpenClipSettingDialog(D*& pointer)
{
    if (pointer)
        return;
    try {
        pointer = new D();
    } catch (const std::bad_alloc&) {
        pointer = nullptr;
        DoNotEnougMemoryForOperationDialog();
    }
}

// The base of the batch clip dialogs. Modeless; held in Derived's global
// pointer while open; remembers the clip under the mouse when it opens; OK
// remembers the settings its controls show and starts its job over the
// selection (or, with none, over that clip); Cancel changes nothing. Derived
// gives:
//   static Derived*& GlobalPointer();                 its open-dialog pointer
//   Params Params() const;                           the settings the controls show
//   static bool Run(const Params& params, int clip); starts the job (reports refusals)
// and sets its controls in its constructor (events are ignored until then).
// Main thread only.
template <class Derived, class ParamsT> class ClipSettingDialog : public DialogInterface {
public:
    void RedrawDialog() override {}

    // Opens the dialog into its global pointer (OpenClipSettingDialog).
    static void Open() { OpenClipSettingDialog(Derived::GlobalPointer()); }

    // The settings last taken with OK (the params' defaults at first).
    static ParamsT& Remembered()
    {
        static ParamsT sRemembered;
        return sRemembered;
    }

protected:
    explicit ClipSettingDialog(const char* windowName)
        : DialogInterface(windowName), mTempSelection(gTempSelectionIndex)
    {
        setIgnoreEvents(true);
    }
    // Derived's constructor has set the controls: events are handled from now on.
    void OpeningDone() { setIgnoreEvents(false); }

    void commit() override
    {
        const ParamsT params = static_cast<const Derived*>(this)->Params();
        Remembered() = params;
        (void)Derived::Run(params, mTempSelection); // reports its own refusals
    }
    // Derived's destructor calls it too, while the object is still whole.
    void ClearGlobalPointer() override
    {
        Derived*& pointer = Derived::GlobalPointer();
        if (pointer == static_cast<Derived*>(this))
            pointer = nullptr;
    }

private:
    const int mTempSelection; // the clip under the mouse when the dialog opened
};

// Points the "B", "b", "M" and "N" keys (shell/InputActions.h) at the debayer
// dialog, UnDebayer, the median-filter and the normalise dialogs. Call once at
// start-up, after InstallInputActions.
void InstallClipSettingDialogs();
