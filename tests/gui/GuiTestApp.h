// tests/gui/GuiTestApp.h: one QApplication per GUI test program (offscreen),
// the program's windows registered, and preferences kept in a temporary folder.
#pragma once

#include <memory>
#include <string>

#include <QApplication>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "platform/qt/SettingsStore.h"
#include "resources/MainInterfaceFile.h"

inline QApplication& GuiTestApp()
{
    static int argc = 1;
    static char name[] = "velmora-test";
    static char* argv[] = {name, nullptr};
    static QApplication* sApp = [] {
        QStandardPaths::setTestModeEnabled(true);
        // Test windows never reach a screen, however the program is started.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        auto* app = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        RegisterMainInterfaceFile();
        return app;
    }();
    return *sApp;
}

// A fresh preferences file in a temporary folder for the life of the object.
class TemporaryPreferences {
public:
    TemporaryPreferences() : mPath((mDir.path() + "/prefs.ini").toStdString()) { SetSettingsFileForTesting(mPath); }
    ~TemporaryPreferences() { SetSettingsFileForTesting(mDir.path().toStdString() + "/unused.ini"); }
    const std::string& Path() const { return mPath; }
    QString Folder() const { return mDir.path(); }

private:
    QTemporaryDir mDir;
    std::string mPath;
};
