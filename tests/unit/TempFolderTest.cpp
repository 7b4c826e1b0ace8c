// tests/unit/TempFolderTest.cpp: the private folder of temporary files: names
// from the counter, removal at exit, stale folders of dead runs, and two
// processes side by side.
#include "platform/core/TempFolder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/PythonReference.h"

namespace {

namespace fs = std::filesystem;

class TempFolderTest : public testing::Test {
protected:
    void SetUp() override
    {
        RemovePrivateTempFolder();
        mParent = ReferenceScratchDir() + "/cache";
        SetTempFolderParentForTesting(mParent);
    }
    void TearDown() override
    {
        RemovePrivateTempFolder();
        SetTempFolderParentForTesting(std::string());
    }
    int Entries() const
    {
        int n = 0;
        std::error_code error;
        for (fs::directory_iterator it(mParent, error), end; !error && it != end; it.increment(error))
            ++n;
        return n;
    }
    std::string mParent;
};

// Runs body in a child process that then exits normally; returns what the
// child wrote to its pipe.
template <typename Body> std::string InChild(Body body)
{
    int fds[2];
    if (pipe(fds) != 0)
        return std::string();
    const pid_t pid = fork();
    if (pid == 0) {
        ::close(fds[0]);
        const std::string text = body();
        if (::write(fds[1], text.data(), text.size()) < 0)
            std::_Exit(2);
        ::close(fds[1]);
        std::exit(0); // runs the exit handlers, as a normal quit does
    }
    ::close(fds[1]);
    std::string result;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
        result.append(buffer, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return result;
}

} // namespace

TEST_F(TempFolderTest, NamesCountUpInThePrivateFolder)
{
    gNextTempFileId = 0;
    std::string folder;
    ASSERT_TRUE(PrivateTempFolder(&folder));
    EXPECT_EQ(fs::path(folder).parent_path(), fs::path(mParent));
    EXPECT_EQ(NewTempFilePath(), folder + "/0");
    EXPECT_EQ(NewTempFilePath(), folder + "/1");
    EXPECT_EQ(NewTempFilePath(), folder + "/2");
    RemovePrivateTempFolder();
    EXPECT_FALSE(fs::exists(folder));
    // A new folder after removal; the counter goes on, never reusing a name.
    std::string again;
    ASSERT_TRUE(PrivateTempFolder(&again));
    EXPECT_EQ(NewTempFilePath(), again + "/3");
}

TEST_F(TempFolderTest, ThreadsGetDistinctNames)
{
    std::vector<std::vector<std::string>> names(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&names, t] {
            for (int i = 0; i < 50; ++i)
                names[t].push_back(NewTempFilePath());
        });
    for (auto& thread : threads)
        thread.join();
    std::set<std::string> all;
    for (const auto& list : names)
        all.insert(list.begin(), list.end());
    EXPECT_EQ(all.size(), 200u);
}

TEST_F(TempFolderTest, FolderIsGoneAfterExit)
{
    const std::string folder = InChild([] {
        std::string f;
        if (!PrivateTempFolder(&f))
            return std::string("none");
        std::ofstream(NewTempFilePath()) << "data";
        return f;
    });
    ASSERT_NE(folder, "none");
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(fs::path(folder).parent_path(), fs::path(mParent));
    EXPECT_FALSE(fs::exists(folder));
}

TEST_F(TempFolderTest, StaleFoldersGoLiveOnesStay)
{
    fs::create_directories(mParent + "/run-stale1");
    std::ofstream(mParent + "/run-stale1/.lock") << "";
    std::ofstream(mParent + "/run-stale1/0") << "old clip";
    fs::create_directories(mParent + "/run-live01");
    std::ofstream(mParent + "/run-live01/.lock") << "";
    const int fd = ::open((mParent + "/run-live01/.lock").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0); // another "process" holds it
    fs::create_directories(mParent + "/unrelated");
    fs::create_directories(mParent + "/new-justmade"); // a folder being set up right now

    std::string folder;
    ASSERT_TRUE(PrivateTempFolder(&folder));
    EXPECT_FALSE(fs::exists(mParent + "/run-stale1"));
    EXPECT_TRUE(fs::exists(mParent + "/run-live01/.lock"));
    EXPECT_TRUE(fs::exists(mParent + "/unrelated"));
    EXPECT_TRUE(fs::exists(mParent + "/new-justmade"));
    ::close(fd);
    // Once its owner is gone the live one is stale too.
    RemoveStaleTempFolders();
    EXPECT_FALSE(fs::exists(mParent + "/run-live01"));
    EXPECT_TRUE(fs::exists(folder));
}

TEST_F(TempFolderTest, TwoProcessesShareNoFile)
{
    auto body = [] {
        std::string names;
        for (int i = 0; i < 3; ++i) {
            const std::string path = NewTempFilePath();
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
            names += (fd >= 0 ? path : std::string("clash")) + "\n";
            if (fd >= 0)
                ::close(fd);
        }
        return names;
    };
    const std::string a = InChild(body), b = InChild(body);
    EXPECT_EQ(a.find("clash"), std::string::npos);
    EXPECT_EQ(b.find("clash"), std::string::npos);
    EXPECT_NE(a, b);
    // Same numbers, different folders.
    EXPECT_NE(a.substr(0, a.find('\n')), b.substr(0, b.find('\n')));
    EXPECT_EQ(Entries(), 0); // both folders removed at their exits
}
