// platform/qt/QuitRequests.cpp: a self-pipe turns signals into an event of the
// main loop; logout arrives as the session manager's commit-data request.
#include "platform/qt/QuitRequests.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

namespace {

int sPipe[2] = {-1, -1};
std::function<bool()> sOnQuit;

void OnSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe calls here; a full pipe already holds a request.
    [[maybe_unused]] const ssize_t written = write(sPipe[1], &byte, 1);
}

} // namespace

void InstallQuitRequestHandlers(std::function<bool()> onQuit)
{
    sOnQuit = std::move(onQuit);
    if (sPipe[0] < 0 && pipe(sPipe) == 0) {
        for (int fd : sPipe)
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        auto* notifier = new QSocketNotifier(sPipe[0], QSocketNotifier::Read, qApp);
        QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
            char buffer[16];
            while (read(sPipe[0], buffer, sizeof buffer) > 0) {
            }
            if (sOnQuit)
                sOnQuit();
        });
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGINT, &action, nullptr);
    }
    static bool sLogoutConnected = false;
    if (!sLogoutConnected) {
        sLogoutConnected = true;
        QObject::connect(qApp, &QGuiApplication::commitDataRequest, qApp, [](QSessionManager& manager) {
            if (sOnQuit && !sOnQuit())
                manager.cancel();
        });
    }
}
