// Building and searching the item tree at 10^4, 10^5 and 10^6 items: each
// insert first looks its name up (as the readers and the add-files code do),
// and every lookup walks a full path. Both must stay linear in the item count:
// the per-item times at the three sizes should be about equal.

#include <benchmark/benchmark.h>

#include "bench/bench_support.h"

#include <string>
#include <vector>

#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/document/open_reader_services.h"

namespace {

using namespace image;

std::u16string Name(const char* prefix, int64_t n) {
    std::string text = prefix + std::to_string(n) + ".dat";
    return std::u16string(text.begin(), text.end());
}

// No settings store and no volume texts: the tree alone is measured.
class BareDocumentSettings final : public OpenReaderStandIn {
public:
    int32_t CompressionLevel() override { return 0; }
    int64_t FixedTime() override { return 0; }
    void InitNewImageFields(ImageContext&, int32_t) override {}
};

DocumentPtr NewDocument() {
    static BareDocumentSettings settings;
    SetOpenReaderServices(&settings);
    return DocumentPtr(NewIsoDocument());
}

// n items in one folder.
void InsertFlat(ImageFolder* folder, const std::vector<std::u16string>& names) {
    for (const std::u16string& name : names) {
        if (FindChildByName(folder, name)) continue;
        ImageItem* item = NewItem();
        item->name = name;
        LinkItemAtHead(folder, item);
    }
}

// n items spread over folders of 1000 items, the folders 100 to a parent.
std::vector<std::u16string> BuildTree(ImageContext* ctx, int64_t n) {
    std::vector<std::u16string> paths;
    paths.reserve(static_cast<size_t>(n));
    ImageFolder* group = nullptr;
    ImageFolder* folder = nullptr;
    std::u16string prefix;
    for (int64_t i = 0; i < n; ++i) {
        if (i % 100000 == 0) {
            group = MakeFolderNode(ctx, ctx->rootFolder, Name("group", i / 100000));
        }
        if (i % 1000 == 0) {
            std::u16string folderName = Name("folder", i / 1000);
            folder = MakeFolderNode(ctx, group, folderName);
            prefix = u"/" + std::u16string(FolderName(group)) + u"/" + folderName + u"/";
        }
        std::u16string name = Name("file", i);
        if (FindChildByName(folder, name)) continue;
        ImageItem* item = NewItem();
        item->name = name;
        LinkItemAtHead(folder, item);
        paths.push_back(prefix + name);
    }
    return paths;
}

void BM_InsertFlat(benchmark::State& state) {
    const int64_t n = state.range(0);
    std::vector<std::u16string> names;
    for (int64_t i = 0; i < n; ++i) names.push_back(Name("file", i));
    for (auto _ : state) {
        state.PauseTiming();
        DocumentPtr ctx = NewDocument();
        state.ResumeTiming();
        InsertFlat(ctx->rootFolder, names);
        state.PauseTiming();
        ctx.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
    state.SetComplexityN(n);
}

void BM_LookupFlatCaseFolded(benchmark::State& state) {
    const int64_t n = state.range(0);
    std::vector<std::u16string> names;
    for (int64_t i = 0; i < n; ++i) names.push_back(Name("file", i));
    DocumentPtr ctx = NewDocument();
    InsertFlat(ctx->rootFolder, names);
    std::vector<std::u16string> upper;
    for (const std::u16string& name : names) {
        std::u16string u = u"/";
        for (char16_t c : name) u += (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
        upper.push_back(u);
    }
    for (auto _ : state) {
        int64_t found = 0;
        for (const std::u16string& path : upper) found += FindItemByPath(ctx.get(), nullptr, path) != nullptr;
        if (found != n) state.SkipWithError("a name was not found");
    }
    state.SetItemsProcessed(state.iterations() * n);
    state.SetComplexityN(n);
}

void BM_BuildTree(benchmark::State& state) {
    const int64_t n = state.range(0);
    for (auto _ : state) {
        state.PauseTiming();
        DocumentPtr ctx = NewDocument();
        state.ResumeTiming();
        benchmark::DoNotOptimize(BuildTree(ctx.get(), n));
        state.PauseTiming();
        ctx.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
    state.SetComplexityN(n);
}

void BM_LookupPaths(benchmark::State& state) {
    const int64_t n = state.range(0);
    DocumentPtr ctx = NewDocument();
    std::vector<std::u16string> paths = BuildTree(ctx.get(), n);
    for (auto _ : state) {
        int64_t found = 0;
        for (const std::u16string& path : paths) found += FindItemByPath(ctx.get(), nullptr, path) != nullptr;
        if (found != n) state.SkipWithError("a path was not found");
    }
    state.SetItemsProcessed(state.iterations() * n);
    state.SetComplexityN(n);
}

// For the table: the time per item of building and walking a tree of 10^6
// items against that of 10^4 items (linear when about equal).
void BM_PerItemAtAMillionBesideTenThousand(benchmark::State& state) {
    auto perItem = [](int64_t n) {
        std::vector<double> runs;
        for (int run = 0; run < 3; ++run) {
            DocumentPtr ctx = NewDocument();
            runs.push_back(qvbench::Seconds([&] {
                std::vector<std::u16string> paths = BuildTree(ctx.get(), n);
                for (const std::u16string& path : paths) benchmark::DoNotOptimize(FindItemByPath(ctx.get(), nullptr, path));
            }) / double(n));
        }
        return qvbench::Median(runs);
    };
    double large = 0, small = 0;
    for (auto _ : state) {
        small = perItem(10000);
        large = perItem(1000000);
    }
    qvbench::TableRow("item tree per item, 10^6 beside 10^4", large * 1e9, "10^4 items", small * 1e9, 1.5, "ns");
}
BENCHMARK(BM_PerItemAtAMillionBesideTenThousand)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_InsertFlat)->RangeMultiplier(10)->Range(10000, 1000000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(BM_LookupFlatCaseFolded)
    ->RangeMultiplier(10)
    ->Range(10000, 1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
BENCHMARK(BM_BuildTree)->RangeMultiplier(10)->Range(10000, 1000000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(BM_LookupPaths)->RangeMultiplier(10)->Range(10000, 1000000)->Unit(benchmark::kMillisecond)->Complexity();

}  // namespace
