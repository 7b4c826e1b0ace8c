// app/Application.cpp: start-up and the event loop.
#include "app/Application.h"

#include <clocale>

#include <QApplication>
#include <QTimer>

#include "app/Commands.h"
#include "app/DocumentHooks.h"
#include "engine/ClipViewWindow.h"
#include "app/MainWindowInput.h"
#include "app/MainWindows.h"
#include "app/MenuBar.h"
#include "app/MenuState.h"
#include "shell/Preferences.h"
#include "app/Screenshots.h"
#include "shell/QtMainThreadQueue.h"
#include "engine/JobDisplayActions.h"
#include "shell/ShellHooks.h"
#include "engine/StackWindowDisplay.h"
#include "files/CalibrationFrameFiles.h"
#include "files/OpenImagesAndMovies.h"
#include "files/StackFileDialogs.h"
#include "files/WorkspaceCommands.h"
#include "platform/qt/QtUserInteraction.h"
#include "platform/qt/QuitRequests.h"
#include "engine/AlignmentAndSortDialogs.h"
#include "engine/ClipOperationCommands.h"
#include "engine/ClipSettingDialogs.h"
#include "engine/ClipsWindow.h"
#include "resources/MainInterfaceFile.h"
#include "tools/BlurAndSharpenDialogs.h"
#include "tools/WaveletThresholdInterface.h"
#include "tools/HistogramLevelsInterface.h"
#include "tools/LaplacianPyramidInterface.h"
#include "tools/StarAndFourierDialogs.h"

namespace {

void LoadStartPreferences()
{
    LoadMaxClipWidthOrHeightPreference();
    LoadSyncThreadDisplayPreference();
    LoadNumThreadsPreference();
    LoadMinimalVisualFeedbackPreference();
}

void ToolBoxInit()
{
    QApplication::restoreOverrideCursor();
    InstallQtUserInteraction();
    RegisterMainInterfaceFile();
}

void EventHandlersInit(const std::vector<std::string>& documents)
{
    // Menu, logout and signals all take the one quit path.
    InstallQuitRequestHandlers(&RequestQuit);
    InstallQtJobEvents();
    InstallJobDisplayActions();
    InstallClipsWindow();
    InstallFrameInspector();
    InstallDocumentHooks();
    InstallStackWindowDisplay();
    InstallClipOperationCommands();
    InstallClipSettingDialogs();
    // Files named at start arrive once, after the loop runs.
    if (!documents.empty())
        QTimer::singleShot(0, qApp, [documents] {
            if (const auto& open = GetCommandOperations().openDocuments)
                open(documents);
        });
}

}  // namespace

void StartShell(const std::vector<std::string>& documents)
{
    LoadStartPreferences();
    ToolBoxInit();
    InstallShellCommands();
    InstallPictureAndMovieImport();
    InstallStackFileDialogs();
    InstallBlurAndSharpenDialogs();
    InstallWaveletThresholdDialog();
    InstallHistogramLevelsDialog();
    InstallLaplacianPyramidDialog();
    InstallStarAndFourierDialogs();
    InstallCalibrationFrameFiles();
    InstallWorkspaceCommands();
    InstallAlignmentAndSortDialogs();
    MenuBarInit();
    WindowInit();
    InstallMainWindowInput();
    EventHandlersInit(documents);
    UpdateMenuState();
    ShowAndRaise(gCommandsWindow);
}

void EndShell()
{
    TellShell(GetShellHooks().destroyClips);
    DestroyMainWindows();
    DestroyMenuBarForTesting();
}

int RunApplication(int argc, char** argv)
{
    // Saved window positions need client placement, which Wayland ignores.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    // Qt switches to the user's locale on Unix; number parsing and FITS
    // keywords need the C locale.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName("Velmora");
    QApplication::setOrganizationName("Velmora");
    // Ties the windows to the installed desktop entry (its name and icon).
    QGuiApplication::setDesktopFileName("velmora");
    QApplication::setQuitOnLastWindowClosed(false);

    std::vector<std::string> documents;
    const QStringList arguments = QApplication::arguments();
    for (int i = 1; i < arguments.size(); ++i)
        documents.push_back(arguments[i].toStdString());
    StartShell(documents);
    ScheduleScreenshotsIfAsked();
    const int code = QApplication::exec();
    EndShell();
    return code;
}
