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
