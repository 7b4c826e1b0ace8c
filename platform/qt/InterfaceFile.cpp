// platform/qt/InterfaceFile.cpp: the registry of window factories by name.
#include "platform/qt/InterfaceFile.h"

#include <map>

#include <QWidget>

namespace {

std::map<std::string, InterfaceWindowFactory>& Registry()
{
    static std::map<std::string, InterfaceWindowFactory> sRegistry;
    return sRegistry;
}

} // namespace

void RegisterInterfaceWindow(const std::string& name, InterfaceWindowFactory factory)
{
    Registry()[name] = factory;
}

QWidget* CreateWindowFromInterface(const std::string& name)
{
    const auto it = Registry().find(name);
    if (it == Registry().end())
        return nullptr;
    QWidget* window = it->second();
    window->setObjectName(QString::fromStdString(name));
    window->hide();
    return window;
}

std::vector<std::string> InterfaceWindowNames()
{
    std::vector<std::string> names;
    for (const auto& entry : Registry())
        names.push_back(entry.first);
    return names;
}
