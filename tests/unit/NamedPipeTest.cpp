// tests/unit/NamedPipeTest.cpp: every reader of outside files refuses a named
// pipe at once instead of waiting for a writer.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "files/FITSFile.h"
#include "files/RawFile.h"
#include "files/WorkspaceFile.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/PictFile.h"
#include "platform/qt/FfmpegVideo.h"

namespace fs = std::filesystem;

TEST(NamedPipe, EveryReaderRefusesItWithoutWaiting)
{
    const fs::path dir = fs::temp_directory_path() / ("velmora-pipe-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path pipe = dir / "pipe.fit";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);

    WorkspaceContents contents;
    EXPECT_NE(ReadWorkspaceFile(pipe, &contents, [](const WorkspaceClipRecord&, std::unique_ptr<GWorldWrapper>) {}),
              WorkspaceReadStatus::ok);
    RawImportParams params;
    params.width = 1;
    params.height = 1;
    std::vector<uint8_t> bytes;
    EXPECT_EQ(ReadRawFile(pipe, params, bytes), RawReadResult::cannotOpen);
    std::unique_ptr<GWorldWrapper> image;
    EXPECT_NE(ReadPictFile(pipe.string(), &image, nullptr), PictFileStatus::ok);
    FITSImage fits;
    EXPECT_EQ(ReadFITSImage(pipe.string(), fits), FITSReadResult::failed);
    std::unique_ptr<FfmpegVideo> video;
    EXPECT_EQ(FfmpegVideo::Open(pipe, FfmpegContainer::movie, video), MediaStatus::cannotOpen);
    EXPECT_EQ(FfmpegVideo::Open(pipe, FfmpegContainer::stillImage, video), MediaStatus::cannotOpen);

    fs::remove_all(dir);
}
