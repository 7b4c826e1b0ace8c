// tests/unit/ReplacingSaveTest.cpp: saves replace their target only when whole.
#include "files/ReplacingSave.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/PythonReference.h"

namespace fs = std::filesystem;

namespace {

int FilesIn(const fs::path& dir)
{
    int n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir))
        ++n;
    return n;
}

} // namespace

TEST(ReplacingSave, WritesNewFileAndReplacesOldOne)
{
    const fs::path dir = ReferenceScratchDir();
    const std::vector<unsigned char> first = {1, 2, 3};
    ASSERT_TRUE(WriteFileReplacing(dir / "a.raw", first.data(), first.size()));
    EXPECT_EQ(ReadBytes((dir / "a.raw").string()), first);
    const std::vector<unsigned char> second(10000, 9);
    ASSERT_TRUE(WriteFileReplacing(dir / "a.raw", second.data(), second.size()));
    EXPECT_EQ(ReadBytes((dir / "a.raw").string()), second);
    ASSERT_TRUE(WriteFileReplacing(dir / "empty.raw", nullptr, 0));
    EXPECT_EQ(fs::file_size(dir / "empty.raw"), 0u);
    EXPECT_EQ(FilesIn(dir), 2);
}

TEST(ReplacingSave, FailedWriteKeepsOldFileAndLeavesNoTemporary)
{
    const fs::path dir = ReferenceScratchDir();
    const std::vector<unsigned char> old = {5, 6, 7, 8};
    ASSERT_TRUE(WriteFileReplacing(dir / "a.raw", old.data(), old.size()));
    FailNextFileWritesForTesting(1);
    const std::vector<unsigned char> next(5000, 1);
    EXPECT_FALSE(WriteFileReplacing(dir / "a.raw", next.data(), next.size()));
    EXPECT_EQ(ReadBytes((dir / "a.raw").string()), old);
    EXPECT_EQ(FilesIn(dir), 1);

    EXPECT_FALSE(WriteFileReplacing(dir / "no-such-folder" / "a.raw", old.data(), old.size()));
    fs::create_directories(dir / "taken" / "inside");
    EXPECT_FALSE(WriteFileReplacing(dir / "taken", old.data(), old.size()));
    EXPECT_TRUE(fs::is_directory(dir / "taken" / "inside"));
    EXPECT_EQ(FilesIn(dir), 2);
}

TEST(ReplacingSave, UncommittedReplacementRemovesItsTemporary)
{
    const fs::path dir = ReferenceScratchDir();
    fs::path temp;
    {
        PendingReplacement save(dir / "x.fit");
        temp = save.TempPath();
        EXPECT_EQ(temp.parent_path(), dir);
        std::ofstream(temp) << "partial";
        EXPECT_TRUE(fs::exists(temp));
    }
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_FALSE(fs::exists(dir / "x.fit"));
    // A very long target name still gets a temporary name the system accepts.
    const std::string longName(250, 'n');
    const std::vector<unsigned char> bytes = {1};
    EXPECT_TRUE(WriteFileReplacing(dir / longName, bytes.data(), bytes.size()));
}

TEST(ReplacingSave, KeepsPermissionsAndFollowsLinks)
{
    const fs::path dir = ReferenceScratchDir();
    const std::vector<unsigned char> a = {1}, b = {2, 2};
    ASSERT_TRUE(WriteFileReplacing(dir / "private.raw", a.data(), a.size()));
    fs::permissions(dir / "private.raw", fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(WriteFileReplacing(dir / "private.raw", b.data(), b.size()));
    EXPECT_EQ(fs::status(dir / "private.raw").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);

    fs::create_directory(dir / "real");
    ASSERT_TRUE(WriteFileReplacing(dir / "real" / "data.raw", a.data(), a.size()));
    fs::create_symlink(dir / "real" / "data.raw", dir / "link.raw");
    ASSERT_TRUE(WriteFileReplacing(dir / "link.raw", b.data(), b.size()));
    EXPECT_TRUE(fs::is_symlink(dir / "link.raw"));
    EXPECT_EQ(ReadBytes((dir / "real" / "data.raw").string()), b);
}
