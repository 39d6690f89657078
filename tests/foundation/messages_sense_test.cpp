#include "foundation/messages_sense.h"
#include "platform/last_error.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

using namespace foundation;

namespace {

std::vector<uint8_t> Hex(const std::string& text) {
    std::vector<uint8_t> bytes;
    std::istringstream in(text);
    std::string byte;
    while (in >> byte) bytes.push_back(static_cast<uint8_t>(std::stoul(byte, nullptr, 16)));
    return bytes;
}

// What sg_decode_sense (sg3-utils) reads in the buffer: the sense key's name
// and the additional sense text.
struct Meaning {
    std::string key;
    std::string additional;
};

Meaning DecodeWithSg3(const std::string& hex) {
    std::string out = qvtest::RunOk("sg_decode_sense " + hex);
    Meaning m;
    size_t k = out.find("Sense key: ");
    if (k != std::string::npos) m.key = out.substr(k + 11, out.find('\n', k) - k - 11);
    size_t a = out.find("Additional sense: ");
    if (a != std::string::npos) m.additional = out.substr(a + 18, out.find('\n', a) - a - 18);
    return m;
}

const char* const kKeyNames[16] = {
    "No Sense", "Recovered Error", "Not Ready", "Medium Error", "Hardware Error", "Illegal Request",
    "Unit Attention", "Data Protect", "Blank Check", "Vendor specific", "Copy Aborted", "Aborted Command",
    "Equal", "Volume overflow", "Miscompare", "Completed",
};

// The program's sense table by meaning: which system error each condition is.
uint32_t ErrorForMeaning(const Meaning& m) {
    static const std::map<std::pair<std::string, std::string>, uint32_t> table = {
        {{"Not Ready", "Medium not present"}, 21},
        {{"Not Ready", "Medium not present - tray closed"}, 1112},
        {{"Not Ready", "Medium not present - tray open"}, 21},
        {{"Not Ready", "Logical unit is in process of becoming ready"}, 21},
        {{"Medium Error", "L-EC uncorrectable error"}, 23},
        {{"Medium Error", "CIRC unrecovered error"}, 23},
        {{"Hardware Error", "Timeout on logical unit"}, 1117},
    };
    auto it = table.find({m.key, m.additional});
    return it == table.end() ? 0 : it->second;
}

}  // namespace

TEST(SenseTable, AgreesWithSgDecodeSense) {
    const char* rows[] = {
        "70 00 02 00 00 00 00 0a 00 00 00 00 3a 00",
        "70 00 02 00 00 00 00 0a 00 00 00 00 3a 01",
        "70 00 02 00 00 00 00 0a 00 00 00 00 3a 02",
        "70 00 02 00 00 00 00 0a 00 00 00 00 04 01",
        "70 00 03 00 00 00 00 0a 00 00 00 00 11 05",
        "71 00 03 00 00 00 00 0a 00 00 00 00 11 06",    // deferred error
        "70 00 04 00 00 00 00 0a 00 00 00 00 3e 02",
        "70 00 22 00 00 00 00 0a 00 00 00 00 3a 01",    // ILI beside the key
        "f0 00 c2 00 00 00 00 0a 00 00 00 00 3a 01",    // valid, filemark and end-of-medium bits
        "70 00 05 00 00 00 00 0a 00 00 00 00 24 00",    // invalid field in CDB: not in the table
        "70 00 02 00 00 00 00 0a 00 00 00 00 3a 03",
        "72 02 3a 01 00 00 00 00",                      // descriptor format
        "72 02 3a 02 00 00 00 00",
        "73 03 11 06 00 00 00 00",
        "72 04 3e 02 00 00 00 00",
        "72 06 28 00 00 00 00 00",
    };
    for (const char* hex : rows) {
        SCOPED_TRACE(hex);
        Meaning meaning = DecodeWithSg3(hex);
        ASSERT_FALSE(meaning.key.empty());
        SenseCodes codes;
        ASSERT_TRUE(DecodeSense(Hex(hex), codes));
        EXPECT_EQ(kKeyNames[codes.key], meaning.key);
        EXPECT_EQ(SenseToSystemError(codes), ErrorForMeaning(meaning)) << meaning.additional;
    }
}

TEST(SenseTable, SetsTheErrorOrKeepsAnExistingOne) {
    struct Row {
        const char* name;
        std::vector<uint8_t> sense;
        uint32_t before;
        uint32_t expected;
    };
    const Row rows[] = {
        {"match replaces", Hex("70 00 02 00 00 00 00 0a 00 00 00 00 3a 01"), 5, 1112},
        {"no match keeps", Hex("70 00 05 00 00 00 00 0a 00 00 00 00 24 00"), 5, 5},
        {"no match sets the default", Hex("70 00 05 00 00 00 00 0a 00 00 00 00 24 00"), 0, 31},
        {"fixed sense cut before ASCQ", Hex("70 00 02 00 00 00 00 0a 00 00 00 00 3a"), 0, 31},
        {"descriptor sense cut", Hex("72 02 3a"), 0, 31},
        {"empty", {}, 0, 31},
        {"not sense data", Hex("7f 02 3a 01 00 00 00 00 00 00 00 00 3a 01"), 0, 31},
    };
    for (const Row& row : rows) {
        platform::SetLastError(row.before);
        EXPECT_EQ(SetLastErrorFromSense(row.sense, 31), 1) << row.name;
        EXPECT_EQ(platform::GetLastError(), row.expected) << row.name;
    }
}
