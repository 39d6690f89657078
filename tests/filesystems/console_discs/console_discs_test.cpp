// Xbox and Wii discs, hand-built from the documented layouts (no Debian tool
// writes them): the Xbox directory tree with entries reached by left and
// right links, padding, a subfolder, and the damage a crafted disc can carry;
// the Wii header's region and title.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "filesystems/filesystem_readers.h"
#include "image/iso/iso_reader.h"
#include "tests/image/iso_fixtures.h"

namespace {

using Bytes = std::vector<uint8_t>;

class ReadersInstalled {
public:
    ReadersInstalled() { filesystems::InstallFilesystemReaders(); }
    ~ReadersInstalled() { filesystems::UninstallFilesystemReaders(); }
};

void Le16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void Le32(uint8_t* p, uint32_t v) {
    Le16(p, v);
    Le16(p + 2, v >> 16);
}

constexpr uint32_t kRoot = 33;
constexpr uint32_t kSub = 35;   // the root may take two sectors
constexpr uint32_t kData = 40;

// An entry at `at` of a directory buffer; links in bytes (0 none).
void Entry(Bytes& dir, size_t at, uint32_t left, uint32_t right, uint32_t sector, uint32_t size, bool folder,
           const std::string& name) {
    Le16(&dir[at], left / 4);
    Le16(&dir[at + 2], right / 4);
    Le32(&dir[at + 4], sector);
    Le32(&dir[at + 8], size);
    dir[at + 12] = folder ? 0x10 : 0x20;
    dir[at + 13] = uint8_t(name.size());
    std::memcpy(&dir[at + 14], name.data(), name.size());
}

// Root: m.txt at 0 with a.bin on its left and sub on its right (sub reached
// only by a right link), a.bin with b.txt on its right; the rest of the
// sector 0xFF padding. sub holds c.txt.
struct XboxDisc {
    Bytes image = Bytes(64 * 2048, 0);
    Bytes root = Bytes(2048, 0xFF);
    Bytes sub = Bytes(2048, 0xFF);
    std::map<std::string, std::string> files = {
        {"/m.txt", "middle\n"}, {"/a.bin", std::string(3000, 'a')}, {"/b.txt", "b\n"}, {"/sub/c.txt", "c\n"}};

    XboxDisc() {
        Entry(root, 0, 20, 60, kData, 7, false, "m.txt");
        Entry(root, 20, 0, 40, kData + 1, 3000, false, "a.bin");
        Entry(root, 40, 0, 0, kData + 3, 2, false, "b.txt");
        Entry(root, 60, 0, 0, kSub, 2048, true, "sub");
        Entry(sub, 0, 0, 0, kData + 4, 2, false, "c.txt");
    }

    Bytes Build(bool secondIdentifier = true, uint32_t rootSector = kRoot) const {
        Bytes v = image;
        uint8_t* d = &v[32 * 2048];
        std::memcpy(d, "MICROSOFT*XBOX*MEDIA", 20);
        Le32(d + 20, rootSector);
        Le32(d + 24, uint32_t(root.size()));
        if (secondIdentifier) std::memcpy(d + 2028, "MICROSOFT*XBOX*MEDIA", 20);
        std::memcpy(&v[kRoot * 2048], root.data(), root.size());
        std::memcpy(&v[kSub * 2048], sub.data(), sub.size());
        const std::pair<uint32_t, std::string> data[] = {
            {kData, files.at("/m.txt")}, {kData + 1, files.at("/a.bin")}, {kData + 3, files.at("/b.txt")},
            {kData + 4, files.at("/sub/c.txt")}};
        for (const auto& [sector, text] : data) std::memcpy(&v[sector * 2048], text.data(), text.size());
        return v;
    }
};

TEST(XboxDisc, TreeReadsEveryBranchAndFilesExtract) {
    ReadersInstalled readers;
    qvtest::TempDir dir;
    XboxDisc disc;
    const Bytes v = disc.Build();
    qvtest::WriteFileBytes(dir / "x.iso", v.data(), v.size());
    int code = -1;
    auto doc = isotest::OpenDoc(dir / "x.iso", &code);
    ASSERT_TRUE(doc) << code;
    EXPECT_EQ(doc->xboxVolume, 1);
    EXPECT_EQ(doc->readOnly, 1);
    const auto tree = isotest::ListTree(*doc);
    EXPECT_EQ(isotest::Paths(tree), (std::vector<std::string>{"/a.bin", "/b.txt", "/m.txt", "/sub", "/sub/c.txt"}));
    for (const auto& [path, text] : disc.files) {
        EXPECT_EQ(isotest::ItemBytes(*doc, *tree.at(path).item), Bytes(text.begin(), text.end())) << path;
    }
}

struct XboxRow {
    const char* name;
    std::function<Bytes(XboxDisc&)> make;
    bool detected;
    bool opens;
};

TEST(XboxDisc, DamagedTreesFailClearlyAndNeverLoop) {
    ReadersInstalled readers;
    const XboxRow rows[] = {
        {"second identifier missing", [](XboxDisc& d) { return d.Build(false); }, false, false},
        {"root beyond the image", [](XboxDisc& d) { return d.Build(true, 100000); }, true, false},
        {"entry linked to itself",
         [](XboxDisc& d) {
             Entry(d.root, 40, 0, 40, kData + 3, 2, false, "b.txt");
             return d.Build();
         },
         true, false},
        {"subfolder that is the root again",
         [](XboxDisc& d) {
             Entry(d.root, 60, 0, 0, kRoot, 2048, true, "sub");
             return d.Build();
         },
         true, false},
        {"entry crossing its sector",
         [](XboxDisc& d) {
             // Whole inside the two-sector root, but its name runs into the next sector.
             d.root.resize(4096, 0xFF);
             Le16(&d.root[42], 2028 / 4);
             Entry(d.root, 2028, 0, 0, kData + 3, 2, false, "a name of twenty....");
             return d.Build();
         },
         true, false},
        {"link into padding",
         [](XboxDisc& d) {
             Le16(&d.root[42], 1000 / 4);
             return d.Build();
         },
         true, false},
    };
    for (const XboxRow& row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::TempDir dir;
        XboxDisc disc;
        const Bytes v = row.make(disc);
        qvtest::WriteFileBytes(dir / "x.iso", v.data(), v.size());
        int code = -1;
        auto doc = isotest::OpenDoc(dir / "x.iso", &code);
        EXPECT_EQ(bool(doc), row.opens) << code;
        // A recognised disc whose tree cannot be read says so.
        EXPECT_EQ(code == image::open_result::kDirectoryUnreadable, row.detected && !row.opens) << code;
    }
}

struct WiiRow {
    char region;
    const char16_t* text;
};

TEST(WiiDisc, RegionAndTitleFromTheHeader) {
    ReadersInstalled readers;
    const WiiRow rows[] = {{'E', u"NTSC"}, {'J', u"NTSC"}, {'P', u"PAL"}, {'K', u""}};
    for (const WiiRow& row : rows) {
        SCOPED_TRACE(row.region);
        qvtest::TempDir dir;
        Bytes v(64 * 2048, 0);
        std::memcpy(v.data(), "RSB", 3);
        v[3] = uint8_t(row.region);
        const uint8_t magic[] = {0x5D, 0x1C, 0x9E, 0xA3};
        std::memcpy(&v[24], magic, 4);
        const std::string title = "A WII TITLE THAT RUNS PAST 32 BYTES OF ROOM";
        std::memcpy(&v[32], title.data(), title.size());
        qvtest::WriteFileBytes(dir / "w.iso", v.data(), v.size());
        int code = -1;
        auto doc = isotest::OpenDoc(dir / "w.iso", &code);
        ASSERT_TRUE(doc) << code;
        EXPECT_EQ(doc->wiiDisc, 1);
        EXPECT_EQ(doc->wiiRegion, row.text);
        EXPECT_EQ(doc->volumeTexts[image::volume_text::kVolumeLabel], u"A WII TITLE THAT RUNS PAST 32 BY");
    }
}

}  // namespace
