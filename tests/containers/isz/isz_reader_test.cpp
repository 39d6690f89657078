// ISZ images around an xorriso ISO, built from the documented layout by the
// fixture writer (no Debian tool writes ISZ): masked chunk pointers over
// zlib, bzip2 (with either magic), stored and zero chunks; no pointers; split
// images in the three namings, opened through a later part; equal parts
// without tables. Each opens through the open entry, reads as the ISO and
// extracts its tree; encrypted chunks (made by openssl) open with their
// password only. Damaged headers and tables are refused.

#include "containers/isz/isz_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/byte_cursor.h"
#include "foundation/services.h"
#include "image/document/password_services.h"
#include "tests/containers/chunk_image_fixture.h"
#include "tests/support/fake_services.h"

namespace {

using chunktest::U;
using qvtest::RunOk;
using qvtest::ShellQuote;

TEST(IszReader, ImagesOfEveryLayoutReadAsTheIso) {
    qvtest::TempDir dir;
    chunktest::MakeIso(dir);
    struct Row {
        const char* name;
        const char* out;       // the first part the writer makes
        const char* args;      // kinds, chunk bytes, pointers, split bytes, naming
        const char* rename;    // shell run after writing, empty for none
        const char* open;      // the file the user opens
    };
    const Row rows[] = {
        {"every chunk kind", "t.isz", "zlib,bzip2,isz,stored 32768", "", "t.isz"},
        {"no pointers: stored chunks, the last one shorter", "t.isz", "stored 45056 nopointers", "", "t.isz"},
        {"split x.isz, x.i01 opened by its last part, a part named in upper case", "t.isz",
         "zlib,stored 16384 pointers 150000 0", "mv t.i01 T.I01", "t.i02"},
        {"split x.part01.isz opened by x.part03.isz", "t.part01.isz", "bzip2,stored 16384 pointers 150000 1", "",
         "t.part03.isz"},
        {"split x.part001.isz opened by x.part003.isz", "t.part001.isz", "zlib 16384 pointers 150000 2", "",
         "t.part003.isz"},
        {"equal parts without tables", "t.isz", "stored 32768 nopointers 300000 equal", "", "t.i01"},
    };
    chunktest::Readers readers;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RunOk("cd " + ShellQuote(dir.path()) + " && rm -f t.isz t.i0* T.* t.part* && python3 " + chunktest::FixtureScript() +
              " isz t.iso " + row.out + " " + row.args + (*row.rename ? std::string(" && ") + row.rename : ""));
        image::DocumentPtr doc = chunktest::Open(dir / row.open);
        ASSERT_TRUE(doc);
        EXPECT_EQ(doc->formatCode, image::format_code::kIsz);
        EXPECT_EQ(doc->imagePath, U(dir / row.out));
        chunktest::ExpectSectorsOf(*doc, dir / "t.iso");
        chunktest::ExpectExtractsTree(*doc, dir);
    }
}

// Answers the password question with a fixed password.
class Password final : public image::IPasswordServices {
public:
    explicit Password(std::string text) : text_(std::move(text)) {}
    bool AskPassword(image::ImageContext* ctx, const uint8_t*) override {
        if (text_.empty()) return false;
        ctx->outputPassword.fill(0);
        text_.copy(ctx->outputPassword.data(), text_.size());
        return true;
    }

private:
    std::string text_;
};

// Chunks encrypted by openssl (AES in ECB, whole blocks, the key the password
// zero-padded) for the three key lengths, opened with the right password, a
// wrong one and none.
TEST(IszReader, EncryptedImages) {
    qvtest::TempDir dir;
    chunktest::MakeIso(dir);
    chunktest::Readers readers;
    struct Row {
        const char* name;
        int bytes;         // key length
        const char* answer;
        bool opens;
    };
    const Row rows[] = {
        {"AES-128", 16, "isz pass", true},   {"AES-192", 24, "isz pass", true}, {"AES-256", 32, "isz pass", true},
        {"a wrong password", 16, "isz pasS", false}, {"no password", 16, "", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string hex;
        const std::string password = "isz pass";
        for (int i = 0; i < row.bytes; ++i) {
            static const char* kDigits = "0123456789abcdef";
            const uint8_t b = i < int(password.size()) ? uint8_t(password[size_t(i)]) : 0;
            hex += kDigits[b >> 4];
            hex += kDigits[b & 15];
        }
        RunOk("cd " + ShellQuote(dir.path()) + " && ISZ_AES_KEY=" + hex + " python3 " + chunktest::FixtureScript() +
              " isz t.iso e.isz zlib,bzip2,stored 32768");
        Password answer(row.answer);
        foundation::ScopedServices<image::SetPasswordServices> dialogs{&answer};
        image::DocumentPtr doc = chunktest::Open(dir / "e.isz");
        ASSERT_EQ(bool(doc), row.opens);
        if (doc) {
            chunktest::ExpectSectorsOf(*doc, dir / "t.iso");
            chunktest::ExpectExtractsTree(*doc, dir);
        }
    }
}

TEST(IszReader, PartNames) {
    EXPECT_EQ(containers::GetIszNamingStyle(u"/a/x.isz"), 0);
    EXPECT_EQ(containers::GetIszNamingStyle(u"/a/x.PART01.ISZ"), 1);
    EXPECT_EQ(containers::GetIszNamingStyle(u"/a/x.part001.isz"), 2);
    EXPECT_EQ(containers::GetIszPartName(u"/a/x.isz", 0, 1), u"/a/x.i01");
    EXPECT_EQ(containers::GetIszPartName(u"/a/x.isz", 0, 12), u"/a/x.i12");
    EXPECT_EQ(containers::GetIszPartName(u"/a/X.Part01.ISZ", 1, 1), u"/a/X.Part02.ISZ");
    EXPECT_EQ(containers::GetIszPartName(u"/a/x.part001.isz", 2, 9), u"/a/x.part010.isz");
    // A 100th part has no two-digit name (it once wrapped round to x.part00.isz).
    EXPECT_EQ(containers::GetIszPartName(u"/a/x.part01.isz", 1, 99), u"");
}

// A single-file image with pointers, damaged field by field.
TEST(IszReader, DamagedHeadersAndTablesAreRefused) {
    qvtest::TempDir dir;
    chunktest::MakeIso(dir);
    RunOk("cd " + ShellQuote(dir.path()) + " && python3 " + chunktest::FixtureScript() +
          " isz t.iso good.isz zlib,stored 32768");
    const std::vector<uint8_t> good = qvtest::ReadFileBytes(dir / "good.isz");
    struct Row {
        const char* name;
        size_t offset;
        std::vector<uint8_t> bytes;
    };
    const Row rows[] = {
        {"sector size 0", 10, {0, 0}},
        {"chunk size 0", 29, {0, 0, 0, 0}},
        {"a chunk size beyond any chunk", 29, {0, 0, 0, 0x7F}},
        {"a pointer length other than 3", 33, {4}},
        {"more chunks than the file has pointers for", 25, {0xFF, 0xFF, 0xFF, 0x0F}},
        {"fewer chunks than the image's size needs", 25, {1, 0, 0, 0}},
        {"a segment table that ends before it starts", 39, {0xFF, 0xFF, 0, 0}},
        {"a pointer table past the end of the file", 35, {0xFF, 0xFF, 0xFF, 0x7F}},
        // First pointer (masked): a stored length far past the file.
        {"a chunk past the end of the file", 48, {uint8_t(~'I'), uint8_t(~'s'), uint8_t(0x7F ^ uint8_t(~'Z'))}},
        {"a wrong magic", 0, {'I', 's', 'Z', '?'}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<uint8_t> bad = good;
        std::copy(row.bytes.begin(), row.bytes.end(), bad.begin() + long(row.offset));
        qvtest::WriteFileBytes(dir / "bad.isz", bad.data(), bad.size());
        image::ImageContext ctx;
        ctx.imagePath = U(dir / "bad.isz");
        ctx.imageHandle.reset(foundation::OpenFileForRead(ctx.imagePath));
        ASSERT_TRUE(ctx.imageHandle);
        EXPECT_EQ(containers::ReadIszImage(ctx), -1);
        EXPECT_FALSE(ctx.chunkTable);
    }
}

}  // namespace
