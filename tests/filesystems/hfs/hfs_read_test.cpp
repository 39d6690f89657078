// The HFS and HFS+ readers against volumes real tools make: hfsutils volumes
// (512-byte and larger allocation blocks, a file in more than three extents)
// listed by hls and read back by hcopy, genisoimage's hybrid discs with and
// without an Apple partition map, and xorriso's HFS+ hybrids (maps of 512-
// and 2048-byte blocks) listed and read by sleuthkit.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "image/document/item_bytes.h"
#include "app/other_openers.h"
#include "filesystems/hfs/hfs_state.h"
#include "tests/filesystems/hfs/hfs_fixtures.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

// A source tree with a name holding '/', a space, and sizes around the
// allocation block and the sector.
constexpr const char* kTreeRecipe =
    "mkdir -p t/F/G && echo hello > t/h.txt && head -c 3000 /dev/urandom > t/F/b.bin"
    " && head -c 70001 /dev/urandom > t/F/G/c.bin && : > t/F/empty && echo s > 't/F/G/sp ace'"
    " && find t -exec touch -d @1600000000 {} +";

// Copies the tree into the mounted volume with hfsutils (raw data forks).
constexpr const char* kHcopyTree =
    "hmkdir :F && hmkdir :F:G && hcopy -r t/h.txt : && hcopy -r t/F/b.bin :F: && hcopy -r t/F/G/c.bin :F:G:"
    " && hcopy -r t/F/empty :F: && hcopy -r 't/F/G/sp ace' :F:G: && hcopy -r t/h.txt ':F:a/b'";

// 64 files of 16 KiB with every second one deleted, then one file just
// under the holes' total: it lands in many extents.
constexpr const char* kFragmentRecipe =
    "head -c 16384 /dev/urandom > s && for i in $(seq 1 56); do hcopy -r s :f$i; done"
    " && for i in $(seq 1 2 56); do hdel :f$i; done && head -c 430000 /dev/urandom > t/big"
    " && hcopy -r t/big :big";

struct HfsRow {
    const char* name;
    const char* make;        // makes v.img in the test folder, the tree recipe run first
    bool hybrid;
    uint32_t minBlockBytes;  // the allocation block size the tool chose
    bool fragmented;         // "big" needs the extents overflow tree
};

TEST(HfsRead, VolumesListAndReadAsHfsutilsShowThem) {
    hfstest::ReadersInstalled readers;
    hfstest::MacFilesShown shown;
    const HfsRow rows[] = {
        {"512-byte blocks", "dd if=/dev/zero of=v.img bs=1k count=1400 2>/dev/null && hformat -l Vol v.img >/dev/null"
                            " && hmount v.img >/dev/null && {copy}", false, 512, false},
        {"larger blocks", "truncate -s 48M v.img && hformat -l Big v.img >/dev/null && hmount v.img >/dev/null && {copy}",
         false, 1024, false},
        {"fragmented file", "dd if=/dev/zero of=v.img bs=1k count=1200 2>/dev/null && hformat -l Frag v.img >/dev/null"
                            " && hmount v.img >/dev/null && {frag}", false, 512, true},
        {"genisoimage hybrid", "genisoimage -quiet -hfs -V Hyb -o v.img t", true, 512, false},
        {"genisoimage hybrid with partition map", "genisoimage -quiet -hfs -part -V Hyb -o v.img t", true, 512, false},
    };
    for (const HfsRow& row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::TempDir dir;
        std::string make = row.make;
        if (auto at = make.find("{copy}"); at != std::string::npos) make.replace(at, 6, kHcopyTree);
        if (auto at = make.find("{frag}"); at != std::string::npos) make.replace(at, 6, kFragmentRecipe);
        hfstest::Hfs(dir, std::string(kTreeRecipe) + " && " + make + " && (humount >/dev/null 2>&1; true)");
        const std::string image = dir / "v.img";
        int code = -1;
        auto doc = isotest::OpenDoc(image, &code);
        ASSERT_TRUE(doc) << code;
        ASSERT_TRUE(doc->hfsVolume);
        EXPECT_EQ(doc->macFileSystem, 1);
        EXPECT_EQ(doc->iso9660Present != 0, row.hybrid);
        EXPECT_GE(doc->hfsVolume->geometry.blockBytes, row.minBlockBytes);
        EXPECT_EQ(hfstest::OurListing(*doc), hfstest::HlsListing(dir, image));
        // Every file as hcopy reads it back.
        std::string copies = "hmount v.img >/dev/null";
        int n = 0;
        const auto tree = isotest::ListTree(*doc);
        for (const auto& [path, e] : tree) {
            if (e.folder) continue;
            std::string mac = path;
            for (char& c : mac) c = c == '/' ? ':' : c == ':' ? '/' : c;
            copies += " && hcopy -r " + ShellQuote(mac) + " out" + std::to_string(n++);
        }
        hfstest::Hfs(dir, copies + " && humount >/dev/null");
        if (row.hybrid) {
            // With Mac files hidden the ISO 9660 side is shown and read.
            shown.Show(false);
            auto iso = isotest::OpenDoc(image);
            shown.Show(true);
            ASSERT_TRUE(iso);
            EXPECT_TRUE(iso->hfsVolume);
            EXPECT_EQ(iso->macFileSystem, 0);
            const auto isoTree = isotest::ListTree(*iso);
            ASSERT_TRUE(isoTree.count("/H.TXT") || isoTree.count("/h.txt"));
            for (const auto& [path, e] : isoTree) {
                if (e.folder) continue;
                EXPECT_EQ(image::ReaderKindOf(*iso, *e.item), image::ItemReaderKind::Iso) << path;
            }
        }
        if (row.fragmented) {
            filesystems::HfsFork fork;
            ASSERT_TRUE(filesystems::LoadHfsFork(tree.at("/big").item->Side().readerData, fork));
            EXPECT_GT(fork.extents.size(), 3u);
        }
        n = 0;
        for (const auto& [path, e] : tree) {
            if (e.folder) continue;
            EXPECT_EQ(hfstest::ItemBytes(*doc, *e.item), qvtest::ReadFileBytes(dir / ("out" + std::to_string(n++))))
                << path;
            EXPECT_EQ(image::ReaderKindOf(*doc, *e.item), image::ItemReaderKind::Hfs);
        }
    }
}

// Classic HFS dates are local times: they read as the same moment in any
// zone (genisoimage keeps the files' times; hcopy stamps the copy's).
TEST(HfsRead, LocalDatesReadAsTheSameMoment) {
    hfstest::ReadersInstalled readers;
    hfstest::MacFilesShown shown;
    for (const char* zone : {"UTC", "America/New_York", "Asia/Kolkata"}) {
        SCOPED_TRACE(zone);
        qvtest::TempDir dir;
        RunOk("cd " + ShellQuote(dir.path()) + " && export TZ=" + zone + " && mkdir t && echo x > t/f"
              " && touch -d @1600000000 t/f && genisoimage -quiet -hfs -o v.img t");
        const char* saved = std::getenv("TZ");
        const std::string old = saved ? saved : "";
        ::setenv("TZ", zone, 1);
        ::tzset();
        auto doc = isotest::OpenDoc(dir / "v.img");
        if (saved) ::setenv("TZ", old.c_str(), 1); else ::unsetenv("TZ");
        ::tzset();
        ASSERT_TRUE(doc);
        EXPECT_EQ(isotest::ListTree(*doc).at("/f").time, 1600000000u);
    }
}

struct PlusRow {
    const char* name;
    const char* make;
};

TEST(HfsPlusRead, XorrisoHybridsListAndReadAsSleuthkitShowsThem) {
    hfstest::ReadersInstalled readers;
    hfstest::MacFilesShown shown;
    const PlusRow rows[] = {
        {"map of 512-byte blocks", "xorriso -as mkisofs -quiet -hfsplus -V Plus -o v.img t"},
        {"map of 2048-byte blocks",
         "xorriso -outdev v.img -hfsplus on -boot_image any apm_block_size=2048 -map t / -commit"},
    };
    for (const PlusRow& row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::TempDir dir;
        RunOk("cd " + ShellQuote(dir.path()) + " && " + "head -c 300000 /dev/urandom > big && " + kTreeRecipe + " && mv big t/F/G/"
              " && touch -d @1600000000 t/F/G/big && TZ=UTC " + row.make + " >/dev/null 2>&1");
        const std::string image = dir / "v.img";
        int code = -1;
        auto doc = isotest::OpenDoc(image, &code);
        ASSERT_TRUE(doc) << code;
        ASSERT_TRUE(doc->hfsPlusVolume);
        EXPECT_EQ(doc->macFileSystem, 2);
        const uint64_t start = doc->hfsPlusVolume->volumeStartBytes / 512;
        EXPECT_GT(start, 0u);
        EXPECT_EQ(hfstest::OurListing(*doc), hfstest::FlsListing(image, start));
        const auto tree = isotest::ListTree(*doc);
        for (const auto& [path, e] : tree) {
            if (e.folder) continue;
            EXPECT_EQ(hfstest::ItemBytes(*doc, *e.item), qvtest::ReadFileBytes(dir / ("t" + path))) << path;
            EXPECT_EQ(e.time, 1600000000u) << path;
        }
    }
}

}  // namespace
