// LZNT1 decoding: one row per rule of the format, with hand-made chunks (no
// Debian tool writes a bare LZNT1 stream; whole compressed files made by
// ntfscp are read in the NTFS reader's tests).

#include "codecs/lznt1.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace codecs {
namespace {

using Bytes = std::vector<uint8_t>;

// A compressed chunk of the given body (flag bytes, literals and tokens).
Bytes Compressed(const Bytes& body) {
    const size_t size = body.size() + 2 - 3;
    Bytes out{static_cast<uint8_t>(size), static_cast<uint8_t>(0xB0 | (size >> 8))};
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes Stored(size_t dataBytes, uint8_t fill) {
    const size_t size = dataBytes + 2 - 3;
    Bytes out{static_cast<uint8_t>(size), static_cast<uint8_t>(0x30 | (size >> 8))};
    out.insert(out.end(), dataBytes, fill);
    return out;
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The expected output: the text, then zeros to a whole chunk.
Bytes Padded(const std::string& s, size_t chunks = 1) {
    Bytes out = Text(s);
    out.resize(chunks * kLznt1ChunkBytes, 0);
    return out;
}

struct Row {
    const char* name;
    Bytes input;
    size_t targetBytes;
    int64_t result;
    Bytes output;   // checked when result > 0
};

std::vector<Row> Rows() {
    const Bytes seventeen = {0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x00, 'i', 'j', 'k', 'l', 'm', 'n', 'o',
                             'p', 0x02, 'q', 0x02, 0x80};   // then offset 17, length 5 with the 5/11 split
    Bytes storedThenCompressed = Stored(4096, 'z');
    Bytes expectedTwo(4096, 'z');
    const Bytes abc = Padded("abc");
    expectedTwo.insert(expectedTwo.end(), abc.begin(), abc.end());
    return {
        {"Literals", Compressed({0x00, 'a', 'b', 'c'}), 8192, 4096, Padded("abc")},
        {"OverlappingCopyRepeatsForward", Compressed({0x02, 'a', 0x07, 0x00}), 4096, 4096, Padded("aaaaaaaaaaa")},
        {"SplitWidensPast16Bytes", Compressed(seventeen), 4096, 4096, Padded("abcdefghijklmnopqabcde")},
        {"StoredChunk", Stored(4096, 'x'), 4096, 4096, Bytes(4096, 'x')},
        {"StoredThenCompressed", Concat(storedThenCompressed, Compressed({0x00, 'a', 'b', 'c'})), 8192, 8192,
         expectedTwo},
        {"ZeroHeaderEnds", Concat(Compressed({0x00, 'a', 'b', 'c'}), Bytes{0, 0, 0x41, 0x42}), 8192, 4096,
         Padded("abc")},
        {"EmptyInput", Bytes{}, 4096, 0, {}},
        {"StoredChunkShortOf4096", Stored(100, 'x'), 4096, lznt1_result::kCorrupt, {}},
        {"ReferenceAtChunkStart", Compressed({0x01, 0x00, 0x00}), 4096, lznt1_result::kCorrupt, {}},
        {"ReferenceBeforeChunkStart", Compressed({0x02, 'a', 0x00, 0x10}), 4096, lznt1_result::kCorrupt, {}},
        {"ReferencePastChunkEnd", Compressed({0x02, 'a', 0xFF, 0x0F}), 4096, lznt1_result::kCorrupt, {}},
        {"TokenCutShort", Compressed({0x02, 'a', 0x07}), 4096, lznt1_result::kCorrupt, {}},
        {"ChunkLongerThanSource", Bytes{0x10, 0xB0, 0x00, 'a'}, 4096, lznt1_result::kCorrupt, {}},
        {"TargetShortOfAChunk", Compressed({0x00, 'a', 'b', 'c'}), 4095, lznt1_result::kTargetTooSmall, {}},
    };
}

TEST(Lznt1, Table) {
    for (const Row& row : Rows()) {
        // Exactly sized, so the sanitizer sees any byte read or written beyond.
        std::vector<uint8_t> target(row.targetBytes);
        auto source = std::make_unique<uint8_t[]>(row.input.size());
        std::copy(row.input.begin(), row.input.end(), source.get());
        const int64_t got = DecompressLznt1(source.get(), row.input.size(), target.data(), target.size());
        EXPECT_EQ(got, row.result) << row.name;
        if (got > 0 && got == row.result) {
            EXPECT_TRUE(Bytes(target.begin(), target.begin() + got) == row.output) << row.name;
        }
    }
}

}  // namespace
}  // namespace codecs
