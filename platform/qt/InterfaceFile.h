// platform/qt/InterfaceFile.h: windows of an interface file, built by name.
// Each window's layout is a Qt Designer form compiled into the program; the
// interface file registers one factory per window name.
#pragma once

#include <string>
#include <vector>

class QWidget;

// Builds a new, hidden top-level window; the caller owns it.
using InterfaceWindowFactory = QWidget* (*)();

// Registers (or replaces) the factory of a window name. Main thread only.
void RegisterInterfaceWindow(const std::string& name, InterfaceWindowFactory factory);

// A new hidden window of that name, owned by the caller, or nullptr when the
// name is unknown. Main thread only.
QWidget* CreateWindowFromInterface(const std::string& name);

// Every registered window name, sorted.
std::vector<std::string> InterfaceWindowNames();
