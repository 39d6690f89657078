#pragma once
// FAT volumes for the tests: made at test time by mkfs.fat and filled by
// mcopy, opened as documents the way the disk opener does, and read back
// through our reader, through mtools and through sleuthkit.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "filesystems/disk/disk_image.h"
#include "filesystems/fat/fat_volume.h"
#include "foundation/file_io.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace fattest {

using qvtest::Run;
using qvtest::RunOk;
using qvtest::ShellQuote;

// mtools with a fixed zone and names in UTF-8; mtools' own code page for
// 8.3 names is 850, which our reader is told too (QV_OEM_CODEPAGE).
inline std::string Mtools() { return "MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8 TZ=UTC "; }

inline void UseMtoolsCodePage() { ::setenv("QV_OEM_CODEPAGE", "850", 1); }

// The volume file opened as a document of the disk opener: the partition
// start in sectors, the count of partitions the chooser listed.
inline image::DocumentPtr OpenVolume(const std::string& path, int32_t partitionStart = 0, int32_t partitions = 0,
                                     bool writable = false) {
    image::DocumentPtr ctx(new image::ImageContext);
    ctx->imagePath = platform::Utf8ToUtf16(path);
    ctx->imageHandle.reset(writable ? foundation::OpenFileReadWrite(ctx->imagePath)
                                    : foundation::OpenFileForRead(ctx->imagePath));
    if (!ctx->imageHandle) return nullptr;
    ctx->partitionStart = partitionStart;
    ctx->partitionCount = partitions;
    if (filesystems::MountFat(*ctx) != 1) return nullptr;
    return ctx;
}

inline std::string Lower(const std::u16string& text) { return platform::Utf16ToUtf8(platform::ToLower(text)); }

// Every entry of our tree as mdir -/ -b lists it ("::/a/b" for files,
// "::/a/" for folders), lower-cased and sorted: mtools shows 8.3 names
// with their case flags, we show FAT12/16 names as stored.
inline std::vector<std::string> OurListing(image::ImageContext& ctx) {
    std::vector<std::string> out;
    struct Pending {
        const image::ImageFolder* folder;
        std::u16string path;
    };
    std::vector<Pending> work{{ctx.rootFolder, u""}};
    while (!work.empty()) {
        Pending current = work.back();
        work.pop_back();
        for (const image::ImageItem* item = current.folder->firstItem; item; item = item->next) {
            // Folders added from disk carry "." and ".." items; no volume lists them.
            if (image::IsDotOrDotDot(item)) continue;
            const std::u16string path = current.path + u"/" + std::u16string(item->name);
            if (image::IsFolderItem(item)) {
                out.push_back("::" + Lower(path) + "/");
                if (item->ownFolder) work.push_back({item->ownFolder, path});
            } else {
                out.push_back("::" + Lower(path));
            }
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// mdir's bare recursive listing of a volume ("img" or "img@@offset").
inline std::vector<std::string> MdirListing(const std::string& image) {
    std::vector<std::string> out;
    // mdir fails on a volume without entries ("File "::" not found").
    const qvtest::CommandResult listed = Run(Mtools() + "mdir -/ -b -i " + ShellQuote(image) + " ::");
    if (listed.exitCode != 0) {
        EXPECT_NE(listed.output.find("not found"), std::string::npos) << listed.output;
        return out;
    }
    for (const std::string& line : SplitLines(listed.output)) {
        out.push_back(Lower(platform::Utf8ToUtf16(line)));
    }
    std::sort(out.begin(), out.end());
    return out;
}

// Writes every file of our tree below dest through ReadFatFileData, in
// pieces as the extraction reads them. False when a file reads short.
inline bool ExtractTree(image::ImageContext& ctx, const std::string& dest, uint32_t piece = 65536) {
    struct Pending {
        const image::ImageFolder* folder;
        std::string path;
    };
    std::vector<Pending> work{{ctx.rootFolder, dest}};
    std::vector<uint8_t> buffer(piece);
    bool whole = true;
    while (!work.empty()) {
        Pending current = work.back();
        work.pop_back();
        RunOk("mkdir -p " + ShellQuote(current.path));
        for (const image::ImageItem* item = current.folder->firstItem; item; item = item->next) {
            const std::string path = current.path + "/" + platform::Utf16ToUtf8(item->name);
            if (image::IsDotOrDotDot(item)) continue;
            if (image::IsFolderItem(item)) {
                if (item->ownFolder) work.push_back({item->ownFolder, path});
                continue;
            }
            std::ofstream out(path, std::ios::binary);
            for (uint64_t at = 0; at < uint64_t(item->size); at += piece) {
                const uint32_t want = uint32_t(std::min<uint64_t>(piece, uint64_t(item->size) - at));
                const uint32_t got = filesystems::ReadFatFileData(ctx, item, buffer.data(), uint32_t(at / 512), want);
                out.write(reinterpret_cast<const char*>(buffer.data()), got);
                if (got != want) {
                    whole = false;
                    break;
                }
            }
        }
    }
    return whole;
}

// The disk as the document now sees it (overlay first), written to path.
inline void DumpDisk(image::ImageContext& ctx, const std::string& path) {
    const int64_t size = foundation::GetFileSize64(ctx.imageHandle.get());
    ASSERT_GT(size, 0);
    const uint64_t sectors = uint64_t(size) / 512;
    std::ofstream out(path, std::ios::binary);
    std::vector<uint8_t> buffer(512 * 256);
    for (uint64_t at = 0; at < sectors; at += 256) {
        const uint32_t n = uint32_t(std::min<uint64_t>(256, sectors - at));
        ASSERT_EQ(filesystems::ReadDiskSectors(ctx, at, buffer.data(), n), n);
        out.write(reinterpret_cast<const char*>(buffer.data()), std::streamsize(n) * 512);
    }
}

// Every file below root as "lower-cased path  md5", sorted: trees that hold
// the same bytes under names equal without case give the same digest.
inline std::vector<std::string> TreeDigest(const std::string& root) {
    std::vector<std::string> out;
    for (const std::string& line :
         SplitLines(RunOk("cd " + ShellQuote(root) + " && find . -type f -exec md5sum {} +"))) {
        if (line.size() < 35) continue;
        out.push_back(Lower(platform::Utf8ToUtf16(line.substr(34))) + "  " + line.substr(0, 32));
    }
    std::sort(out.begin(), out.end());
    return out;
}

inline image::ImageItem* FindItem(image::ImageContext& ctx, std::u16string_view path) {
    return image::FindItemByPath(&ctx, nullptr, path);
}

}  // namespace fattest
