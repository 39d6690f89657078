// Joliet names are decoded several units at a time: a unit that must be
// replaced is found wherever it stands, and plain names come out unchanged.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image/iso/iso_directory.h"

namespace {

std::vector<uint8_t> BigEndianUnits(const std::u16string& text) {
    std::vector<uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c >> 8));
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    }
    return bytes;
}

std::u16string Decode(const std::u16string& text) {
    const std::vector<uint8_t> bytes = BigEndianUnits(text);
    return image::DecodeRecordName(bytes, image::RecordNameKind::Joliet);
}

TEST(JolietNameLanes, EveryUnusualUnitIsReplacedAtEveryPosition) {
    struct Row {
        char16_t unit;
        char16_t replacement;
    };
    const Row rows[] = {{u'/', u'_'},   {u'\\', u'_'},   {0x0000, u'_'},   {0x001F, u'_'},
                        {0x007F, u'_'}, {0xD800, 0xFFFD}, {0xDC00, 0xFFFD}};
    for (const Row& row : rows) {
        for (size_t at = 0; at < 20; ++at) {
            std::u16string name(20, u'k');
            name[at] = row.unit;
            std::u16string expected = name;
            expected[at] = row.replacement;
            EXPECT_EQ(Decode(name), expected) << "unit " << int(row.unit) << " at " << at;
        }
    }
}

TEST(JolietNameLanes, PlainNamesOfEveryLengthAreKept) {
    const std::u16string letters = u"Quendravine \u00E9\u4E2D\uE000\uFFFD name of many lanes 0123456789";
    for (size_t n = 1; n <= letters.size(); ++n) {
        std::u16string name = letters.substr(0, n);
        std::u16string expected = name;
        while (!expected.empty() && expected.back() == u'.') expected.pop_back();
        if (expected.size() >= 3 && expected[expected.size() - 2] == u';') expected.resize(expected.size() - 2);
        if (expected.empty()) continue;
        EXPECT_EQ(Decode(name), expected) << "length " << n;
    }
    // A surrogate pair split over two groups of eight stays whole.
    std::u16string pair(7, u'p');
    pair += u"\U0001F600";
    pair += u"tail";
    EXPECT_EQ(Decode(pair), pair);
}

}  // namespace
