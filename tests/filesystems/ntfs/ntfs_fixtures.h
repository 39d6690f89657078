#pragma once
// Shared helpers of the NTFS reader tests: a volume file mounted as a disk
// document, our tree as a listing, sleuthkit's listing of the same volume, and
// a file's bytes as our extraction writes them.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "filesystems/ntfs/ntfs_volume.h"
#include "foundation/file_io.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace ntfstest {

using image::DocumentPtr;
using image::ImageContext;
using image::ImageFolder;
using image::ImageItem;

// A disk document over the file with the volume at startSector; null when the
// mount declines (mounted is then 0).
inline DocumentPtr MountFile(const std::string& path, int32_t startSector = 0, int* mounted = nullptr) {
    DocumentPtr doc(std::make_unique<ImageContext>().release());
    doc->imageHandle.reset(foundation::OpenFileForRead(platform::Utf8ToUtf16(path)));
    doc->formatCode = image::format_code::kDisk;
    doc->partitionStart = startSector;
    doc->partitionSectors = static_cast<int32_t>(foundation::GetFileSize64(doc->imageHandle.get()) / 512) - startSector;
    if (image::CreateRootFolder(doc.get()) != 0) return nullptr;
    doc->ownsTree = 1;
    const int result = filesystems::MountNtfs(*doc);
    if (mounted) *mounted = result;
    return result == 1 ? std::move(doc) : nullptr;
}

struct Entry {
    bool folder = false;
    uint64_t record = 0;
    int64_t size = 0;
    const ImageItem* item = nullptr;
    bool operator==(const Entry& o) const { return folder == o.folder && record == o.record; }
};

// "a/b" -> entry for every item of our tree.
inline std::map<std::string, Entry> ListTree(const ImageContext& ctx) {
    std::map<std::string, Entry> out;
    std::vector<std::pair<const ImageFolder*, std::string>> work{{ctx.rootFolder, ""}};
    while (!work.empty()) {
        auto [folder, prefix] = work.back();
        work.pop_back();
        for (const ImageItem* item = folder->firstItem; item; item = item->next) {
            const std::string path = prefix + platform::Utf16ToUtf8(item->name);
            Entry e{image::IsFolderItem(item), item->startSector, item->size, item};
            out[path] = e;
            if (e.folder && item->ownFolder) work.push_back({item->ownFolder, path + "/"});
        }
    }
    return out;
}

// fls -r -p without the system files, the orphan folder and named streams.
inline std::map<std::string, Entry> ListFls(const std::string& path, int32_t startSector = 0) {
    const std::string text = qvtest::RunOk("fls -r -p -o " + std::to_string(startSector) + " " + qvtest::ShellQuote(path));
    std::map<std::string, Entry> out;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        // "r/r 64-128-2:\tname"
        const size_t tab = line.find('\t');
        if (tab == std::string::npos || line.size() < 5) continue;
        const std::string name = line.substr(tab + 1);
        if (name.empty() || name[0] == '$' || name.find(':') != std::string::npos) continue;
        Entry e;
        e.folder = line[2] == 'd';
        e.record = std::stoull(line.substr(4));
        out[name] = e;
    }
    return out;
}

// The item's data as ExtractNtfsFile writes it; result gets its return value.
inline std::vector<uint8_t> Extract(ImageContext& ctx, const ImageItem& item, const std::string& outPath,
                                    int* result = nullptr) {
    foundation::UniqueFile out(foundation::CreateNewFile(platform::Utf8ToUtf16(outPath)));
    EXPECT_TRUE(out);
    const int r = filesystems::ExtractNtfsFile(nullptr, ctx, item, platform::Utf8ToUtf16(outPath), out.get());
    if (result) *result = r;
    out.reset();
    return qvtest::ReadFileBytes(outPath);
}

// Every file of our tree extracted and compared with what sleuthkit recovers
// of the volume (tsk_recover, icat's reader, in one run; it leaves empty files
// out). Returns the number of files compared.
inline int CompareAllWithSleuthkit(ImageContext& ctx, const std::string& image, const std::string& scratch,
                                   int32_t startSector = 0) {
    const std::string recovered = scratch + "/recovered";
    qvtest::RunOk("mkdir -p " + qvtest::ShellQuote(recovered) + " && tsk_recover -a -o " + std::to_string(startSector) +
                  " " + qvtest::ShellQuote(image) + " " + qvtest::ShellQuote(recovered));
    int files = 0;
    for (const auto& [path, e] : ListTree(ctx)) {
        if (e.folder) continue;
        int result = 0;
        const std::vector<uint8_t> ours = Extract(ctx, *e.item, scratch + "/ours", &result);
        EXPECT_EQ(result, 1) << path;
        EXPECT_EQ(static_cast<uint64_t>(e.size), ours.size()) << path;
        const std::string theirs = recovered + "/" + path;
        if (qvtest::Run("test -f " + qvtest::ShellQuote(theirs)).exitCode != 0) {
            EXPECT_TRUE(ours.empty()) << path;
            continue;
        }
        EXPECT_TRUE(ours == qvtest::ReadFileBytes(theirs)) << path;
        ++files;
    }
    return files;
}

}  // namespace ntfstest
