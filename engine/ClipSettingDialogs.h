// engine/ClipSettingDialogs.h: the batch dialogs that set the selected clips'
// normalisation, median filter and debayer settings, and their keys.
#pragma once

#include <new>

#include "platform/core/StandardAlerts.h"

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

// Points the "B", "b", "M" and "N" keys (shell/InputActions.h) at the debayer
// dialog, UnDebayer, the median-filter and the normalise dialogs. Call once at
// start-up, after InstallInputActions.
void InstallClipSettingDialogs();
