#include "foundation/byte_order.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

using foundation::CopyTextField;

TEST(ByteOrder, WritersPutBytesInTheirOrder) {
    struct Row {
        const char* name;
        void (*write)(uint8_t*);
        std::vector<uint8_t> expected;
    };
    const Row rows[] = {
        {"LE16", [](uint8_t* p) { foundation::WriteLE16(p, 0x1234); }, {0x34, 0x12}},
        {"BE16", [](uint8_t* p) { foundation::WriteBE16(p, 0x1234); }, {0x12, 0x34}},
        {"LE32", [](uint8_t* p) { foundation::WriteLE32(p, 0x12345678); }, {0x78, 0x56, 0x34, 0x12}},
        {"BE32", [](uint8_t* p) { foundation::WriteBE32(p, 0x12345678); }, {0x12, 0x34, 0x56, 0x78}},
        {"Both16", [](uint8_t* p) { foundation::WriteBothEndian16(p, 0x1234); }, {0x34, 0x12, 0x12, 0x34}},
        {"Both32", [](uint8_t* p) { foundation::WriteBothEndian32(p, 0x01020304); },
         {0x04, 0x03, 0x02, 0x01, 0x01, 0x02, 0x03, 0x04}},
        {"LE64", [](uint8_t* p) { foundation::WriteLE64(p, 0x0102030405060708ull); },
         {8, 7, 6, 5, 4, 3, 2, 1}},
        {"BE64", [](uint8_t* p) { foundation::WriteBE64(p, 0x0102030405060708ull); },
         {1, 2, 3, 4, 5, 6, 7, 8}},
    };
    for (const Row& row : rows) {
        std::array<uint8_t, 10> buffer;
        buffer.fill(0xEE);
        row.write(buffer.data());
        std::vector<uint8_t> written(buffer.begin(), buffer.begin() + row.expected.size());
        EXPECT_EQ(written, row.expected) << row.name;
        EXPECT_EQ(buffer[row.expected.size()], 0xEE) << row.name << " wrote past its field";
    }
}

TEST(ByteOrder, ReadersTakeTheLittleEndianHalfOfBothOrderFields) {
    const uint8_t one[] = {0x01, 0, 0, 0, 0, 0, 0, 0x01};
    EXPECT_EQ(foundation::ReadBothEndian32(one), 1u);
    // A producer that got the big-endian half wrong still reads as intended.
    const uint8_t mismatch[] = {0x10, 0x00, 0xFF, 0xFF};
    EXPECT_EQ(foundation::ReadBothEndian16(mismatch), 0x10u);
    const uint8_t bytes[] = {0x80, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
    EXPECT_EQ(foundation::ReadU8(bytes), 0x80u);
    EXPECT_EQ(foundation::ReadLE16(bytes), 0x0180u);
    EXPECT_EQ(foundation::ReadBE16(bytes), 0x8001u);
    EXPECT_EQ(foundation::ReadLE32(bytes), 0x03020180u);
    EXPECT_EQ(foundation::ReadBE32(bytes), 0x80010203u);
    EXPECT_EQ(foundation::ReadLE64(bytes), 0x0706050403020180ull);
    EXPECT_EQ(foundation::ReadBE64(bytes), 0x8001020304050607ull);
}

TEST(ByteOrder, CopyTextFieldStopsAtFieldOrTerminatorAndLeavesTheRest) {
    std::array<uint8_t, 8> field;
    field.fill(' ');
    EXPECT_EQ(CopyTextField(field.data(), field.size(), "CDROM"), 5u);
    EXPECT_EQ(std::string(field.begin(), field.end()), "CDROM   ");
    field.fill('_');
    EXPECT_EQ(CopyTextField(field.data(), 4, "LONGER TEXT"), 4u);
    EXPECT_EQ(std::string(field.begin(), field.end()), "LONG____");
    EXPECT_EQ(CopyTextField(field.data(), field.size(), nullptr), 0u);
    EXPECT_EQ(CopyTextField(field.data(), field.size(), ""), 0u);
    EXPECT_EQ(std::string(field.begin(), field.end()), "LONG____");
}

}  // namespace
