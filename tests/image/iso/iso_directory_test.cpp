// Directory records and names decoded from exactly-sized buffers, so the
// sanitizer sees any read of one byte too many.

#include "image/iso/iso_directory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "foundation/byte_order.h"

namespace image {
namespace {

std::vector<uint8_t> MakeRecord(const std::vector<uint8_t>& name, uint32_t extent, uint32_t size,
                                uint8_t flags, int lengthOverride = -1) {
    size_t n = 33 + name.size();
    if (n % 2) ++n;
    std::vector<uint8_t> r(n, 0);
    r[0] = static_cast<uint8_t>(lengthOverride >= 0 ? lengthOverride : static_cast<int>(n));
    foundation::WriteBothEndian32(&r[2], extent);
    foundation::WriteBothEndian32(&r[10], size);
    r[18] = 120;
    r[19] = 1;
    r[20] = 2;
    r[25] = flags;
    foundation::WriteBothEndian16(&r[28], 1);
    r[32] = static_cast<uint8_t>(name.size());
    std::copy(name.begin(), name.end(), r.begin() + 33);
    return r;
}

std::vector<uint8_t> Bytes(const char* s) { return std::vector<uint8_t>(s, s + std::strlen(s)); }

std::vector<uint8_t> Ucs2(const std::u16string& s) {
    std::vector<uint8_t> out;
    for (char16_t c : s) {
        out.push_back(static_cast<uint8_t>(c >> 8));
        out.push_back(static_cast<uint8_t>(c));
    }
    return out;
}

// Copies into a heap block of exactly the record's size.
std::unique_ptr<uint8_t[]> Exact(const std::vector<uint8_t>& v) {
    auto p = std::make_unique<uint8_t[]>(v.size());
    std::memcpy(p.get(), v.data(), v.size());
    return p;
}

TEST(DecodeDirectoryRecord, ReadsFieldsAndChecksBothHalves) {
    auto v = MakeRecord(Bytes("README.TXT;1"), 0x1234, 5000, dirflag::kHidden);
    auto p = Exact(v);
    auto r = DecodeDirectoryRecord({p.get(), v.size()});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->extentLba, 0x1234u);
    EXPECT_EQ(r->dataBytes, 5000u);
    EXPECT_TRUE(r->extentConsistent);
    EXPECT_TRUE(r->lengthConsistent);
    EXPECT_EQ(r->flags, dirflag::kHidden);
    EXPECT_EQ(r->identifier.size(), 12u);

    p[10 + 7] ^= 1;   // big-endian half of the size
    r = DecodeDirectoryRecord({p.get(), v.size()});
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->lengthConsistent);
}

TEST(DecodeDirectoryRecord, RejectsBadLengths) {
    struct Row {
        const char* what;
        int lengthByte;
        int nameLength;
        size_t bufferBytes;
    } rows[] = {
        {"shorter than 34", 33, 0, 33},
        {"zero length", 0, 1, 34},
        {"length past buffer", 60, 1, 40},
        {"name past record", 34, 2, 34},
        {"name past record, buffer longer", 40, 200, 255},
    };
    for (const Row& row : rows) {
        std::vector<uint8_t> v(row.bufferBytes, 0);
        v[0] = static_cast<uint8_t>(row.lengthByte);
        if (v.size() > 32) v[32] = static_cast<uint8_t>(row.nameLength);
        auto p = Exact(v);
        EXPECT_FALSE(DecodeDirectoryRecord({p.get(), v.size()})) << row.what;
    }
}

// An empty identifier breaks the standard but is read, as other readers read
// it; it is neither "." nor "..".
TEST(DecodeDirectoryRecord, TakesAnEmptyIdentifier) {
    std::vector<uint8_t> v = MakeRecord({}, 30, 5, 0);
    ASSERT_EQ(v.size(), 34u);
    auto p = Exact(v);
    const auto r = DecodeDirectoryRecord({p.get(), v.size()});
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->identifier.empty());
    EXPECT_FALSE(r->IsDot());
    EXPECT_FALSE(r->IsDotDot());
    EXPECT_EQ(r->extentLba, 30u);
    EXPECT_EQ(DecodeRecordName(r->identifier, RecordNameKind::Joliet), u"_");
    EXPECT_EQ(DecodeRecordName(r->identifier, RecordNameKind::Iso), u"_");
}

TEST(WalkDirectoryRecords, SkipsBrokenRecordsWithoutReadingPast) {
    // Sector 0: good, short record (rest of sector skipped), Sector 1: good,
    // bad name, good, then a record crossing into sector 2. Sector 2: good.
    std::vector<uint8_t> dir(3 * 2048, 0);
    auto put = [&](size_t at, const std::vector<uint8_t>& r) { std::memcpy(&dir[at], r.data(), r.size()); };
    put(0, MakeRecord({0}, 20, 2048, dirflag::kDirectory));
    dir[34] = 20;   // short record: length byte below 34
    put(2048, MakeRecord(Bytes("A;1"), 30, 1, 0));
    auto bad = MakeRecord(Bytes("B;1"), 31, 1, 0);
    bad[32] = 100;  // name runs past the record
    put(2048 + 36, bad);
    put(2048 + 72, MakeRecord(Bytes("C;1"), 32, 1, 0));
    // Fillers up to 20 bytes before the sector's end, then a record that crosses.
    size_t at = 2048 + 108;
    put(at, MakeRecord(std::vector<uint8_t>(109, 'F'), 40, 1, dirflag::kAssociated));
    at += 142;
    for (int i = 0; i < 7; ++i, at += 254) put(at, MakeRecord(std::vector<uint8_t>(221, 'G'), 40, 1, dirflag::kAssociated));
    ASSERT_EQ(at, 4096u - 20);
    auto crossing = MakeRecord(Bytes("D;1"), 33, 1, 0);
    put(4096 - 20, std::vector<uint8_t>(crossing.begin(), crossing.begin() + 20));
    put(4096, MakeRecord(Bytes("E;1"), 34, 1, 0));

    auto p = Exact(dir);
    std::vector<uint32_t> extents;
    auto counts = WalkDirectoryRecords({p.get(), dir.size()}, dir.size(), [&](const IsoDirectoryRecord& r) {
        if (!r.IsAssociated()) extents.push_back(r.extentLba);
        return true;
    });
    EXPECT_EQ(extents, (std::vector<uint32_t>{20, 30, 32, 34}));
    EXPECT_EQ(counts.shortRecords, 1u);
    EXPECT_EQ(counts.badNameRecords, 1u);
    EXPECT_EQ(counts.crossingRecords, 1u);
}

TEST(WalkDirectoryRecords, EndsAtDataLengthAndAtZeroSectorStart) {
    std::vector<uint8_t> dir(2 * 2048, 0);
    auto r = MakeRecord(Bytes("A;1"), 30, 1, 0);
    std::memcpy(&dir[0], r.data(), r.size());
    std::memcpy(&dir[2048], r.data(), r.size());
    int seen = 0;
    // The directory says 100 bytes: the second sector is not part of it.
    WalkDirectoryRecords(dir, 100, [&](const IsoDirectoryRecord&) { return ++seen, true; });
    EXPECT_EQ(seen, 1);
    // A record cut by the data length is not read.
    seen = 0;
    WalkDirectoryRecords(dir, 30, [&](const IsoDirectoryRecord&) { return ++seen, true; });
    EXPECT_EQ(seen, 0);
    // A zero at the start of the second sector ends the walk.
    std::memset(&dir[2048], 0, 2048);
    std::memcpy(&dir[2100], r.data(), r.size());
    seen = 0;
    WalkDirectoryRecords(dir, dir.size(), [&](const IsoDirectoryRecord&) { return ++seen, true; });
    EXPECT_EQ(seen, 1);
}

TEST(DecodeRecordName, IsoAndJolietRules) {
    struct Row {
        const char* what;
        std::vector<uint8_t> id;
        RecordNameKind kind;
        std::u16string expected;
    } rows[] = {
        {"version cut", Bytes("README.TXT;1"), RecordNameKind::Iso, u"README.TXT"},
        {"trailing dot kept for ISO", Bytes("README.;1"), RecordNameKind::Iso, u"README."},
        {"two-digit version kept", Bytes("A.B;12"), RecordNameKind::Iso, u"A.B;12"},
        {"lone version kept", Bytes(";1"), RecordNameKind::Iso, u";1"},
        {"ISO slash", Bytes("A/B;1"), RecordNameKind::Iso, u"A_B"},
        {"ISO dot text", Bytes(".."), RecordNameKind::Iso, u"__"},
        {"Joliet version and dot", Ucs2(u"readme.;1"), RecordNameKind::Joliet, u"readme"},
        {"Joliet plain", Ucs2(u"Hello World.txt"), RecordNameKind::Joliet, u"Hello World.txt"},
        {"Joliet separators", Ucs2(u"a/b\\c"), RecordNameKind::Joliet, u"a_b_c"},
        {"Joliet NUL", Ucs2(std::u16string(u"a\0b", 3)), RecordNameKind::Joliet, u"a_b"},
        {"Joliet dotdot text", Ucs2(u".."), RecordNameKind::Joliet, u"_"},
        {"Joliet only dots", Ucs2(u"..."), RecordNameKind::Joliet, u"_"},
        {"Joliet surrogate pair", Ucs2(u"x\U0001F600"), RecordNameKind::Joliet, u"x\U0001F600"},
        {"Joliet lone surrogate", Ucs2(u"x\xD800y"), RecordNameKind::Joliet, u"x\xFFFDy"},
    };
    for (const Row& row : rows) {
        auto p = Exact(row.id);
        EXPECT_EQ(DecodeRecordName({p.get(), row.id.size()}, row.kind), row.expected) << row.what;
    }
}

TEST(DecodeRecordName, IsoNamesInTheAnsiCodePage) {
    setenv("QV_ANSI_CODEPAGE", "1252", 1);
    const std::vector<uint8_t> id = {'C', 'A', 'F', 0xC9, '.', 'T', 'X', 'T', ';', '1'};
    auto p = Exact(id);
    EXPECT_EQ(DecodeRecordName({p.get(), id.size()}, RecordNameKind::Iso), u"CAF\u00C9.TXT");
    unsetenv("QV_ANSI_CODEPAGE");
}

TEST(DecodeRecordName, JolietOddLengthAndLimit) {
    auto id = Ucs2(u"abc");
    id.push_back('d');   // a lone last byte is no character
    auto p = Exact(id);
    EXPECT_EQ(DecodeRecordName({p.get(), id.size()}, RecordNameKind::Joliet), u"abc");

    std::u16string longName(120, u'n');
    auto longId = Ucs2(longName);
    auto q = Exact(longId);
    EXPECT_EQ(DecodeRecordName({q.get(), longId.size()}, RecordNameKind::Joliet), std::u16string(110, u'n'));
}

}  // namespace
}  // namespace image
