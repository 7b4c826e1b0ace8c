// fuzz/FuzzInput.cpp: the scratch folder and the headless application.
#include "fuzz/FuzzInput.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <system_error>

#include <QApplication>
#include <QStandardPaths>

#include "platform/qt/SettingsStore.h"
#include "resources/MainInterfaceFile.h"

namespace {

std::filesystem::path sScratch;

void RemoveScratch()
{
    std::error_code ignored;
    std::filesystem::remove_all(sScratch, ignored);
}

} // namespace

const std::filesystem::path& ScratchFolder()
{
    if (sScratch.empty()) {
        std::error_code error;
        std::filesystem::path parent = std::filesystem::temp_directory_path(error);
        if (error)
            parent = "/tmp";
        std::string pattern = (parent / "velmora-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::perror("velmora fuzz: scratch folder");
            std::abort();
        }
        sScratch = pattern;
        std::atexit(&RemoveScratch);
    }
    return sScratch;
}

std::filesystem::path WriteInputFile(const uint8_t* data, std::size_t size, const char* name)
{
    const std::filesystem::path path = ScratchFolder() / name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) {
        std::fprintf(stderr, "velmora fuzz: cannot write %s\n", path.c_str());
        std::abort();
    }
    return path;
}

void StartHeadlessQt()
{
    static QApplication* sApp = [] {
        static int argc = 1;
        static char name[] = "velmora-fuzz";
        static char* argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // Qt's and the image libraries' complaints about damaged files would
        // drown the fuzzer's own report; fatal messages still end the run.
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
            if (type == QtFatalMsg)
                std::fprintf(stderr, "%s\n", qPrintable(message));
        });
        QStandardPaths::setTestModeEnabled(true);
        auto* app = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        SetSettingsFileForTesting((ScratchFolder() / "prefs.ini").string());
        RegisterMainInterfaceFile();
        return app;
    }();
    (void)sApp;
}
