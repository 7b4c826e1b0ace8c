// platform/qt/BusyScope.h: long work on the main thread that still lets
// repaints and worker events through, and user input only to the windows
// that ask for it (the progress window's Cancel and arrow keys).
#pragma once

#include <QEventLoop>

class QWidget;

class BusyScope {
public:
    // While the scope lives, user input to any other window is dropped.
    BusyScope();
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

    // One turn of the event queue. With excludeUserInput no input is handled
    // at all (turns whose fetched event is dropped). Main thread only.
    static void Pump(bool excludeUserInput = false);

    // Windows whose input passes while a scope lives (registered by the
    // progress window while it exists). Main thread only.
    static void AllowInput(QWidget* window);
    static void DisallowInput(QWidget* window);
};
