// platform/core/UserInteraction.h: the one way the program asks the user
// something or beeps. The Qt layer installs message boxes and the system beep;
// tests install a scripted responder that answers and records every call.
#pragma once

#include <string>
#include <vector>

// What an alert shows. kind: 0 plain, 1 note, 2 caution, 3 stop.
struct AlertRequest {
    int kind = 0;
    std::string title;
    std::string message;
    std::string defaultText;   // empty: the platform's "OK"
    std::string cancelText;    // empty: the platform's "Cancel"
    bool hasCancel = false;    // false: one button only
};

// What a file dialog asks for.
struct FileDialogRequest {
    enum class Mode { kOpenFiles, kOpenFile, kSaveFile, kChooseFolder };
    Mode mode = Mode::kOpenFiles;
    std::string title;
    std::string directory;                 // where it opens; empty: the last place
    std::vector<std::string> nameFilters;  // e.g. "Pictures (*.png *.jpg)"; empty: all files
    std::string defaultName;               // kSaveFile: the suggested name
};

class UserInteraction {
public:
    virtual ~UserInteraction() = default;
    // Shows the alert modally and returns true when the default button ended
    // it; Esc and the window's close box count as cancel. Main thread only.
    virtual bool RunAlert(const AlertRequest& request) = 0;
    // Sounds the system beep once. Any thread.
    virtual void Beep() = 0;
    // Runs a file dialog modally and returns the chosen paths (one for every
    // mode but kOpenFiles); empty when the user cancelled. Main thread only.
    virtual std::vector<std::string> RunFileDialog(const FileDialogRequest& request)
    {
        (void)request;
        return {};
    }
};

// The installed interaction (a silent one that answers "cancel" until the
// application or a test installs its own). The installer keeps ownership and
// must outlive its installation; nullptr restores the silent one.
UserInteraction& GetUserInteraction();
void SetUserInteraction(UserInteraction* interaction);

// Shorthand for GetUserInteraction().Beep().
void SysBeep();

// File dialogs through the installed interaction. Each returns the chosen
// path(s), or an empty result when the user cancelled. Main thread only.
std::vector<std::string> ChooseFilesToOpen(const std::string& title, const std::vector<std::string>& nameFilters);
std::string ChooseFileToOpen(const std::string& title, const std::vector<std::string>& nameFilters);
std::string ChooseFileToSave(const std::string& title, const std::string& defaultName);
std::string ChooseFolder(const std::string& title);
