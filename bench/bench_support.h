#pragma once
// What every side-by-side benchmark needs: running a peer tool, timing a run
// and taking the median of repeated runs.

#include <spawn.h>
#include <sys/wait.h>

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

extern char** environ;

namespace qvbench {

// Runs a shell command line with posix_spawn: a fork would leave every page of
// our heap copy-on-write and bill the next measured run for it.
inline void RunQuiet(const std::string& command) {
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) return;
    int status = 0;
    waitpid(pid, &status, 0);
}

inline double Seconds(const std::function<void()>& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t mid = v.size() / 2;
    return v.size() % 2 ? v[mid] : (v[mid - 1] + v[mid]) / 2;
}

// A private folder for a benchmark's fixtures under $TMPDIR (else /tmp); empty
// when none can be made.
inline std::string MakeBenchFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string path = std::string(base && *base ? base : "/tmp") + "/qvbench-XXXXXX";
    return mkdtemp(path.data()) ? path : std::string();
}

// A folder tree of `bytes` in files from a few KiB to 64 MiB, fifty to a
// folder, as a folder of photos, documents and archives would have.
inline void MakeMixedTree(const std::filesystem::path& tree, uint64_t bytes) {
    static const uint64_t kFileSizes[] = {4 << 10, 100 << 10, 1 << 20, 8 << 20, 64 << 20};
    std::vector<char> chunk(1 << 20);
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>((i * 2654435761u) >> 13);
    uint64_t total = 0;
    for (int n = 0; total < bytes; ++n) {
        const std::filesystem::path folder = tree / ("folder " + std::to_string(n / 50));
        std::filesystem::create_directories(folder);
        const uint64_t size = std::min(kFileSizes[n % 5], bytes - total);
        std::ofstream file(folder / ("file " + std::to_string(n)), std::ios::binary);
        for (uint64_t left = size; left > 0;) {
            const uint64_t step = std::min<uint64_t>(left, chunk.size());
            chunk[0] = static_cast<char>(n);
            file.write(chunk.data(), static_cast<std::streamsize>(step));
            left -= step;
        }
        total += size;
    }
}

}  // namespace qvbench
