// app/Application.h: start-up, the event loop and the end of the program.
#pragma once

// Runs the program with its command line (files named there arrive as an
// open-documents request) and returns its exit code. Main thread only.
int RunApplication(int argc, char** argv);
