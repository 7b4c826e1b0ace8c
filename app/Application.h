// app/Application.h: start-up, the event loop and the end of the program.
#pragma once

#include <string>
#include <vector>

// Runs the program with its command line (files named there arrive as an
// open-documents request) and returns its exit code. Main thread only.
int RunApplication(int argc, char** argv);

// The start-up after the QApplication exists, in its fixed order: the four
// preferences, the platform services and quit requests, the menus (their
// check marks come from the preferences), the windows, then the handlers; the
// commands window is shown; documents are opened once the loop runs.
void StartShell(const std::vector<std::string>& documents);
// After the loop: every clip is destroyed and the windows go. Nothing is saved.
void EndShell();
