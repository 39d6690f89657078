// Builds an ISO 9660 + Joliet image of the same tree three ways in one run:
// our save, genisoimage -J and xorriso -as mkisofs -J. The tree: 20,000 files,
// about 1 GB, some of them identical (which our save stores once).
// A second tree of 20,000 distinct files of 4 KiB each, all of one size, is
// saved by us and by genisoimage in turn; its ratio (ours / genisoimage, goal:
// at most 1.0) shows what the identical-data search costs where it finds
// nothing.
//
// The first tree is also saved with UDF beside ISO 9660 and Joliet, against
// genisoimage -J -udf (xorriso writes no UDF).
//
// Run by bench/run; QV_BENCH_FILES and QV_BENCH_MB shrink the first tree,
// QV_BENCH_SMALL_FILES the second.

#include <benchmark/benchmark.h>

#include "bench/bench_support.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "filesystems/filesystem_readers.h"
#include "foundation/progress_callbacks.h"
#include "image/document/document.h"
#include "image/sectors/format_table.h"
#include "image/document/image_context.h"
#include "image/build/image_save.h"
#include "image/document/item_tree.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace {

struct Tree {
    fs::path root;
    fs::path source;
    size_t files = 0;
    uint64_t bytes = 0;
};

size_t EnvNumber(const char* name, size_t fallback) {
    const char* v = std::getenv(name);
    return v && *v ? size_t(std::strtoull(v, nullptr, 10)) : fallback;
}

// The trees made in this run, removed at its end.
std::vector<fs::path>& MadeRoots() {
    static std::vector<fs::path> roots;
    return roots;
}

Tree& SharedTree() {
    static Tree tree = [] {
        Tree t;
        const size_t files = EnvNumber("QV_BENCH_FILES", 20000);
        const uint64_t totalBytes = uint64_t(EnvNumber("QV_BENCH_MB", 1000)) << 20;
        t.root = qvbench::MakeBenchFolder();
        MadeRoots().push_back(t.root);
        t.source = t.root / "src";
        std::mt19937_64 random(42);
        std::vector<char> block(1 << 20);
        for (auto& c : block) c = char(random());
        const uint64_t average = totalBytes / files;
        std::vector<fs::path> made;
        for (size_t i = 0; i < files; ++i) {
            fs::path folder = t.source / ("d" + std::to_string(i % 200)) / ("e" + std::to_string(i % 7));
            fs::create_directories(folder);
            fs::path file = folder / ("file_with_a_longer_name_" + std::to_string(i) + ".dat");
            // One file in ten repeats an earlier one.
            if (i % 10 == 9 && !made.empty()) {
                fs::copy_file(made[random() % made.size()], file, fs::copy_options::overwrite_existing);
            } else {
                uint64_t size = random() % (2 * average + 1);
                std::ofstream out(file, std::ios::binary);
                uint64_t offset = random() % block.size();
                for (uint64_t done = 0; done < size;) {
                    size_t n = size_t(std::min<uint64_t>(size - done, block.size() - offset));
                    out.write(block.data() + offset, std::streamsize(n));
                    done += n;
                    offset = 0;
                }
                made.push_back(file);
            }
            t.bytes += fs::file_size(file);
            ++t.files;
        }
        std::fprintf(stderr, "tree: %zu files, %.1f MB in %s\n", t.files, double(t.bytes) / 1e6, t.source.c_str());
        return t;
    }();
    return tree;
}

// Distinct files of one size: every one is a candidate for every other.
Tree& SmallFilesTree() {
    static Tree tree = [] {
        Tree t;
        const size_t files = EnvNumber("QV_BENCH_SMALL_FILES", 20000);
        constexpr size_t kFileBytes = 4096;
        t.root = qvbench::MakeBenchFolder();
        MadeRoots().push_back(t.root);
        t.source = t.root / "src";
        std::mt19937_64 random(7);
        std::vector<char> bytes(kFileBytes);
        for (size_t i = 0; i < files; ++i) {
            fs::path folder = t.source / ("d" + std::to_string(i % 100));
            fs::create_directories(folder);
            for (size_t at = 0; at < kFileBytes; at += 8) {
                const uint64_t word = random();
                std::memcpy(bytes.data() + at, &word, 8);
            }
            std::ofstream(folder / ("small_file_" + std::to_string(i) + ".dat"), std::ios::binary)
                .write(bytes.data(), std::streamsize(bytes.size()));
            t.bytes += kFileBytes;
            ++t.files;
        }
        std::fprintf(stderr, "small tree: %zu files, %.1f MB in %s\n", t.files, double(t.bytes) / 1e6,
                     t.source.c_str());
        return t;
    }();
    return tree;
}

void AddDiskTree(image::ImageContext* ctx, const fs::path& source) {
    std::map<fs::path, image::ImageFolder*> folders{{source, ctx->rootFolder}};
    std::vector<fs::path> work{source};
    while (!work.empty()) {
        fs::path dir = work.back();
        work.pop_back();
        image::ImageFolder* folder = folders.at(dir);
        for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
            std::u16string name = platform::Utf8ToUtf16(e.path().filename().string());
            if (e.is_directory()) {
                folders[e.path()] = image::MakeFolderNode(ctx, folder, name);
                work.push_back(e.path());
            } else {
                image::ImageItem* item = image::NewItem();
                item->name = name;
                item->diskPath = platform::Utf8ToUtf16(e.path().string());
                item->size = int64_t(e.file_size());
                image::LinkItemAtHead(folder, item);
            }
        }
    }
}

void DropCaches() { (void)std::system("sync"); }

using Clock = std::chrono::steady_clock;

// One save of the tree: its whole time, and apart from it the identical-data
// search (from the layout's NarrowStatus to its WidenStatus) and what follows
// it (the write). False when the save failed.
bool SaveTree(const Tree& t, double& wholeSeconds, double& searchSeconds, double& writeSeconds, bool udf = false) {
    auto start = Clock::now();
    Clock::time_point searchStart = start, searchEnd = start;
    foundation::ProgressCallbacks progress;
    progress.NarrowStatus = [&] { searchStart = Clock::now(); };
    progress.WidenStatus = [&] { searchEnd = Clock::now(); };
    image::DocumentPtr doc(image::NewIsoDocument());
    doc->udfFlag = udf ? 1 : 0;
    AddDiskTree(doc.get(), t.source);
    std::u16string out = platform::Utf8ToUtf16((t.root / "ours.iso").string());
    const bool saved = image::SaveImageFile(*doc, out, image::format_code::kIso, &progress) == 1;
    auto end = Clock::now();
    wholeSeconds = std::chrono::duration<double>(end - start).count();
    searchSeconds = std::chrono::duration<double>(searchEnd - searchStart).count();
    writeSeconds = std::chrono::duration<double>(end - searchEnd).count();
    return saved;
}

bool RunCommand(const Tree& t, const std::string& command) {
    std::string line = "cd '" + t.root.string() + "' && " + command + " >/dev/null 2>&1";
    return std::system(line.c_str()) == 0;
}

// The search must not cost more than the write.
void SaveBench(benchmark::State& state, bool udf) {
    filesystems::InstallFilesystemReaders();
    Tree& t = SharedTree();
    double searchSeconds = 0, writeSeconds = 0;
    for (auto _ : state) {
        DropCaches();
        double whole = 0, search = 0, write = 0;
        if (!SaveTree(t, whole, search, write, udf)) state.SkipWithError("save failed");
        searchSeconds += search;
        writeSeconds += write;
        state.SetIterationTime(whole);
    }
    state.counters["MB"] = double(t.bytes) / 1e6;
    state.counters["search_s"] = benchmark::Counter(searchSeconds, benchmark::Counter::kAvgIterations);
    state.counters["write_s"] = benchmark::Counter(writeSeconds, benchmark::Counter::kAvgIterations);
}

// Ours and genisoimage in turn in each iteration, so that both see the same
// load of the machine.
void BM_SmallFilesSaveAgainstGenisoimage(benchmark::State& state) {
    Tree& t = SmallFilesTree();
    double ours = 0, searchSeconds = 0, peer = 0;
    for (auto _ : state) {
        DropCaches();
        double whole = 0, search = 0, write = 0;
        if (!SaveTree(t, whole, search, write)) state.SkipWithError("save failed");
        DropCaches();
        const auto start = Clock::now();
        if (!RunCommand(t, "genisoimage -quiet -J -o peer1.iso src")) state.SkipWithError("genisoimage failed");
        const double tool = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(whole);
        ours += whole;
        searchSeconds += search;
        peer += tool;
    }
    const double n = double(state.iterations());
    state.counters["files"] = double(t.files);
    state.counters["ours_s"] = ours / n;
    state.counters["search_s"] = searchSeconds / n;
    state.counters["genisoimage_s"] = peer / n;
    state.counters["ratio"] = peer > 0 ? ours / peer : 0;
    qvbench::TableRow("ISO save 20,000 distinct 4 KiB files", ours / n, "genisoimage -J", peer / n, 1.0);
}

void RunTool(benchmark::State& state, const std::string& command) {
    Tree& t = SharedTree();
    for (auto _ : state) {
        DropCaches();
        auto start = std::chrono::steady_clock::now();
        if (!RunCommand(t, command)) state.SkipWithError(command.c_str());
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["MB"] = double(t.bytes) / 1e6;
}

void BM_QuendravineSave(benchmark::State& state) { SaveBench(state, false); }
void BM_QuendravineSaveUdf(benchmark::State& state) { SaveBench(state, true); }
void BM_Genisoimage(benchmark::State& state) { RunTool(state, "genisoimage -quiet -J -o peer1.iso src"); }
void BM_GenisoimageUdf(benchmark::State& state) { RunTool(state, "genisoimage -quiet -J -udf -o peer3.iso src"); }
void BM_XorrisoMkisofs(benchmark::State& state) { RunTool(state, "xorriso -as mkisofs -quiet -J -o peer2.iso src"); }

BENCHMARK(BM_QuendravineSave)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Genisoimage)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XorrisoMkisofs)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuendravineSaveUdf)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GenisoimageUdf)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SmallFilesSaveAgainstGenisoimage)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    for (const fs::path& root : MadeRoots()) fs::remove_all(root, ignored);
    return 0;
}
