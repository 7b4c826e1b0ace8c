// platform/core/UserInteraction.h: the one way the program asks the user
// something or beeps. The Qt layer installs message boxes and the system beep;
// tests install a scripted responder that answers and records every call.
#pragma once

#include <string>

// What an alert shows. kind: 0 plain, 1 note, 2 caution, 3 stop.
struct AlertRequest {
    int kind = 0;
    std::string title;
    std::string message;
    std::string defaultText;   // empty: the platform's "OK"
    std::string cancelText;    // empty: the platform's "Cancel"
    bool hasCancel = false;    // false: one button only
};

class UserInteraction {
public:
    virtual ~UserInteraction() = default;
    // Shows the alert modally and returns true when the default button ended
    // it; Esc and the window's close box count as cancel. Main thread only.
    virtual bool RunAlert(const AlertRequest& request) = 0;
    // Sounds the system beep once. Any thread.
    virtual void Beep() = 0;
};

// The installed interaction (a silent one that answers "cancel" until the
// application or a test installs its own). The installer keeps ownership and
// must outlive its installation; nullptr restores the silent one.
UserInteraction& GetUserInteraction();
void SetUserInteraction(UserInteraction* interaction);

// Shorthand for GetUserInteraction().Beep().
void SysBeep();
