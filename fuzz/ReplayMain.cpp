// fuzz/ReplayMain.cpp: a fuzz target's entry function run on files, without
// libFuzzer. Each file runs in a child process of its own, so that a crash,
// a sanitizer's report or a hang is seen and the next file still runs.
// Usage: <program> FILE...   One line per file on standard output:
//   replay <target> <file> ms=<wall time> peak_rss_mb=<child's peak RSS>
// The exit status is 1 when any file crashed, failed a sanitizer or ran past
// the time limit, 0 otherwise.
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

constexpr auto kTimeLimit = std::chrono::seconds(10);

// The child: the target's start-up, then the one input. Exits through exit()
// so that the leak check of a sanitizer build runs.
[[noreturn]] void RunOne(const char* file, int* argc, char*** argv)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "replay: cannot read %s\n", file);
        std::exit(2);
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(argc, argv);
    // libFuzzer hands over a copy of exactly the input's length, so a read
    // past its end is caught by the address sanitizer.
    auto* data = static_cast<uint8_t*>(std::malloc(bytes.empty() ? 1 : bytes.size()));
    std::copy(bytes.begin(), bytes.end(), data);
    LLVMFuzzerTestOneInput(data, bytes.size());
    std::free(data);
    std::exit(0);
}

// Runs file in a child; true when it ended normally with status 0.
bool Replay(const char* file, int* argc, char*** argv)
{
    std::fflush(stdout);
    std::fflush(stderr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("replay: fork");
        return false;
    }
    if (pid == 0)
        RunOne(file, argc, argv);

    int status = 0;
    rusage usage{};
    bool hung = false;
    for (;;) {
        const pid_t done = wait4(pid, &status, WNOHANG, &usage);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR) {
            std::perror("replay: wait");
            return false;
        }
        if (!hung && std::chrono::steady_clock::now() - start > kTimeLimit) {
            hung = true;
            kill(pid, SIGKILL);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    std::printf("replay %s %s ms=%lld peak_rss_mb=%ld\n", VELMORA_FUZZ_TARGET, file, static_cast<long long>(ms.count()),
                (usage.ru_maxrss + 1023) / 1024);
    std::fflush(stdout);
    if (hung) {
        std::fprintf(stderr, "replay: %s %s: still running after %lld s, stopped\n", VELMORA_FUZZ_TARGET, file,
                     static_cast<long long>(kTimeLimit.count()));
        return false;
    }
    if (WIFSIGNALED(status)) {
        std::fprintf(stderr, "replay: %s %s: crashed (signal %d)\n", VELMORA_FUZZ_TARGET, file, WTERMSIG(status));
        return false;
    }
    if (WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "replay: %s %s: failed (exit status %d)\n", VELMORA_FUZZ_TARGET, file,
                     WEXITSTATUS(status));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE...\n", argv[0]);
        return 2;
    }
    bool allPassed = true;
    for (int i = 1; i < argc; ++i)
        allPassed = Replay(argv[i], &argc, &argv) && allPassed;
    return allPassed ? 0 : 1;
}
