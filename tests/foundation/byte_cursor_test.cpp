#include "foundation/byte_cursor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

namespace {

using foundation::ByteCursor;
using foundation::ByteWriter;

// An exactly sized heap buffer, so the sanitizer sees any one-byte over-read.
std::unique_ptr<uint8_t[]> ExactBuffer(std::initializer_list<uint8_t> bytes) {
    auto buffer = std::make_unique<uint8_t[]>(bytes.size());
    size_t i = 0;
    for (uint8_t b : bytes) buffer[i++] = b;
    return buffer;
}

TEST(ByteCursor, FixedOffsetReadsInBothOrders) {
    auto data = ExactBuffer({1, 2, 3, 4, 5, 6, 7, 8, 0x78, 0x56, 0x34, 0x12, 0x12, 0x34, 0x56, 0x78});
    ByteCursor c(data.get(), 16);
    EXPECT_EQ(c.U8(0), 1u);
    EXPECT_EQ(c.Le16(0), 0x0201u);
    EXPECT_EQ(c.Be16(0), 0x0102u);
    EXPECT_EQ(c.Le32(0), 0x04030201u);
    EXPECT_EQ(c.Be32(0), 0x01020304u);
    EXPECT_EQ(c.Le64(0), 0x0807060504030201ull);
    EXPECT_EQ(c.Be64(0), 0x0102030405060708ull);
    EXPECT_EQ(c.Both32(8), 0x12345678u);
    EXPECT_EQ(c.Le64(8), 0x7856341212345678ull);
    EXPECT_EQ(c.Position(), 0u);
    EXPECT_TRUE(c.Ok());
}

TEST(ByteCursor, ReadsPastTheEndGiveZeroAndStickFailure) {
    auto data = ExactBuffer({0xAA, 0xBB, 0xCC});
    struct Row {
        const char* name;
        uint64_t (*read)(const ByteCursor&);
    };
    const Row rows[] = {
        {"U8 at end", [](const ByteCursor& c) -> uint64_t { return c.U8(3); }},
        {"Le16 straddling", [](const ByteCursor& c) -> uint64_t { return c.Le16(2); }},
        {"Le32 longer than span", [](const ByteCursor& c) -> uint64_t { return c.Le32(0); }},
        {"Be64 huge offset", [](const ByteCursor& c) -> uint64_t { return c.Be64(~0ull - 3); }},
        {"Le16 offset wraps", [](const ByteCursor& c) -> uint64_t { return c.Le16(~0ull); }},
    };
    for (const Row& row : rows) {
        ByteCursor c(data.get(), 3);
        EXPECT_EQ(row.read(c), 0u) << row.name;
        EXPECT_FALSE(c.Ok()) << row.name;
        EXPECT_EQ(c.U8(0), 0xAAu) << row.name;  // later good reads still work
        EXPECT_FALSE(c.Ok()) << row.name << ": failure must stay";
    }
}

TEST(ByteCursor, SequentialReadsAdvanceOnlyWhenTheFieldFits) {
    auto data = ExactBuffer({0x01, 0x34, 0x12, 0x12, 0x34, 0x56, 0x78, 0x09});
    ByteCursor c(data.get(), 8);
    EXPECT_EQ(c.ReadU8(), 1u);
    EXPECT_EQ(c.ReadLe16(), 0x1234u);
    EXPECT_EQ(c.ReadBe32(), 0x12345678u);
    EXPECT_EQ(c.Position(), 7u);
    EXPECT_EQ(c.ReadLe16(), 0u);
    EXPECT_FALSE(c.Ok());
    EXPECT_EQ(c.Position(), 7u);
    EXPECT_EQ(c.Remaining(), 1u);
}

TEST(ByteCursor, TakeSubSkipAndSeekCheckTheirRanges) {
    std::vector<uint8_t> bytes(64);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
    ByteCursor c{std::span<const uint8_t>(bytes)};

    ASSERT_TRUE(c.Skip(10));
    auto rec = c.Take(20);
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->Size(), 20u);
    EXPECT_EQ(rec->U8(0), 10u);
    EXPECT_EQ(rec->U8(20), 0u);  // the record's own end, not the sector's
    EXPECT_FALSE(rec->Ok());
    EXPECT_TRUE(c.Ok());
    EXPECT_EQ(c.Position(), 30u);

    EXPECT_FALSE(c.Take(35));
    EXPECT_FALSE(c.Take(std::numeric_limits<uint64_t>::max()));
    EXPECT_EQ(c.Position(), 30u);
    EXPECT_FALSE(c.Skip(35));
    EXPECT_TRUE(c.Skip(34));
    EXPECT_TRUE(c.AtEnd());
    EXPECT_TRUE(c.Take(0));

    EXPECT_FALSE(c.Sub(60, 5));
    EXPECT_FALSE(c.Sub(std::numeric_limits<uint64_t>::max(), 2));
    auto tail = c.Sub(60, 4);
    ASSERT_TRUE(tail);
    EXPECT_EQ(tail->Be32(0), 0x3C3D3E3Fu);
    auto span = c.Span(1, 3);
    ASSERT_TRUE(span);
    EXPECT_EQ((*span)[2], 3u);
    EXPECT_FALSE(c.Span(62, 3));

    uint8_t out[4] = {};
    EXPECT_TRUE(c.CopyTo(60, out, 4));
    EXPECT_EQ(out[3], 63u);
    EXPECT_FALSE(c.CopyTo(61, out, 4));

    EXPECT_FALSE(c.Seek(65));
    EXPECT_TRUE(c.Seek(64));
    EXPECT_TRUE(c.Seek(0));
    auto head = c.TakeBytes(2);
    ASSERT_TRUE(head);
    EXPECT_EQ(head->size(), 2u);
    EXPECT_FALSE(c.TakeBytes(63));
}

TEST(ByteCursor, EmptyAndNullSpans) {
    ByteCursor empty;
    EXPECT_EQ(empty.U8(0), 0u);
    EXPECT_FALSE(empty.Ok());
    ByteCursor null(nullptr, 100);
    EXPECT_EQ(null.Size(), 0u);
    EXPECT_FALSE(null.Take(1));
}

TEST(ByteWriter, PutsFieldsAndRefusesWhatDoesNotFit) {
    std::vector<uint8_t> bytes(16, 0xEE);
    ByteWriter w{std::span<uint8_t>(bytes)};
    EXPECT_TRUE(w.Both16(0, 0x1234));
    EXPECT_TRUE(w.Both32(4, 0x01020304));
    EXPECT_TRUE(w.U8(12, 7));
    EXPECT_TRUE(w.Le16(13, 0xBEEF));
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x34, 0x12, 0x12, 0x34, 4, 3, 2, 1, 1, 2, 3, 4, 7, 0xEF, 0xBE, 0xEE}));
    EXPECT_TRUE(w.Ok());

    EXPECT_FALSE(w.Le32(14, 0));
    EXPECT_FALSE(w.Be64(~0ull, 0));
    EXPECT_FALSE(w.Fill(8, 0, 9));
    EXPECT_EQ(bytes[15], 0xEE);
    EXPECT_FALSE(w.Ok());

    auto part = w.Sub(8, 8);
    ASSERT_TRUE(part);
    EXPECT_TRUE(part->Be32(4, 0xA1A2A3A4));
    EXPECT_FALSE(part->Be32(5, 0));
    EXPECT_EQ(bytes[12], 0xA1);
    EXPECT_TRUE(part->Fill(0, 0x20, 4));
    EXPECT_EQ(bytes[8], 0x20);
    EXPECT_TRUE(part->Put(0, "AB", 2));
    EXPECT_EQ(bytes[9], 'B');
    EXPECT_FALSE(w.Sub(9, 8));
}

}  // namespace
