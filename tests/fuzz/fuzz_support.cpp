#include "tests/fuzz/fuzz_support.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "app/open_document.h"
#include "app/other_openers.h"
#include "foundation/file_io.h"
#include "foundation/operation_status.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_bytes.h"
#include "image/document/item_tree.h"
#include "platform/text.h"

namespace qvfuzz {

namespace fs = std::filesystem;

const std::string& WorkFolder() {
    static const std::string folder = [] {
        std::string pattern = (fs::temp_directory_path() / "qvfuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::perror("qvfuzz: mkdtemp");
            std::abort();
        }
        fs::create_directory(fs::path(pattern) / "settings");
        setenv("QV_CONFIG_DIR", (fs::path(pattern) / "settings").c_str(), 1);
        if (const char* companions = std::getenv("QV_FUZZ_COMPANIONS"); companions && fs::is_directory(companions))
            fs::copy(companions, pattern, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        // The folder goes with the process; libFuzzer ends it with exit().
        static const std::string removeAtExit = pattern;
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(removeAtExit, ignored);
        });
        return pattern;
    }();
    return folder;
}

std::string WriteInput(std::string_view name, const uint8_t* data, size_t size) {
    const std::string path = (fs::path(WorkFolder()) / name).string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) std::abort();
    return path;
}

namespace {

// What one input may have read of its files' data: enough for every file of
// a seed, little enough that a run stays fast. A reader that would give more
// than its input can hold is found by the reader tests' bounds, not here.
constexpr uint64_t kReadBudgetBytes = 16u << 20;

// Reads every file's data through the one item reader, as an extraction
// would, within the budget.
void ReadEveryFile(image::ImageContext& ctx, const std::vector<image::ImageItem*>& items) {
    std::vector<uint8_t> buffer(64 * 1024);
    uint64_t budget = kReadBudgetBytes;
    for (image::ImageItem* item : items) {
        image::ItemByteReader reader(ctx, *item);
        for (uint64_t offset = 0; budget > 0;) {
            const int64_t got = reader.Read(offset, buffer.data(), std::min<uint64_t>(buffer.size(), budget));
            if (got <= 0) break;
            offset += uint64_t(got);
            budget -= uint64_t(got);
        }
        if (budget == 0) return;
    }
}

// Visits every folder once through a work list, as a view would, then reads
// the files.
void WalkTree(image::ImageContext& ctx) {
    if (!ctx.rootFolder) return;
    std::vector<image::ImageFolder*> work{ctx.rootFolder};
    std::vector<image::ImageItem*> items;
    while (!work.empty()) {
        image::ImageFolder* folder = work.back();
        work.pop_back();
        for (image::ImageItem* item = folder->firstItem; item; item = item->next)
            if (!item->ownFolder) items.push_back(item);
        for (image::ImageFolder* sub = folder->firstSubfolder; sub; sub = sub->next) work.push_back(sub);
    }
    image::TreeStatistics stats;
    image::GetTreeStatistics(&ctx, ctx.rootFolder, &stats, true);
    ReadEveryFile(ctx, items);
}

}  // namespace

void MountAndWalk(const uint8_t* data, size_t size, int (*mount)(image::ImageContext&)) {
    static const bool installed = [] {
        app::InstallReaders();
        return true;
    }();
    (void)installed;
    const std::string path = WriteInput("input.img", data, size);
    foundation::ResetOperationStatus();
    image::DocumentPtr doc(new image::ImageContext);
    doc->imagePath = platform::Utf8ToUtf16(path);
    doc->imageHandle.reset(foundation::OpenFileForRead(doc->imagePath));
    if (!doc->imageHandle) return;
    doc->imageSize = int64_t(size);
    doc->formatCode = image::format_code::kDisk;
    doc->partitionSectors = uint64_t(size / 512);
    doc->ownsTree = 1;
    if (image::CreateRootFolder(doc.get()) != 0) return;
    if (mount(*doc) == 1) WalkTree(*doc);
}

void OpenThroughOpenEntry(std::string_view extension, const uint8_t* data, size_t size) {
    static const bool installed = [] {
        app::InstallReaders();
        return true;
    }();
    (void)installed;
    const std::string path = WriteInput("input." + std::string(extension), data, size);
    foundation::ResetOperationStatus();
    image::DocumentPtr doc(app::OpenImageByPath(platform::Utf8ToUtf16(path), false, false, false));
    if (doc) WalkTree(*doc);
}

}  // namespace qvfuzz
