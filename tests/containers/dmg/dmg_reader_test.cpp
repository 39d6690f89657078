// DMG images around an xorriso ISO, written by the fixture writer in every
// chunk kind (zlib, bzip2, stored, ADC, zero runs; one or two block tables),
// first checked by dmg2img (gives back the exact ISO) and 7z, then opened
// through the open entry: our sectors equal the ISO's and the tree extracts.
// Hand-built block tables pin the rules real images do not reach: relative
// offsets, hostile sizes and counts, missing end entries, undecodable kinds.

#include "containers/dmg/dmg_reader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "foundation/byte_cursor.h"
#include "tests/containers/chunk_image_fixture.h"

namespace {

using chunktest::U;
using qvtest::RunOk;
using qvtest::ShellQuote;

TEST(DmgReader, ImagesOfEveryChunkKindReadAsTheIso) {
    qvtest::TempDir dir;
    chunktest::MakeIso(dir);
    struct Row {
        const char* kinds;
        int chunkSectors;
        int blocks;
    };
    const Row rows[] = {
        {"zlib", 64, 1}, {"bzip2", 128, 1}, {"raw", 64, 1}, {"adc", 32, 1}, {"zlib,bzip2,raw,adc", 48, 2},
    };
    chunktest::Readers readers;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.kinds);
        const std::string dmg = dir / "t.dmg";
        RunOk("python3 " + chunktest::FixtureScript() + " dmg " + ShellQuote(dir / "t.iso") + " " + ShellQuote(dmg) +
              " " + row.kinds + " " + std::to_string(row.chunkSectors) + " " + std::to_string(row.blocks));
        RunOk("cd " + ShellQuote(dir.path()) + " && rm -f back.img && dmg2img -i t.dmg -o back.img >/dev/null"
              " && cmp back.img t.iso && 7z t t.dmg >/dev/null");
        image::DocumentPtr doc = chunktest::Open(dmg);
        ASSERT_TRUE(doc);
        EXPECT_EQ(doc->formatCode, image::format_code::kDmg);
        chunktest::ExpectSectorsOf(*doc, dir / "t.iso");
        chunktest::ExpectExtractsTree(*doc, dir);
    }
}

// --- Hand-built block tables ---

struct Entry {
    uint32_t type;
    uint64_t sectors;
    uint64_t offset;
    uint64_t length;
};

std::vector<uint8_t> Mish(const std::vector<Entry>& entries) {
    std::vector<uint8_t> block(204 + 40 * entries.size());
    foundation::ByteWriter w(block);
    w.Put(0, "mish", 4);
    w.Be32(200, uint32_t(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        const size_t at = 204 + 40 * i;
        w.Be32(at, entries[i].type);
        w.Be64(at + 16, entries[i].sectors);
        w.Be64(at + 24, entries[i].offset);
        w.Be64(at + 32, entries[i].length);
    }
    return block;
}

std::string Base64(const std::vector<uint8_t>& bytes) {
    static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t v = uint32_t(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= uint32_t(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) v |= bytes[i + 2];
        out += kAlphabet[v >> 18 & 63];
        out += kAlphabet[v >> 12 & 63];
        out += i + 1 < bytes.size() ? kAlphabet[v >> 6 & 63] : '=';
        out += i + 2 < bytes.size() ? kAlphabet[v & 63] : '=';
        // Line breaks and tabs inside the text, as real property lists have them.
        if (i % 30 == 27) out += "\n\t\t";
    }
    return out;
}

// body, the property list of the blocks, and a "koly" trailer pointing at it.
std::vector<uint8_t> Dmg(const std::vector<uint8_t>& body, const std::vector<std::vector<Entry>>& blocks,
                         bool trailer = true) {
    std::string plist = "<?xml version=\"1.0\"?>\n<plist version=\"1.0\">\n<dict><key>resource-fork</key><dict>"
                        "<key>blkx</key>\n<array>\n";
    for (const auto& entries : blocks) plist += "<dict><key>Data</key><data>\n\t\t" + Base64(Mish(entries)) + "\n</data></dict>\n";
    plist += "</array></dict></dict>\n</plist>\n";
    std::vector<uint8_t> file = body;
    file.insert(file.end(), plist.begin(), plist.end());
    if (trailer) {
        std::vector<uint8_t> koly(512);
        foundation::ByteWriter w(koly);
        w.Put(0, "koly", 4);
        w.Be64(216, body.size());
        w.Be64(224, plist.size());
        file.insert(file.end(), koly.begin(), koly.end());
    }
    return file;
}

std::vector<uint8_t> Compress(const std::vector<uint8_t>& data) {
    uLongf n = compressBound(uLong(data.size()));
    std::vector<uint8_t> out(n);
    compress(out.data(), &n, data.data(), uLong(data.size()));
    out.resize(n);
    return out;
}

constexpr uint32_t kEnd = 0xFFFFFFFF;

TEST(DmgReader, HandBuiltBlockTables) {
    std::vector<uint8_t> a(1024, 'a'), b(2048, 'b');
    const std::vector<uint8_t> zb = Compress(b);
    std::vector<uint8_t> body = a;   // stored 'a' then zlib 'b'
    body.insert(body.end(), zb.begin(), zb.end());
    const uint64_t zl = zb.size();
    std::vector<uint8_t> huge((0x40001 + 511) & ~size_t(511), 'h');
    const std::vector<uint8_t> zh = Compress(huge);

    struct Row {
        const char* name;
        std::vector<uint8_t> file;
        bool opens;
        std::string expect;   // bytes of the image, '?' where a read must fail, '0' a zero byte
    };
    const Row rows[] = {
        {"absolute offsets in two blocks",
         Dmg(body, {{{1, 2, 0, 1024}, {kEnd, 0, 0, 0}}, {{0x80000005, 4, 1024, zl}, {kEnd, 0, 0, 0}}}), true,
         std::string(1024, 'a') + std::string(2048, 'b')},
        // The second block's offsets count from the end of the first one's data.
        {"relative offsets continue after the first block",
         Dmg(body, {{{1, 2, 0, 1024}, {kEnd, 0, 1024, 0}}, {{0x80000005, 4, 0, zl}, {kEnd, 0, 0, 0}}}), true,
         std::string(1024, 'a') + std::string(2048, 'b')},
        {"a comment adds nothing, an unknown kind with sectors reads zeros",
         Dmg(body, {{{0x7FFFFFFE, 0, 0, 0}, {1, 2, 0, 1024}, {0x12345, 2, 0, 0}, {kEnd, 0, 0, 0}}}), true,
         std::string(1024, 'a') + std::string(1024, '0')},
        {"an end entry with sectors adds zeros",
         Dmg(body, {{{1, 2, 0, 1024}, {kEnd, 2, 0, 0}}}), true, std::string(1024, 'a') + std::string(1024, '0')},
        {"no trailer: the property list is searched for",
         Dmg(body, {{{1, 2, 0, 1024}, {kEnd, 0, 0, 0}}}, false), true, std::string(1024, 'a')},
        {"LZFSE chunks fail to read, never read as zeros",
         Dmg(body, {{{1, 2, 0, 1024}, {0x80000007, 4, 1024, zl}, {kEnd, 0, 0, 0}}}), true,
         std::string(1024, 'a') + std::string(2048, '?')},
        {"a zlib stream longer than its sectors fails to read",
         Dmg(body, {{{1, 2, 0, 1024}, {0x80000005, 2, 1024, zl}, {kEnd, 0, 0, 0}}}), true,
         std::string(1024, 'a') + std::string(1024, '?')},
        {"a zlib stream shorter than its sectors reads zeros after it",
         Dmg(body, {{{1, 2, 0, 1024}, {0x80000005, 6, 1024, zl}, {kEnd, 0, 0, 0}}}), true,
         std::string(1024, 'a') + std::string(2048, 'b') + std::string(1024, '0')},
        {"a stored chunk shorter than its sectors reads zeros after it",
         Dmg(body, {{{1, 4, 0, 1024}, {kEnd, 0, 0, 0}}}), true, std::string(1024, 'a') + std::string(1024, '0')},
        {"a zlib chunk over 256 KB fails the open",
         Dmg(zh, {{{0x80000005, huge.size() / 512, 0, zh.size()}, {kEnd, 0, 0, 0}}}), false, ""},
        {"a block without an end entry fails the open", Dmg(body, {{{1, 2, 0, 1024}}}), false, ""},
        {"a chunk past the end of the file fails the open",
         Dmg(body, {{{1, 2, 0, 1u << 30}, {kEnd, 0, 0, 0}}}), false, ""},
        {"a sector count beyond any disc fails the open",
         Dmg(body, {{{2, 1ull << 50, 0, 0}, {kEnd, 0, 0, 0}}}), false, ""},
        {"sectors beyond a document's reach fail the open",
         Dmg(body, {{{2, 1ull << 33, 0, 0}, {kEnd, 0, 0, 0}}}), false, ""},
    };
    qvtest::TempDir dir;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = dir / "h.dmg";
        qvtest::WriteFileBytes(path, row.file.data(), row.file.size());
        image::ImageContext ctx;
        ctx.imageHandle.reset(foundation::OpenFileForRead(U(path)));
        ASSERT_TRUE(ctx.imageHandle);
        const int result = containers::ReadDmgBlockTables(ctx);
        ASSERT_EQ(result == 0, row.opens);
        if (!row.opens) {
            EXPECT_FALSE(ctx.chunkTable);
            continue;
        }
        ASSERT_EQ(size_t(ctx.endSector), (row.expect.size() + 2047) / 2048);
        for (size_t s = 0; s * 2048 < row.expect.size(); ++s) {
            std::vector<uint8_t> sector(2048, 0xEE);
            const std::string want = row.expect.substr(s * 2048, 2048);
            const bool fails = want.find('?') != std::string::npos;
            ASSERT_EQ(containers::ReadChunkedSectors(ctx, int32_t(s), sector.data(), 1), fails ? 0 : 1);
            if (fails) continue;
            for (size_t i = 0; i < 2048; ++i) {
                const uint8_t expected = i < want.size() && want[i] != '0' ? uint8_t(want[i]) : 0;
                ASSERT_EQ(sector[i], expected) << "byte " << s * 2048 + i;
            }
        }
    }
}

TEST(DmgReader, Base64AsPropertyListsWriteIt) {
    EXPECT_EQ(containers::FilterBase64(" QU\n\tJD\r\nRA== "), "QUJDRA==");
    const std::vector<uint8_t> abcd = containers::DecodeBase64("QUJDRA==");
    EXPECT_EQ(std::string(abcd.begin(), abcd.end()), "ABCD");
    const std::vector<uint8_t> abc = containers::DecodeBase64("QUJDRA");   // a tail of 2 ignored
    EXPECT_EQ(std::string(abc.begin(), abc.end()), "ABC");
    EXPECT_TRUE(containers::DecodeBase64("").empty());
}

}  // namespace
