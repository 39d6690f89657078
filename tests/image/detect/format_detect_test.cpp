// Format detection: extensions, the three rounds, the raw scan, and the files
// left to other openers (zip, 7z, WIM made by 7z and wimcapture).

#include "image/detect/format_detect.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "image/sectors/raw_sectors.h"
#include "tests/image/iso_fixtures.h"

namespace image {
namespace {

using isotest::ListTree;
using isotest::OpenDoc;
using isotest::Paths;
using qvtest::RunOk;
using qvtest::ShellQuote;

TEST(FormatDetect, Extensions) {
    const struct {
        const char16_t* path;
        const char16_t* extension;
    } rows[] = {
        {u"/x/image.ISO", u"iso"}, {u"a.tar.001", u"001"}, {u"noext", u""}, {u"/dir.d/file", u""},
        {u"x.abcde", u"abcde"}, {u"x.abcdef", u""}, {u"C:\\dir.x\\file", u""}, {u"a.", u""},
    };
    for (const auto& row : rows) EXPECT_EQ(GetFileExtension(row.path), row.extension) << (const char*)row.path;

    const struct {
        const char16_t* extension;
        int32_t code;
    } codes[] = {{u"iso", 0}, {u"BIN", 1}, {u"daa", 2}, {u"hxi", 2}, {u"exe", 2}, {u"nrg", 3}, {u"mzp", 7},
                 {u"mdf", 11}, {u"bwi", 12}, {u"gi", 21}, {u"zip", 151}, {u"7z", 151}, {u"foo", -1}, {u"", -1}};
    for (const auto& row : codes) EXPECT_EQ(GetFormatByExtension(row.extension), row.code);

    for (int32_t code : {102, 103, 104, 106, 107, 110}) EXPECT_TRUE(IsProjectFormat(code));
    for (int32_t code : {0, 100, 101, 105, 151}) EXPECT_FALSE(IsProjectFormat(code));
    const uint8_t hay[] = {1, 2, 3, 1, 2, 4};
    const uint8_t needle[] = {1, 2, 4};
    EXPECT_EQ(FindBytes(hay, needle), 3u);
    EXPECT_EQ(FindBytes(needle, hay), std::u16string_view::npos);
}

TEST(FormatDetect, RawScanCandidates) {
    // Descriptor at A, terminator d bytes later: every d / k in [2048, 3072)
    // that divides d, at most four.
    for (int64_t distance : {int64_t{2 * 2352}, int64_t{3 * 2048}, int64_t{24576}}) {
        std::vector<uint8_t> file(200000, 0);
        const size_t a = 40000;
        std::memcpy(&file[a], "\x01" "CD001", 6);
        std::memcpy(&file[a + distance], "\xFF" "CD001", 6);
        const RawScanResult scan = ScanRawBytes([&](uint64_t offset, uint8_t* buffer, size_t bytes) -> int64_t {
            if (offset >= file.size()) return 0;
            const size_t n = std::min<size_t>(bytes, file.size() - offset);
            std::memcpy(buffer, &file[offset], n);
            return static_cast<int64_t>(n);
        });
        EXPECT_EQ(scan.descriptorOffset, static_cast<int64_t>(a));
        std::vector<int32_t> expected;
        for (int64_t k = 1; k <= 16 && expected.size() < 4; ++k) {
            if (distance % k == 0 && distance / k >= 2048 && distance / k < 3072) {
                expected.push_back(static_cast<int32_t>(distance / k));
            }
        }
        EXPECT_EQ(std::vector<int32_t>(scan.sectorSizes.begin(), scan.sectorSizes.begin() + scan.sizeCount),
                  expected) << distance;
    }
}

struct RawFixture {
    qvtest::TempDir dir;
    std::string iso;
    std::vector<uint8_t> plain;
    RawFixture() {
        RunOk("cd " + ShellQuote(dir.path()) + " && mkdir -p t/sub && echo hello > t/a.txt && "
              "head -c 9000 /dev/urandom > t/sub/b.bin && find t -exec touch -d @1600000000 {} + && "
              "TZ=UTC genisoimage -quiet -J -o plain.iso t");
        iso = dir / "plain.iso";
        plain = qvtest::ReadFileBytes(iso);
    }
    // Every 2048-byte sector as a 2352-byte raw sector, after `header` bytes.
    std::vector<uint8_t> Raw(bool mode2, const std::string& header = "") const {
        std::vector<uint8_t> out(header.begin(), header.end());
        const size_t sectors = plain.size() / 2048;
        out.resize(header.size() + sectors * kRawSectorSize);
        for (size_t s = 0; s < sectors; ++s) {
            uint8_t* raw = &out[header.size() + s * kRawSectorSize];
            if (mode2) {
                MakeMode2Form1Sector(static_cast<int32_t>(s), &plain[s * 2048], raw);
            } else {
                MakeMode1Sector(static_cast<int32_t>(s), &plain[s * 2048], raw);
            }
        }
        return out;
    }
};

TEST(FormatDetect, RawSectorLayouts) {
    RawFixture f;
    const auto expected = Paths(ListTree(*OpenDoc(f.iso)));
    ASSERT_EQ(expected, (std::vector<std::string>{"/a.txt", "/sub", "/sub/b.bin"}));

    // Our Mode 1 wrapping is what bchunk turns back into the ISO.
    const auto mode1 = f.Raw(false);
    qvtest::WriteFileBytes(f.dir / "m1.bin", mode1.data(), mode1.size());
    qvtest::WriteFileText(f.dir / "m1.cue", "FILE \"m1.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n");
    RunOk("cd " + ShellQuote(f.dir.path()) + " && bchunk m1.bin m1.cue back >/dev/null");
    ASSERT_EQ(qvtest::ReadFileBytes(f.dir / "back01.iso"), f.plain);

    const struct {
        const char* name;
        bool mode2;
        std::string header;
        int32_t code;
    } rows[] = {
        {"mode1.iso", false, "", 1},         // a raw BIN named .iso: row 0 fails, row 1 finds it
        {"mode1.bin", false, "", 1},
        {"mode2.bin", true, "", 9},          // Mode 2 Form 1: user data at 24
        {"junk.dat", false, std::string(1000, 'j'), 1000},   // no row fits: the raw scan does
        {"junk.zip", false, std::string(1000, 'j'), 1000},   // a ".zip" without "PK" is scanned too
    };
    for (const auto& row : rows) {
        const auto raw = f.Raw(row.mode2, row.header);
        const std::string path = f.dir / row.name;
        qvtest::WriteFileBytes(path, raw.data(), raw.size());
        int code = -1;
        auto doc = OpenDoc(path, &code);
        ASSERT_TRUE(doc) << row.name << " " << code;
        EXPECT_EQ(doc->formatCode, row.code) << row.name;
        const auto tree = ListTree(*doc);
        EXPECT_EQ(Paths(tree), expected) << row.name;
        EXPECT_EQ(isotest::ItemBytes(*doc, *tree.at("/sub/b.bin").item), qvtest::ReadFileBytes(f.dir / "t/sub/b.bin"))
            << row.name;
    }
}

// Detection over a record without opening a document, to see whether the raw
// scan ran.
struct Detected {
    int32_t format;
    int32_t scanOffset;
};
Detected Detect(const std::string& path) {
    ImageContext ctx;
    ctx.imagePath = platform::Utf8ToUtf16(path);
    ctx.imageHandle.reset(foundation::OpenFileForRead(ctx.imagePath));
    ctx.imageSize = foundation::GetFileSize64(ctx.imageHandle.get());
    ctx.primaryDescriptorSector = ctx.jolietDescriptorSector = ctx.bootRecordSector = -1;
    ctx.rawScanDescriptorOffset = -7;   // untouched unless the scan runs
    DetectImageFormat(ctx, -1);
    return {ctx.formatCode, ctx.rawScanDescriptorOffset};
}

TEST(FormatDetect, ArchivesAndWimStopDetection) {
    RawFixture f;
    RunOk("cd " + ShellQuote(f.dir.path()) + " && 7z a -bd x.zip t >/dev/null && 7z a -bd x.7z t >/dev/null && "
          "wimcapture t x.wim >/dev/null && tar cf x.tar t && gzip -kn x.tar && bzip2 -k x.tar && xz -k x.tar"
          " && zstd -q x.tar");
    for (const char* name : {"x.zip", "x.7z", "x.wim", "x.tar", "x.tar.gz", "x.tar.bz2", "x.tar.xz", "x.tar.zst"}) {
        const Detected d = Detect(f.dir / name);
        EXPECT_EQ(d.format, -1) << name;
        EXPECT_EQ(d.scanOffset, -7) << name;   // stopped before the raw scan
        int code = -1;
        EXPECT_FALSE(OpenDoc(f.dir / name, &code)) << name;
        EXPECT_EQ(code, open_result::kNotRecognised) << name;
    }
    // A ".zip" starting with "PK" stops even though a raw image follows; under
    // another name the same bytes are scanned and open.
    const auto raw = f.Raw(false, "PK" + std::string(998, 'j'));
    qvtest::WriteFileBytes(f.dir / "pk.zip", raw.data(), raw.size());
    qvtest::WriteFileBytes(f.dir / "pk.dat", raw.data(), raw.size());
    EXPECT_EQ(Detect(f.dir / "pk.zip").format, -1);
    EXPECT_EQ(Detect(f.dir / "pk.dat").format, 1000);
}

}  // namespace
}  // namespace image
