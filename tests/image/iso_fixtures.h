#pragma once
// Shared helpers of the ISO reader tests: opening an image as a document,
// listing our tree, and writing hand-made directory records and whole small
// images where no tool makes the damaged or unusual layout a test needs.

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "foundation/byte_order.h"
#include "foundation/file_io.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/iso/iso_reader.h"
#include "image/document/item_tree.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace isotest {

using image::DocumentPtr;
using image::ImageContext;
using image::ImageFolder;
using image::ImageItem;

inline DocumentPtr OpenDoc(const std::string& path, int* codeOut = nullptr, const std::string& sheet = "") {
    const std::u16string wide = platform::Utf8ToUtf16(path);
    int code = -1;
    DocumentPtr doc(image::OpenImageDocument(wide, platform::Utf8ToUtf16(sheet),
                                             foundation::OpenFileForRead(wide), true, 2, &code));
    if (codeOut) *codeOut = code;
    return doc;
}

struct Entry {
    bool folder = false;
    int64_t size = 0;
    uint32_t time = 0;
    uint8_t flags = 0;
    const ImageItem* item = nullptr;
};

// "/a/b" -> entry, for every item but "." and "..".
inline std::map<std::string, Entry> ListTree(const ImageContext& ctx) {
    std::map<std::string, Entry> out;
    std::vector<std::pair<const ImageFolder*, std::string>> work{{ctx.rootFolder, ""}};
    while (!work.empty()) {
        auto [folder, prefix] = work.back();
        work.pop_back();
        for (const ImageItem* item = folder->firstItem; item; item = item->next) {
            if (item->name == u"." || item->name == u"..") continue;
            const std::string path = prefix + "/" + platform::Utf16ToUtf8(item->name);
            Entry e;
            e.folder = image::IsFolderItem(item);
            e.size = item->size;
            e.time = item->time;
            e.flags = item->recordHeader[25];
            e.item = item;
            EXPECT_TRUE(out.emplace(path, e).second) << "duplicate " << path;
            if (e.folder && item->ownFolder) work.emplace_back(item->ownFolder, path);
        }
    }
    return out;
}

inline std::vector<std::string> Paths(const std::map<std::string, Entry>& tree) {
    std::vector<std::string> v;
    for (const auto& [p, e] : tree) v.push_back(p);
    return v;
}

// Lines of a tool's listing that start with "/", sorted, with an optional
// version suffix ";1" removed.
inline std::vector<std::string> ToolPaths(const std::string& output, bool cutVersion) {
    std::vector<std::string> v;
    size_t pos = 0;
    while (pos < output.size()) {
        size_t end = output.find('\n', pos);
        if (end == std::string::npos) end = output.size();
        std::string line = output.substr(pos, end - pos);
        pos = end + 1;
        if (line.empty() || line[0] != '/') continue;
        if (cutVersion && line.size() > 2 && line.compare(line.size() - 2, 2, ";1") == 0) line.resize(line.size() - 2);
        v.push_back(line);
    }
    std::sort(v.begin(), v.end());
    return v;
}

inline std::vector<uint8_t> ItemBytes(ImageContext& ctx, const ImageItem& item) {
    std::vector<uint8_t> data(static_cast<size_t>(item.size));
    const int64_t got = image::ReadIsoItemBytes(ctx, item, 0, data.data(), data.size());
    EXPECT_EQ(got, item.size);
    return data;
}

// --- Hand-made records and images -------------------------------------------

inline std::vector<uint8_t> Record(const std::vector<uint8_t>& id, uint32_t extent, uint32_t size, uint8_t flags) {
    size_t n = 33 + id.size();
    if (n % 2 && n < 255) ++n;   // the pad byte after an even-length identifier
    std::vector<uint8_t> r(n, 0);
    r[0] = static_cast<uint8_t>(n);
    foundation::WriteBothEndian32(&r[2], extent);
    foundation::WriteBothEndian32(&r[10], size);
    r[18] = 120;   // 2020-01-02 03:04:05 UTC
    r[19] = 1;
    r[20] = 2;
    r[21] = 3;
    r[22] = 4;
    r[23] = 5;
    r[25] = flags;
    foundation::WriteBothEndian16(&r[28], 1);
    r[32] = static_cast<uint8_t>(id.size());
    std::memcpy(&r[33], id.data(), id.size());
    return r;
}

inline std::vector<uint8_t> Id(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }
inline std::vector<uint8_t> JolietId(const std::u16string& s) {
    std::vector<uint8_t> v;
    for (char16_t c : s) {
        v.push_back(static_cast<uint8_t>(c >> 8));
        v.push_back(static_cast<uint8_t>(c));
    }
    return v;
}

// Records laid into whole sectors, moving to the next sector when one would
// cross (as writers do).
inline std::vector<uint8_t> Directory(const std::vector<std::vector<uint8_t>>& records, size_t minSectors = 1) {
    std::vector<uint8_t> dir(minSectors * 2048, 0);
    size_t pos = 0;
    for (const auto& r : records) {
        if (pos / 2048 != (pos + r.size() - 1) / 2048) pos = (pos / 2048 + 1) * 2048;
        if (pos + r.size() > dir.size()) dir.resize((pos / 2048 + 1) * 2048, 0);
        std::memcpy(&dir[pos], r.data(), r.size());
        pos += r.size();
    }
    return dir;
}

// A minimal ISO 9660 image: primary descriptor at 16 (and a Joliet one at 17
// when jolietRoot is given), terminator after, then sectors as given.
struct MiniIso {
    std::vector<uint8_t> bytes;
    explicit MiniIso(uint32_t sectors) : bytes(static_cast<size_t>(sectors) * 2048, 0) {}
    uint8_t* Sector(uint32_t s) { return &bytes[static_cast<size_t>(s) * 2048]; }
    void Put(uint32_t sector, const std::vector<uint8_t>& data) {
        if ((sector * 2048ull) + data.size() > bytes.size()) bytes.resize(sector * 2048ull + data.size());
        std::memcpy(Sector(sector), data.data(), data.size());
    }
    void Descriptor(uint32_t sector, uint8_t type, uint32_t rootExtent, uint32_t rootBytes, const char* escape = nullptr) {
        uint8_t* d = Sector(sector);
        d[0] = type;
        std::memcpy(d + 1, "CD001", 5);
        d[6] = 1;
        std::memset(d + 8, ' ', 32);
        std::memset(d + 40, ' ', 32);
        std::memcpy(d + 40, "MINI", 4);
        foundation::WriteBothEndian32(d + 80, static_cast<uint32_t>(bytes.size() / 2048));
        if (escape) std::memcpy(d + 88, escape, 3);
        foundation::WriteBothEndian16(d + 120, 1);
        foundation::WriteBothEndian16(d + 124, 1);
        foundation::WriteBothEndian16(d + 128, 2048);
        auto root = Record({0}, rootExtent, rootBytes, 2);
        std::memcpy(d + 156, root.data(), 34);
        d[881] = 1;
    }
    void Terminator(uint32_t sector) {
        uint8_t* d = Sector(sector);
        d[0] = 255;
        std::memcpy(d + 1, "CD001", 5);
        d[6] = 1;
    }
    void Write(const std::string& path) const { qvtest::WriteFileBytes(path, bytes.data(), bytes.size()); }
};

}  // namespace isotest
