// Builds an ISO 9660 + Joliet image of the same tree three ways in one run:
// our save, genisoimage -J and xorriso -as mkisofs -J. The tree: 20,000 files,
// about 1 GB, some of them identical (which our save stores once).
//
// Run by bench/run; QV_BENCH_FILES and QV_BENCH_MB shrink the tree.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

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

Tree& SharedTree() {
    static Tree tree = [] {
        Tree t;
        const size_t files = EnvNumber("QV_BENCH_FILES", 20000);
        const uint64_t totalBytes = uint64_t(EnvNumber("QV_BENCH_MB", 1000)) << 20;
        char tmpl[] = "/tmp/qvbench-XXXXXX";
        t.root = mkdtemp(tmpl);
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

// Besides the whole save, the identical-data search (from the layout's
// NarrowStatus to its WidenStatus) and what follows it (the write) are timed
// apart: the search must not cost more than the write.
void BM_QuendravineSave(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    Tree& t = SharedTree();
    double searchSeconds = 0, writeSeconds = 0;
    for (auto _ : state) {
        DropCaches();
        auto start = Clock::now();
        Clock::time_point searchStart = start, searchEnd = start;
        foundation::ProgressCallbacks progress;
        progress.NarrowStatus = [&] { searchStart = Clock::now(); };
        progress.WidenStatus = [&] { searchEnd = Clock::now(); };
        image::DocumentPtr doc(image::NewIsoDocument());
        AddDiskTree(doc.get(), t.source);
        std::u16string out = platform::Utf8ToUtf16((t.root / "ours.iso").string());
        if (image::SaveImageFile(*doc, out, image::format_code::kIso, &progress) != 1)
            state.SkipWithError("save failed");
        auto end = Clock::now();
        searchSeconds += std::chrono::duration<double>(searchEnd - searchStart).count();
        writeSeconds += std::chrono::duration<double>(end - searchEnd).count();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    state.counters["MB"] = double(t.bytes) / 1e6;
    state.counters["search_s"] = benchmark::Counter(searchSeconds, benchmark::Counter::kAvgIterations);
    state.counters["write_s"] = benchmark::Counter(writeSeconds, benchmark::Counter::kAvgIterations);
}

void RunTool(benchmark::State& state, const std::string& command) {
    Tree& t = SharedTree();
    for (auto _ : state) {
        DropCaches();
        auto start = std::chrono::steady_clock::now();
        std::string line = "cd '" + t.root.string() + "' && " + command + " >/dev/null 2>&1";
        if (std::system(line.c_str()) != 0) state.SkipWithError(command.c_str());
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["MB"] = double(t.bytes) / 1e6;
}

void BM_Genisoimage(benchmark::State& state) { RunTool(state, "genisoimage -quiet -J -o peer1.iso src"); }
void BM_XorrisoMkisofs(benchmark::State& state) { RunTool(state, "xorriso -as mkisofs -quiet -J -o peer2.iso src"); }

BENCHMARK(BM_QuendravineSave)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Genisoimage)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XorrisoMkisofs)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(SharedTree().root, ignored);
    return 0;
}
