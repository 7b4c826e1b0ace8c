// platform/core/UserInteraction.cpp: the installed interaction and its silent default.
#include "platform/core/UserInteraction.h"

#include <atomic>

namespace {

class SilentInteraction final : public UserInteraction {
public:
    bool RunAlert(const AlertRequest&) override { return false; }
    void Beep() override {}
};

SilentInteraction sSilent;
std::atomic<UserInteraction*> sInstalled{nullptr};

}  // namespace

UserInteraction& GetUserInteraction()
{
    UserInteraction* installed = sInstalled.load();
    return installed ? *installed : sSilent;
}

void SetUserInteraction(UserInteraction* interaction)
{
    sInstalled = interaction;
}

void SysBeep()
{
    GetUserInteraction().Beep();
}

namespace {

std::string First(const std::vector<std::string>& paths)
{
    return paths.empty() ? std::string() : paths.front();
}

}  // namespace

std::vector<std::string> ChooseFilesToOpen(const std::string& title, const std::vector<std::string>& nameFilters)
{
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::kOpenFiles;
    request.title = title;
    request.nameFilters = nameFilters;
    return GetUserInteraction().RunFileDialog(request);
}

std::string ChooseFileToOpen(const std::string& title, const std::vector<std::string>& nameFilters)
{
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::kOpenFile;
    request.title = title;
    request.nameFilters = nameFilters;
    return First(GetUserInteraction().RunFileDialog(request));
}

std::string ChooseFileToSave(const std::string& title, const std::string& defaultName)
{
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::kSaveFile;
    request.title = title;
    request.defaultName = defaultName;
    return First(GetUserInteraction().RunFileDialog(request));
}

std::string ChooseFolder(const std::string& title)
{
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::kChooseFolder;
    request.title = title;
    return First(GetUserInteraction().RunFileDialog(request));
}
