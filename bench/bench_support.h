#pragma once
// What every side-by-side benchmark needs: running a peer tool, timing a run
// and taking the median of repeated runs.

#include <spawn.h>
#include <sys/wait.h>

#include <stdlib.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
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

// Every folder MakeBenchFolder made, removed when the benchmark ends (bench/run
// also removes the whole $TMPDIR it gives each benchmark, so a crash leaves
// nothing behind either).
inline std::vector<std::string>& MadeFolders() {
    // Never destroyed: the exit handler that empties it may run after the
    // destructors of statics made later.
    static auto* made = new std::vector<std::string>;
    return *made;
}

inline void RemoveMadeFolders() {
    std::error_code ignored;
    for (const std::string& folder : MadeFolders()) std::filesystem::remove_all(folder, ignored);
    MadeFolders().clear();
}

// A private folder for a benchmark's fixtures under `base` (by default $TMPDIR,
// else /tmp); empty when none can be made. It is removed at exit.
inline std::string MakeBenchFolder(const std::string& base = {}) {
    const char* tmp = std::getenv("TMPDIR");
    std::string path = (base.empty() ? std::string(tmp && *tmp ? tmp : "/tmp") : base) + "/qvbench-XXXXXX";
    if (!mkdtemp(path.data())) return std::string();
    static std::once_flag registered;
    std::call_once(registered, [] { std::atexit(RemoveMadeFolders); });
    MadeFolders().push_back(path);
    return path;
}

// One row of the table bench/run prints at the end: our figure and the peer's
// in the same unit (seconds unless `unit` says otherwise; for a speed, pass
// the time per unit of work), and the goal for ours / peer (lower is better).
// A peer figure of zero or less means the peer did not run, which fails the
// row. The row is appended to the file named by $QV_BENCH_TABLE and printed.
inline void TableRow(const std::string& name, double ours, const std::string& peer, double theirs, double goal,
                     const std::string& unit = "s") {
    std::printf("table: %s ours %.4g %s, %s %.4g %s, ratio %.3f (goal <= %.2f)\n", name.c_str(), ours, unit.c_str(),
                peer.c_str(), theirs, unit.c_str(), theirs > 0 ? ours / theirs : NAN, goal);
    const char* table = std::getenv("QV_BENCH_TABLE");
    if (!table || !*table) return;
    if (FILE* f = std::fopen(table, "a")) {
        std::fprintf(f, "%s\t%.6g\t%s\t%.6g\t%.6g\t%s\n", name.c_str(), ours, peer.c_str(), theirs, goal,
                     unit.c_str());
        std::fclose(f);
    }
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

// Figures of one benchmark kept for a row a later benchmark of the same run
// makes (benchmarks run in the order they are declared).
inline std::map<std::string, double>& Recorded() {
    static std::map<std::string, double> figures;
    return figures;
}

// The loop of a benchmark timed as a whole: seconds per iteration.
template <typename Loop>
double SecondsPerIteration(benchmark::State& state, Loop&& loop) {
    const auto start = std::chrono::steady_clock::now();
    loop();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return state.iterations() > 0 ? seconds / double(state.iterations()) : 0;
}

// A row of two recorded figures; a figure never recorded fails the row.
inline void RowOfRecorded(const std::string& name, const std::string& oursKey, const std::string& peer,
                          const std::string& peerKey, double goal, const std::string& unit = "s") {
    const auto ours = Recorded().find(oursKey), theirs = Recorded().find(peerKey);
    TableRow(name, ours == Recorded().end() ? 0 : ours->second, peer, theirs == Recorded().end() ? 0 : theirs->second,
             goal, unit);
}

// A disc of `tracks` equal audio tracks, `minutes` long in all
// (QV_BENCH_MINUTES overrides, 10 by default), made by sox into
// folder/disc.bin with folder/disc.cue; `sound` is sox's synth effect list.
inline void WriteAudioDisc(const std::string& folder, int tracks, const std::string& sound) {
    const char* env = std::getenv("QV_BENCH_MINUTES");
    const int minutes = env ? std::max(1, std::atoi(env)) : 10;
    const int seconds = minutes * 60 / tracks;
    RunQuiet("cd " + folder + " && sox -n -r 44100 -c 2 -b 16 -e signed -L -t raw disc.bin synth " +
             std::to_string(minutes * 60) + " " + sound);
    std::string cue = "FILE \"disc.bin\" BINARY\n";
    for (int t = 0; t < tracks; ++t) {
        const int s = t * seconds;
        char line[96];
        std::snprintf(line, sizeof line, "  TRACK %02d AUDIO\n    INDEX 01 %02d:%02d:00\n", t + 1, s / 60, s % 60);
        cue += line;
    }
    std::ofstream(folder + "/disc.cue") << cue;
}

}  // namespace qvbench
