#pragma once
// Shared by the ext2 tests: volumes made by mke2fs -d from a source tree, a
// document over such an image as the disk opener makes it, the tree as a list,
// and extraction of every file.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "filesystems/ext2/ext2_volume.h"
#include "foundation/file_io.h"
#include "foundation/utf8_text.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "tests/support/test_support.h"

namespace ext2test {

using qvtest::RunOk;
using qvtest::ShellQuote;

// A source tree with what the reader must get right: folders nine deep, an
// empty folder, files from 0 bytes to past the double-indirect blocks of
// 4 KiB volumes, holes (one reached only through triple-indirect blocks of
// 1 KiB volumes), symbolic links kept in the inode (below 60 bytes) and in a
// data block, a hard link and UTF-8 names. Times are fixed at 1600000000.
inline void MakeSourceTree(const std::string& src) {
    const std::string q = ShellQuote(src);
    RunOk("mkdir -p " + q + "/deep/1/2/3/4/5/6/7/8/9 " + q + "/empty && cd " + q +
          " && printf leaf > deep/1/2/3/4/5/6/7/8/9/leaf.txt && : > zero && printf 1 > one"
          " && seq 1 300 | head -c 1023 > b1023 && seq 1 400 | head -c 1024 > b1024 && seq 1 400 | head -c 1025 > b1025"
          " && seq 1 60000 > indirect.txt && seq 1 700000 | head -c 5000000 > double.txt"
          " && truncate -s 3M hole && printf tail >> hole && printf head | dd of=hole conv=notrunc status=none"
          " && truncate -s 70M far && printf far >> far"
          " && for n in 1 20 55 59 60 70 1000; do ln -s $(head -c $n /dev/zero | tr '\\0' t) link$n; done"
          " && ln one deep/one.hardlink && printf utf > 'naïve €.txt' && printf sp > 'with space'"
          " && find . -exec touch -h -d @1600000000 {} +");
}

struct DocumentCloser {
    void operator()(image::ImageContext* ctx) const { delete ctx; }
};
using Document = std::unique_ptr<image::ImageContext, DocumentCloser>;

// A document over the image as the disk opener leaves it before the mount.
inline Document OpenImage(const std::string& path, uint64_t partitionStart, int32_t partitionClass = 0,
                          uint64_t partitionSectors = 0) {
    Document ctx(new image::ImageContext);
    ctx->imagePath = foundation::Utf8ToWideStatic(path);
    ctx->imageHandle.reset(foundation::OpenFileForRead(ctx->imagePath));
    EXPECT_TRUE(ctx->imageHandle) << path;
    ctx->imageSize = ctx->imageHandle ? foundation::GetFileSize64(ctx->imageHandle.get()) : 0;
    ctx->formatCode = image::format_code::kDisk;
    ctx->ownsTree = 1;
    ctx->partitionStart = partitionStart;
    ctx->partitionClass = partitionClass;
    ctx->partitionSectors = partitionSectors;
    return ctx;
}

struct Entry {
    const image::ImageItem* item = nullptr;
    bool folder = false;
};

// Every item below the root by its "/"-separated UTF-8 path.
inline std::map<std::string, Entry> ListTree(image::ImageContext& ctx) {
    std::map<std::string, Entry> out;
    if (!ctx.rootFolder) return out;
    std::vector<std::pair<const image::ImageFolder*, std::string>> work{{ctx.rootFolder, ""}};
    while (!work.empty()) {
        auto [folder, prefix] = work.back();
        work.pop_back();
        for (const image::ImageItem* item = folder->firstItem; item; item = item->next) {
            const std::string path = prefix + foundation::WideToUtf8Static(item->name.view());
            const bool isFolder = image::IsFolderItem(item);
            out[path] = {item, isFolder};
            if (isFolder && item->ownFolder) work.push_back({item->ownFolder, path + "/"});
        }
    }
    return out;
}

// Extracts one item into a file; the result of ExtractExt2File.
inline int ExtractTo(image::ImageContext& ctx, const image::ImageItem& item, const std::string& path,
                     foundation::ProgressCallbacks* progress = nullptr) {
    foundation::UniqueFile out(foundation::CreateNewFile(foundation::Utf8ToWideStatic(path)));
    EXPECT_TRUE(out) << path;
    if (!out) return -1;
    return filesystems::ExtractExt2File(progress, ctx, item, foundation::Utf8ToWideStatic(path), out.get());
}

// fls -r -p -u (allocated entries only: sleuthkit also digs for deleted
// names, and finds "names" in the index blocks of indexed folders): path -> the inode's type letter ('d', 'r', 'l', ...: the one
// after the entry's, which volumes without the file-type feature leave '-')
// and the inode, without the virtual $OrphanFiles folder.
struct FlsEntry {
    char type = 0;
    uint32_t inode = 0;
};
inline std::map<std::string, FlsEntry> FlsListing(const std::string& image, uint64_t offsetSectors) {
    const std::string text =
        RunOk("fls -r -p -u -o " + std::to_string(offsetSectors) + " " + ShellQuote(image));
    std::map<std::string, FlsEntry> out;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        const size_t space = line.find(' ');
        const size_t colon = line.find(':');
        const size_t tab = line.find('\t');
        if (space == std::string::npos || colon == std::string::npos || tab == std::string::npos) continue;
        if (line[0] == 'V' || line.size() < 3) continue;
        out[line.substr(tab + 1)] = {line[2], static_cast<uint32_t>(std::stoul(line.substr(space + 1, colon - space - 1)))};
    }
    return out;
}

}  // namespace ext2test
