// DAA/HXI images around an xorriso ISO, built from the documented layout by
// the fixture writer with Python's zlib and lzma (no Debian tool writes DAA):
// both formats, LZMA86, deflate and stored chunks, table widths that straddle
// bytes, masked, compressed and trailing tables, the HXI variant, volumes in
// two namings opened by a later volume, a comment and a password. Each opens
// through the open entry, reads as the ISO and extracts its tree; damaged
// headers, records and tables are refused.

#include "containers/daa/daa_container.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "codecs/crc32.h"
#include "containers/lzma86/lzma86.h"
#include "foundation/byte_cursor.h"
#include "foundation/services.h"
#include "image/document/password_services.h"
#include "tests/containers/chunk_image_fixture.h"
#include "tests/support/fake_services.h"

namespace {

using chunktest::U;
using qvtest::RunOk;
using qvtest::ShellQuote;

void MakeDaa(const qvtest::TempDir& dir, const std::string& out, const std::string& options) {
    RunOk("cd " + ShellQuote(dir.path()) + " && rm -f t.d0* t.part* t.daa t.hxi T.* && python3 " +
          chunktest::FixtureScript() + " daa t.iso " + out + " " + options);
}

TEST(DaaReader, ImagesOfEveryLayoutReadAsTheIso) {
    qvtest::TempDir dir;
    chunktest::MakeIso(dir);
    struct Row {
        const char* name;
        const char* out;
        const char* options;
        const char* rename;
        const char* open;
    };
    const Row rows[] = {
        {"format 0x100", "t.daa", "format=0x100", "", "t.daa"},
        {"LZMA86, deflate and stored chunks", "t.daa", "kinds=lzma,deflate,stored", "", "t.daa"},
        {"LZMA only, the header shared", "t.daa", "kinds=lzma t=0 shared=1 chunk=131072", "", "t.daa"},
        {"widths across bytes, masked", "t.daa", "kinds=deflate,lzma chunk=16384 v=4 mask=1", "", "t.daa"},
        {"a compressed table at the end", "t.daa", "kinds=lzma,deflate mask=1 atend=1 compressed=1", "", "t.daa"},
        {"HXI, masked", "t.hxi", "hxi=1 kinds=lzma,deflate mask=1", "", "t.hxi"},
        {"HXI, a compressed table at the end", "t.hxi", "hxi=1 kinds=deflate compressed=1 atend=1", "", "t.hxi"},
        {"volumes x.daa, x.d00 opened by x.d01, one named in upper case", "t.daa",
         "kinds=lzma,deflate volume=150000 style=2", "mv t.d00 T.D00", "t.d01"},
        {"volumes x.part01.daa opened by x.part03.daa", "t.part01.daa", "kinds=deflate volume=150000 style=0", "",
         "t.part03.daa"},
    };
    chunktest::Readers readers;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MakeDaa(dir, row.out, row.options);
        if (*row.rename) RunOk("cd " + ShellQuote(dir.path()) + " && " + row.rename);
        image::DocumentPtr doc = chunktest::Open(dir / row.open);
        ASSERT_TRUE(doc);
        EXPECT_EQ(doc->formatCode, image::format_code::kDaa);
        EXPECT_EQ(doc->imagePath, U(dir / row.out));
        chunktest::ExpectSectorsOf(*doc, dir / "t.iso");
        chunktest::ExpectExtractsTree(*doc, dir);
    }
}

TEST(DaaReader, CommentIsTheDocuments) {
    qvtest::TempDir dir;
    chunktest::MakeIso(dir);
    MakeDaa(dir, "t.daa", "comment=made-for-a-test");
    chunktest::Readers readers;
    image::DocumentPtr doc = chunktest::Open(dir / "t.daa");
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->archiveCommentPresent, 1);
    EXPECT_EQ(doc->archiveComment, "made-for-a-test");
}

// Answers the password question with a fixed password.
class Password final : public image::IPasswordServices {
public:
    explicit Password(std::string text) : text_(std::move(text)) {}
    bool AskPassword(image::ImageContext* ctx, const uint8_t*) override {
        ++asked;
        if (text_.empty()) return false;
        ctx->outputPassword.fill(0);
        text_.copy(ctx->outputPassword.data(), text_.size());
        return true;
    }
    int asked = 0;

private:
    std::string text_;
};

TEST(DaaReader, PasswordProtectedImages) {
    qvtest::TempDir dir;
    chunktest::MakeIso(dir);
    MakeDaa(dir, "t.daa", "kinds=lzma,deflate,stored password=1");
    // Scramble the chunks and fill the check record, as the writer would.
    std::vector<uint8_t> file = qvtest::ReadFileBytes(dir / "t.daa");
    std::ifstream layout(dir / "t.daa.layout");
    size_t record = 0;
    layout >> record;
    containers::DaaNibbleTables tables;
    ASSERT_TRUE(containers::SetDaaPassword("Secret pass", tables));
    for (size_t at = 0, length = 0; layout >> at >> length;)
        containers::ScrambleDaaChunk(tables, std::vector<uint8_t>(file.begin() + long(at), file.begin() + long(at + length)).data(),
                                     file.data() + at, length);
    std::array<uint8_t, 128> check{};
    for (size_t i = 0; i < check.size(); ++i) check[i] = uint8_t(i * 7 + 3);
    const auto bytes = containers::MakeDaaPasswordRecord("Secret pass", check);
    std::copy(bytes.begin(), bytes.end(), file.begin() + long(record));
    qvtest::WriteFileBytes(dir / "t.daa", file.data(), file.size());

    chunktest::Readers readers;
    struct Row {
        const char* password;
        bool opens;
    };
    for (const Row& row : {Row{"Secret pass", true}, Row{"secret pass", false}, Row{"", false}}) {
        SCOPED_TRACE(row.password);
        Password answer(row.password);
        foundation::ScopedServices<image::SetPasswordServices> dialogs{&answer};
        image::DocumentPtr doc = chunktest::Open(dir / "t.daa");
        EXPECT_EQ(answer.asked, 1);
        ASSERT_EQ(bool(doc), row.opens);
        if (doc) chunktest::ExpectSectorsOf(*doc, dir / "t.iso");
    }
}

TEST(DaaReader, VolumeNames) {
    struct Row {
        const char16_t* name;
        int32_t n;
        int32_t style;
        const char16_t* expected;
    };
    const Row rows[] = {
        {u"/a/x.daa", 1, 2, u"/a/x.d00"},           {u"/a/x.daa", 3, 2, u"/a/x.d02"},
        {u"/a/x.daa", 0, 2, u"/a/x.daa"},           {u"/a/x.part01.exe", 1, 0, u"/a/x.part02.daa"},
        {u"/a/X.PART01.DAA", 9, 0, u"/a/X.PART10.DAA"}, {u"/a/x.part001.hxi", 511, 1, u"/a/x.part512.hxi"},
        {u"/a/x.iso", 1, 2, u""},                   {u"/a/x.daa", 1, 0, u""},
        {u"/a/x.part01.daa", 99, 0, u""},   // a 100th volume once wrapped round to x.part00.daa
    };
    for (const Row& row : rows)
        EXPECT_EQ(containers::GetDaaVolumeName(row.name, row.n, row.style), row.expected) << int(row.n);
    EXPECT_EQ(containers::FindFirstDaaVolume(u"/a/x.part07.daa"), u"/a/x.part01.daa");
    EXPECT_EQ(containers::FindFirstDaaVolume(u"/a/x.part007.daa"), u"/a/x.part001.daa");
    EXPECT_EQ(containers::FindFirstDaaVolume(u"/a/x.d05"), u"/a/x.daa");
    EXPECT_EQ(containers::FindFirstDaaVolume(u"/a/x.H01"), u"/a/x.hxi");
    EXPECT_EQ(containers::FindFirstDaaVolume(u"/a/x.iso"), u"/a/x.iso");
}

// Nibble rows: permutations for every block length and password shape, and
// unscrambling gives back what scrambling took.
TEST(DaaReader, PasswordRows) {
    const std::string passwords[] = {"a", std::string(64, 'z'), "\x07pw", "\x18xyz", "\x40only", "Secret pass"};
    for (const std::string& password : passwords) {
        containers::DaaNibbleTables tables;
        ASSERT_TRUE(containers::SetDaaPassword(password, tables));
        for (size_t n = 1; n <= 128; ++n) {
            const containers::DaaNibbleRow& row = tables.rows[n - 1];
            std::vector<bool> seen(2 * n, false);
            for (size_t j = 0; j < 2 * n; ++j) {
                ASSERT_LT(row[j], 2 * n);
                ASSERT_FALSE(seen[row[j]]) << "password " << password << " row " << n;
                seen[row[j]] = true;
            }
            std::vector<uint8_t> plain(n), scrambled(n), back(n);
            for (size_t i = 0; i < n; ++i) plain[i] = uint8_t(i * 37 + n);
            containers::ScrambleDaaNibbles(row, plain.data(), scrambled.data(), n);
            containers::UnscrambleDaaNibbles(row, scrambled.data(), back.data(), n);
            ASSERT_EQ(back, plain);
        }
    }
    // Pinned: one byte takes 11 as the step of every later position.
    containers::DaaNibbleRow one;
    ASSERT_TRUE(containers::BuildDaaNibbleTable("a", 2, one));
    EXPECT_EQ(std::vector<int>(one.begin(), one.begin() + 4), (std::vector<int>{2, 0, 1, 3}));
    EXPECT_FALSE(containers::SetDaaPassword("", *std::make_unique<containers::DaaNibbleTables>()));
    std::array<uint8_t, 128> check{};
    for (size_t i = 0; i < check.size(); ++i) check[i] = uint8_t(i * 13 + 1);
    const auto record = containers::MakeDaaPasswordRecord("right", check);
    EXPECT_TRUE(containers::CheckDaaPassword("right", record.data()));
    EXPECT_FALSE(containers::CheckDaaPassword("wrong", record.data()));
    // The reader takes 64 bytes: a longer password opens with its first 64.
    const std::string longer(70, 'q');
    const auto cut = containers::MakeDaaPasswordRecord(longer, check);
    EXPECT_TRUE(containers::CheckDaaPassword(std::string(64, 'q'), cut.data()));
}

// Our LZMA86 encoder read back by 7-Zip's lzma86 reader, and a chunk of
// Python's lzma read by our decoder (through the images above).
TEST(DaaReader, Lzma86AsSevenZipReadsIt) {
    qvtest::TempDir dir;
    std::vector<uint8_t> data(200000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t((i % 251) ^ (i >> 10));
    const std::vector<uint8_t> packed = containers::Lzma86Encode(data.data(), data.size(), 5);
    ASSERT_FALSE(packed.empty());
    qvtest::WriteFileBytes(dir / "c.lzma86", packed.data(), packed.size());
    RunOk("cd " + ShellQuote(dir.path()) + " && 7z x -tlzma86 -so c.lzma86 > c.out 2>/dev/null");
    EXPECT_EQ(qvtest::ReadFileBytes(dir / "c.out"), data);
    std::vector<uint8_t> back(data.size());
    EXPECT_EQ(containers::Lzma86Decode(packed.data(), packed.size(), back.data(), back.size()), int64_t(data.size()));
    EXPECT_EQ(back, data);
    // Too little room, a cut stream and a header of a larger size fail.
    EXPECT_EQ(containers::Lzma86Decode(packed.data(), packed.size(), back.data(), back.size() - 1), -1);
    EXPECT_EQ(containers::Lzma86Decode(packed.data(), packed.size() / 2, back.data(), back.size()), -1);
}

TEST(DaaReader, DamagedImagesAreRefused) {
    qvtest::TempDir dir;
    chunktest::MakeIso(dir);
    MakeDaa(dir, "t.daa", "kinds=lzma,deflate comment=c");
    const std::vector<uint8_t> good = qvtest::ReadFileBytes(dir / "t.daa");
    struct Row {
        const char* name;
        size_t offset;
        std::vector<uint8_t> bytes;
        bool fixCrc;   // keep the header's CRC right, so the field itself is judged
    };
    const Row rows[] = {
        {"a header CRC mismatch", 40, {0xFF}, false},
        {"a chunk-table offset below 76", 16, {75, 0, 0, 0}, true},
        {"offset 28 not 1", 28, {2}, true},
        {"chunk size 0", 36, {0, 0}, true},
        {"a newer format", 20, {0x20, 0x01}, true},
        {"an image size past INT32_MAX sectors", 40, {0, 0, 0, 0, 0, 2, 0, 0}, true},
        {"an image larger than its data", 40, {0, 0, 0, 0, 1, 0, 0, 0}, true},
        {"a record of size 0", 80, {0, 0, 0, 0}, false},
        {"a record past the table", 80, {0xFF, 0xFF, 0, 0}, false},
        {"a stub key", 38, {0x08}, true},
        {"a table past the data (total size)", 48, {16, 0, 0, 0, 0, 0, 0, 0}, true},
    };
    chunktest::Readers readers;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<uint8_t> bad = good;
        std::copy(row.bytes.begin(), row.bytes.end(), bad.begin() + long(row.offset));
        if (row.fixCrc) {
            foundation::ByteWriter w(bad.data(), 76);
            w.Le32(72, codecs::Crc32(bad.data(), 72));
        }
        qvtest::WriteFileBytes(dir / "bad.daa", bad.data(), bad.size());
        image::ImageContext ctx;
        ctx.imagePath = U(dir / "bad.daa");
        ctx.imageHandle.reset(foundation::OpenFileForRead(ctx.imagePath));
        ASSERT_TRUE(ctx.imageHandle);
        EXPECT_EQ(containers::AttachDaaContainer(ctx), -1);
        EXPECT_FALSE(ctx.daaReader);
    }
}

}  // namespace
