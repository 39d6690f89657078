// The window program's hot paths beside the plain Qt way of doing the same:
// - desktop type names of 10^5 file names, cached by extension against asking
//   the MIME database for each name (goal: the cached run under 50 ms);
// - filling and sorting the file list's model for a folder of 100,000 items
//   against filling a QStandardItemModel with the same rows and sorting it
//   (goal: at least 5 times faster).
// Runs offscreen; no display needed.

#include <benchmark/benchmark.h>

#include "bench/bench_support.h"

#include <QApplication>
#include <QMimeDatabase>
#include <QStandardItemModel>

#include <cstdlib>
#include <string>
#include <vector>

#include "window/panes/item_list_model.h"
#include "window/faces/file_type_cache.h"
#include "window/faces/qt_text.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/document/open_reader_services.h"

namespace {

constexpr int kNames = 100000;
const char* const kExtensions[] = {"iso", "txt", "zip", "png", "mp3", "c", "h", "pdf", "bin", "cue",
                                   "JPG", "doc", "html", "xml", "dat", "exe", "7z", "wav", "ogg", "nrg"};

QApplication& Application() {
    static int argc = 1;
    static char name[] = "window_ui_bench";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

std::vector<std::u16string> Names() {
    std::vector<std::u16string> names;
    names.reserve(kNames);
    for (int i = 0; i < kNames; ++i) {
        const std::string text = "file" + std::to_string(i * 7919 % kNames) + "." + kExtensions[i % 20];
        names.emplace_back(text.begin(), text.end());
    }
    return names;
}

void BM_TypeNamesUncached(benchmark::State& state) {
    Application();
    const std::vector<std::u16string> names = Names();
    QMimeDatabase database;
    for (auto _ : state) {
        for (const std::u16string& name : names)
            benchmark::DoNotOptimize(
                database.mimeTypeForFile(foundation::ui::ToQString(name), QMimeDatabase::MatchExtension).comment());
    }
    state.SetItemsProcessed(state.iterations() * kNames);
}
BENCHMARK(BM_TypeNamesUncached)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_TypeNamesCached(benchmark::State& state) {
    Application();
    const std::vector<std::u16string> names = Names();
    const double seconds = qvbench::SecondsPerIteration(state, [&] {
        for (auto _ : state) {
            foundation::ui::FileTypeCache cache;
            for (const std::u16string& name : names) benchmark::DoNotOptimize(cache.TypeName(name));
        }
    });
    qvbench::TableRow("type names of 100,000 files, cached", seconds, "50 ms budget", 0.050, 1.0);
    state.SetItemsProcessed(state.iterations() * kNames);
}
BENCHMARK(BM_TypeNamesCached)->Unit(benchmark::kMillisecond);

class BareDocumentSettings final : public image::OpenReaderStandIn {
public:
    int32_t CompressionLevel() override { return 0; }
    int64_t FixedTime() override { return 0; }
    void InitNewImageFields(image::ImageContext&, int32_t) override {}
};

image::DocumentPtr FolderOfNames(const std::vector<std::u16string>& names) {
    static BareDocumentSettings settings;
    image::SetOpenReaderServices(&settings);
    image::DocumentPtr doc(image::NewIsoDocument());
    for (size_t i = 0; i < names.size(); ++i) {
        image::ImageItem* item = image::NewItem();
        item->name = names[i];
        item->size = static_cast<int64_t>(i * 131 % 100000);
        image::LinkItemAtHead(doc->rootFolder, item);
    }
    return doc;
}

void BM_FillAndSortListModel(benchmark::State& state) {
    Application();
    image::DocumentPtr doc = FolderOfNames(Names());
    app::ui::ItemListModel model;
    qvbench::Recorded()["list model"] = qvbench::SecondsPerIteration(state, [&] {
        for (auto _ : state) {
            model.ShowFolder(doc.get(), doc->rootFolder);
            model.SetSort(1, true);
            benchmark::DoNotOptimize(model.rowCount());
            model.Clear();
        }
    });
    state.SetItemsProcessed(state.iterations() * kNames);
}
BENCHMARK(BM_FillAndSortListModel)->Unit(benchmark::kMillisecond);

void BM_FillAndSortStandardItemModel(benchmark::State& state) {
    Application();
    image::DocumentPtr doc = FolderOfNames(Names());
    app::ui::ItemListModel texts;   // the same cell texts, made once
    texts.ShowFolder(doc.get(), doc->rootFolder);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        QStandardItemModel model(0, app::ui::kListColumns);
        for (int row = 0; row < texts.rowCount(); ++row) {
            QList<QStandardItem*> items;
            for (int column = 0; column < app::ui::kListColumns; ++column)
                items << new QStandardItem(texts.index(row, column).data().toString());
            model.appendRow(items);
        }
        model.sort(1);
        benchmark::DoNotOptimize(model.rowCount());
    }
    qvbench::Recorded()["standard model"] = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
                                            double(std::max<int64_t>(1, int64_t(state.iterations())));
    qvbench::RowOfRecorded("list of 100,000 items filled and sorted", "list model", "QStandardItemModel",
                           "standard model", 0.2);
    state.SetItemsProcessed(state.iterations() * kNames);
}
BENCHMARK(BM_FillAndSortStandardItemModel)->Unit(benchmark::kMillisecond);

}  // namespace
