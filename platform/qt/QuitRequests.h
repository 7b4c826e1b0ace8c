// platform/qt/QuitRequests.h: quit requests from outside the program: SIGTERM,
// SIGINT and the session manager's logout.
#pragma once

#include <functional>

// Routes every outside quit request to onQuit on the main thread. onQuit
// returns true when the program is going to quit; a logout is cancelled when
// it returns false. Call once, after the QApplication exists. Main thread only.
void InstallQuitRequestHandlers(std::function<bool()> onQuit);
