// fuzz/workspace.cpp: Open Workspace on a file of any bytes: the reader
// (header, hot-pixel mask, dark and flat frames, clip records and their
// pixel blocks, raw or picture) and, for what it accepts, the whole command:
// the new document built and every clip rendered with the settings the file
// gave it. The command's windows make it slow, so a file the reader refuses
// (most of what the fuzzer makes) stops after the reader. Each input starts
// from no document, as a replay of it alone does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include <QCoreApplication>
#include <QEvent>
#include <QWindow>

#include "app/Application.h"
#include "files/Workspace.h"
#include "files/WorkspaceFile.h"
#include "fuzz/FuzzInput.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/TempFolder.h"
#include "platform/core/UserInteraction.h"
#include "shell/MainWindowSet.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    StartHeadlessQt();
    SetTempFolderParentForTesting((ScratchFolder() / "cache").string());
    StartShell({});
    // Qt makes what a window's destruction uses (the current GL context of
    // the thread) on the first one; made before the shell's teardown is
    // registered, it is still there when that teardown deletes the windows.
    { QWindow first; }
    // The shell's windows go before Qt's own statics do.
    std::atexit([] { EndShell(); });
    // The shell installs message boxes; alerts go back to the silent answer.
    SetUserInteraction(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::filesystem::path file = WriteInputFile(data, size, "input.work");
    WorkspaceContents contents;
    const WorkspaceReadStatus status =
        ReadWorkspaceFile(file, &contents, [](const WorkspaceClipRecord&, std::unique_ptr<GWorldWrapper>) {});
    if (status == WorkspaceReadStatus::ok || status == WorkspaceReadStatus::endedEarly) {
        (void)OpenWorkspaceFrom(file);
        CloseMainWindow();
        // The event loop's turn, as the program's loop takes it after a
        // command: the window system's events (an enter event each time the
        // clips window shows under the pointer) and the deletion of the
        // command's progress window wait for it. No loop runs here, so
        // without it every input would leave them behind.
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return 0;
}
