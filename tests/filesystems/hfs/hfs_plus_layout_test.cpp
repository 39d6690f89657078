// HFS+ variants no Debian tool writes, built from the documented layout and
// read beside sleuthkit and 7z: a plain volume whose file continues in the
// extents overflow file, the same inside an HFS wrapper, HFSX, and a volume
// placed past 4 GiB by a partition map.

#include <gtest/gtest.h>

#include "app/extract_job.h"
#include "app/open_document.h"
#include "app/other_openers.h"
#include "filesystems/hfs/hfs_state.h"
#include "tests/filesystems/hfs/hfs_fixtures.h"
#include "tests/filesystems/hfs/hfs_plus_builder.h"

namespace {

using hfstest::HfsPlusBuilder;
using qvtest::RunOk;
using qvtest::ShellQuote;

const std::map<std::string, int64_t> kExpected = {
    {"a.txt", 6}, {"big", 10 * 4096 - 100}, {"sub", -1}, {"sub/c", 7}};

struct LayoutRow {
    const char* name;
    bool wrapped;
    bool hfsx;
    uint64_t expectedStart;   // bytes
};

TEST(HfsPlusLayout, HandBuiltVolumesReadAsSleuthkitAndSevenZipReadThem) {
    hfstest::ReadersInstalled readers;
    const LayoutRow rows[] = {
        {"plain", false, false, 0},
        {"hfsx", false, true, 0},
        {"inside an HFS wrapper", true, false, 4096 + 8 * 512},
    };
    for (const LayoutRow& row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::TempDir dir;
        HfsPlusBuilder b;
        b.hfsx = row.hfsx;
        const std::vector<uint8_t> bytes = row.wrapped ? b.BuildWrapped() : b.Build();
        const std::string image = dir / "v.img";
        qvtest::WriteFileBytes(image, bytes.data(), bytes.size());
        auto doc = isotest::OpenDoc(image);
        ASSERT_TRUE(doc);
        ASSERT_TRUE(doc->hfsPlusVolume);
        EXPECT_EQ(doc->hfsPlusVolume->hfsx, row.hfsx);
        EXPECT_EQ(doc->hfsPlusVolume->binaryNames, row.hfsx);
        EXPECT_EQ(doc->hfsPlusVolume->volumeStartBytes, row.expectedStart);
        EXPECT_EQ(doc->volumeTexts[image::volume_text::kVolumeLabel], u"Vol");
        EXPECT_EQ(hfstest::OurListing(*doc), kExpected);
        const auto tree = isotest::ListTree(*doc);
        EXPECT_EQ(hfstest::ItemBytes(*doc, *tree.at("/a.txt").item), b.aText);
        EXPECT_EQ(hfstest::ItemBytes(*doc, *tree.at("/big").item), b.big);
        EXPECT_EQ(hfstest::ItemBytes(*doc, *tree.at("/sub/c").item), b.cText);
        for (const auto& [path, e] : tree) EXPECT_EQ(e.time, 1600000000u) << path;
        if (!row.wrapped) {
            // The peers agree on the layout: sleuthkit's listing and its copy of big.
            EXPECT_EQ(hfstest::FlsListing(image, 0), kExpected);
            RunOk("icat -f hfs " + ShellQuote(image) + " 17 > " + ShellQuote(dir / "big"));
            EXPECT_EQ(qvtest::ReadFileBytes(dir / "big"), b.big);
        }
        if (!row.hfsx) {
            RunOk("cd " + ShellQuote(dir.path()) + " && 7z x -thfs -oout v.img >/dev/null");
            EXPECT_EQ(qvtest::ReadFileBytes(dir / "out/Vol/big"), b.big);
        }
    }
}

// A partition map entry that puts the volume 5 GiB into the disc: positions
// stay 64-bit all the way to the file data.
TEST(HfsPlusLayout, VolumePastFourGibibytesMounts) {
    hfstest::ReadersInstalled readers;
    qvtest::TempDir dir;
    HfsPlusBuilder b;
    const std::vector<uint8_t> plus = b.Build();
    const uint64_t start = 5ull << 30;
    std::vector<uint8_t> map(2048, 0);
    map[512] = 'P';
    map[513] = 'M';
    HfsPlusBuilder::Be32(&map[512 + 4], 1);
    HfsPlusBuilder::Be32(&map[512 + 8], uint32_t(start / 512));
    HfsPlusBuilder::Be32(&map[512 + 12], uint32_t(plus.size() / 512));
    std::memcpy(&map[512 + 48], "Apple_HFS", 9);
    const std::string image = dir / "v.img";
    qvtest::WriteFileBytes(image, map.data(), map.size());
    RunOk("truncate -s " + std::to_string(start) + " " + ShellQuote(image));
    FILE* f = std::fopen(image.c_str(), "ab");
    ASSERT_TRUE(f);
    ASSERT_EQ(std::fwrite(plus.data(), 1, plus.size(), f), plus.size());
    std::fclose(f);
    auto doc = isotest::OpenDoc(image);
    ASSERT_TRUE(doc);
    ASSERT_TRUE(doc->hfsPlusVolume);
    EXPECT_EQ(doc->hfsPlusVolume->volumeStartBytes, start);
    EXPECT_EQ(hfstest::ItemBytes(*doc, *isotest::ListTree(*doc).at("/big").item), b.big);
}

// The extraction job reaches the HFS+ reader through the program's reader
// table: every file lands whole, the fragmented one too.
TEST(HfsPlusLayout, ExtractionJobWritesEveryFile) {
    app::InstallReaders();
    qvtest::TempDir dir;
    HfsPlusBuilder b;
    const std::vector<uint8_t> bytes = b.BuildWrapped();
    qvtest::WriteFileBytes(dir / "v.img", bytes.data(), bytes.size());
    image::DocumentPtr doc(app::OpenImageByPath(platform::Utf8ToUtf16(dir / "v.img"), false, true, false));
    ASSERT_TRUE(doc);
    app::ExtractRequest request;
    request.destination = platform::Utf8ToUtf16(dir / "out");
    request.allFiles = true;
    EXPECT_EQ(app::ExtractItems(doc.get(), doc->rootFolder, {}, request, nullptr), 1);
    EXPECT_EQ(qvtest::ReadFileBytes(dir / "out/a.txt"), b.aText);
    EXPECT_EQ(qvtest::ReadFileBytes(dir / "out/big"), b.big);
    EXPECT_EQ(qvtest::ReadFileBytes(dir / "out/sub/c"), b.cText);
    app::UninstallReaders();
}

}  // namespace
