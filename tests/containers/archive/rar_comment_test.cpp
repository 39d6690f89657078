// RAR archive comments through the library's archive property. Debian has no
// RAR writer: small RAR5 archives are built here from the published layout
// (signature, main header, a stored "CMT" service header, a stored file, the
// end header, each header with its CRC-32) and checked with lsar.

#include "tests/containers/archive/arc_fixture.h"

#include <zlib.h>

#include <optional>

namespace containers::archive {
namespace {

using namespace arctest;

void PutVint(std::vector<uint8_t>& out, uint64_t v) {
    do {
        uint8_t b = uint8_t(v & 0x7F);
        v >>= 7;
        if (v) b |= 0x80;
        out.push_back(b);
    } while (v);
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

uint32_t Crc(const std::vector<uint8_t>& bytes) {
    return uint32_t(crc32(0, bytes.data(), uInt(bytes.size())));
}

// A header: CRC-32, size, then the fields given (type first); data follows.
void PutHeader(std::vector<uint8_t>& out, const std::vector<uint8_t>& fields, const std::vector<uint8_t>& data = {}) {
    std::vector<uint8_t> sized;
    PutVint(sized, fields.size());
    sized.insert(sized.end(), fields.begin(), fields.end());
    Put32(out, Crc(sized));
    out.insert(out.end(), sized.begin(), sized.end());
    out.insert(out.end(), data.begin(), data.end());
}

// A stored file (type 2) or service (type 3) header with its data.
void PutStored(std::vector<uint8_t>& out, uint8_t type, const std::string& name, const std::string& content) {
    const std::vector<uint8_t> data(content.begin(), content.end());
    std::vector<uint8_t> f;
    PutVint(f, type);
    PutVint(f, 0x0002);              // header flags: a data area follows
    PutVint(f, data.size());         // data size
    PutVint(f, 0x0004);              // file flags: data CRC-32 present
    PutVint(f, data.size());         // unpacked size
    PutVint(f, 0);                   // attributes
    Put32(f, Crc(data));
    PutVint(f, 0);                   // compression: version 0, stored
    PutVint(f, 1);                   // host: Unix
    PutVint(f, name.size());
    f.insert(f.end(), name.begin(), name.end());
    PutHeader(out, f, data);
}

std::vector<uint8_t> BuildRar5(std::optional<std::string> comment) {
    std::vector<uint8_t> out = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x01, 0x00};
    PutHeader(out, {1, 0, 0});   // main: type 1, no header flags, no archive flags
    if (comment) PutStored(out, 3, "CMT", *comment);
    PutStored(out, 2, "file.txt", "stored file\n");
    PutHeader(out, {5, 0, 0});   // end of archive
    return out;
}

class RarComment : public ArchiveTest {};

TEST_F(RarComment, CommentsCutAtEndOfFileMarkAndMissingOnesAreNull) {
    const struct {
        const char* name;
        std::optional<std::string> comment;
        std::optional<std::string> want;
    } rows[] = {
        {"cut", std::string("abc\x1A" "def"), std::string("abc")},
        {"starts_with_mark", std::string("\x1A" "def"), std::string("")},
        {"none", std::nullopt, std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::TempDir alone;   // lsar looks at neighbours of the file
        const std::string path = alone / "c.rar";
        const std::vector<uint8_t> bytes = BuildRar5(row.comment);
        qvtest::WriteFileBytes(path, bytes.data(), bytes.size());
        EXPECT_NE(qvtest::RunOk("lsar -l " + qvtest::ShellQuote(path)).find("file.txt"), std::string::npos);
        int code = -1;
        image::DocumentPtr ctx(OpenArchiveAsImage(U(path), false, 0, &code));
        ASSERT_TRUE(ctx) << code;
        EXPECT_EQ(Listing(*ctx), (std::set<std::string>{"file.txt"}));
        EXPECT_EQ(ctx->archiveCommentPresent != 0, row.want.has_value());
        if (row.want) {
            EXPECT_EQ(ctx->archiveComment, *row.want);
        }
        image::ImageItem* item = image::FindItemByPath(ctx.get(), ctx->rootFolder, u"file.txt");
        ASSERT_NE(item, nullptr);
        std::vector<uint8_t> data;
        ASSERT_TRUE(ItemBytes(*ctx, *item, data, alone / "out"));
        EXPECT_EQ(std::string(data.begin(), data.end()), "stored file\n");
    }
}

TEST_F(RarComment, ZipCommentIsNoRarComment) {
    qvtest::RunOk("cd " + dir_.path() + " && echo x > f && zip -q z.zip f && echo 'zip comment' | zip -qz z.zip");
    int code = -1;
    image::DocumentPtr ctx(OpenArchiveAsImage(U(*this / "z.zip"), false, 0, &code));
    ASSERT_TRUE(ctx);
    EXPECT_EQ(ctx->archiveCommentPresent, 0);
    EXPECT_TRUE(ctx->archiveComment.empty());
}

}  // namespace
}  // namespace containers::archive
